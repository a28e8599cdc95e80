#include "types/ServerData.h"

#include <QJsonDocument>
#include <QtTest>

namespace {

QJsonObject objectFrom(const char *json)
{
    return QJsonDocument::fromJson(QByteArray(json)).object();
}

} // namespace

class TestServerData : public QObject {
    Q_OBJECT

private slots:
    void defaultRecord();
    void mapping_data();
    void mapping();
    void coordinatesAndId_data();
    void coordinatesAndId();
    void configLinkFromFiles();
    void parseServersLeavesOutTrials_data();
    void parseServersLeavesOutTrials();
    void travelsThroughVariants();
};

void TestServerData::defaultRecord()
{
    const ServerData server;
    QCOMPARE(server.id, 0);
    for (const QString &text :
         {server.hostname, server.name, server.city, server.country, server.continent})
        QCOMPARE(text, QStringLiteral("unknow"));
    QCOMPARE(server.countryCode, QStringLiteral("UNKN"));
    QCOMPARE(server.latitude, 0.0f);
    QCOMPARE(server.longitude, 0.0f);
    QVERIFY(server.configLink.isEmpty());
    QVERIFY(server.serverIp.isEmpty());
    QCOMPARE(server.ping, 0);
    QCOMPARE(server.locationCount, 1);
    QCOMPARE(server.isFavorite, false);
}

void TestServerData::mapping_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("hostname");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("country");
    QTest::addColumn<QString>("continent");
    QTest::addColumn<QString>("countryCode");
    QTest::addColumn<QString>("serverIp");

    QTest::newRow("vpn api spelling")
        << QByteArray(R"j({"hostname":"de1.example","name":"Berlin #1","city":"Berlin",
                         "country":"Germany","continent":"Europe","location":"DE",
                         "server_ip":"10.0.0.1","ip":"10.9.9.9"})j")
        << "de1.example"
        << "Berlin #1"
        << "Germany"
        << "Europe"
        << "DE"
        << "10.0.0.1";
    QTest::newRow("account api spelling, name from city")
        << QByteArray(R"j({"ip":"1.2.3.4","city":"Paris","countryName":"France",
                         "continentName":"Europe","countryCode":"FR"})j")
        << "1.2.3.4"
        << "Paris"
        << "France"
        << "Europe"
        << "FR"
        << "1.2.3.4";
    QTest::newRow("name from country when no name and no city")
        << QByteArray(R"j({"hostname":"h","countryName":"Japan"})j") << "h"
        << "Japan"
        << "Japan"
        << ""
        << ""
        << "h";
    QTest::newRow("preferred member wins over fallback")
        << QByteArray(R"j({"hostname":"h","ip":"9.9.9.9","country":"Spain","countryName":"X",
                         "location":"ES","countryCode":"XX"})j")
        << "h"
        << "Spain"
        << "Spain"
        << ""
        << "ES"
        << "9.9.9.9";
    QTest::newRow("empty preferred member falls back")
        << QByteArray(R"j({"hostname":"","ip":"5.5.5.5","country":"","countryName":"Italy"})j")
        << "5.5.5.5"
        << "Italy"
        << "Italy"
        << ""
        << ""
        << "5.5.5.5";
    QTest::newRow("server ip falls back to hostname")
        << QByteArray(R"j({"hostname":"only.host","name":"N"})j") << "only.host"
        << "N"
        << ""
        << ""
        << ""
        << "only.host";
    QTest::newRow("texts that are not strings read as empty")
        << QByteArray(R"j({"hostname":42,"name":true,"city":null,"country":["x"]})j") << ""
        << ""
        << ""
        << ""
        << ""
        << "";
    QTest::newRow("empty object") << QByteArray("{}") << ""
                                  << ""
                                  << ""
                                  << ""
                                  << ""
                                  << "";
}

void TestServerData::mapping()
{
    QFETCH(QByteArray, json);
    const ServerData server(QJsonDocument::fromJson(json).object());
    QFETCH(QString, hostname);
    QFETCH(QString, name);
    QFETCH(QString, country);
    QFETCH(QString, continent);
    QFETCH(QString, countryCode);
    QFETCH(QString, serverIp);
    QCOMPARE(server.hostname, hostname);
    QCOMPARE(server.name, name);
    QCOMPARE(server.country, country);
    QCOMPARE(server.continent, continent);
    QCOMPARE(server.countryCode, countryCode);
    QCOMPARE(server.serverIp, serverIp);
    QCOMPARE(server.ping, 0);
    QCOMPARE(server.locationCount, 1);
    QCOMPARE(server.isFavorite, false);
}

void TestServerData::coordinatesAndId_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<int>("id");
    QTest::addColumn<float>("latitude");
    QTest::addColumn<float>("longitude");

    QTest::newRow("numeric id, string coordinates")
        << QByteArray(R"j({"id":12,"latitude":"48.85","longitude":"-2.35"})j") << 12 << 48.85f
        << -2.35f;
    QTest::newRow("string id gives 0") << QByteArray(R"j({"id":"12"})j") << 0 << 0.0f << 0.0f;
    QTest::newRow("fractional id gives 0") << QByteArray(R"j({"id":12.5})j") << 0 << 0.0f << 0.0f;
    QTest::newRow("numeric coordinates give 0")
        << QByteArray(R"j({"latitude":48.85,"longitude":2.35})j") << 0 << 0.0f << 0.0f;
    QTest::newRow("text that is not a number gives 0")
        << QByteArray(R"j({"latitude":"north","longitude":""})j") << 0 << 0.0f << 0.0f;
}

void TestServerData::coordinatesAndId()
{
    QFETCH(QByteArray, json);
    const ServerData server(QJsonDocument::fromJson(json).object());
    QTEST(server.id, "id");
    QTEST(server.latitude, "latitude");
    QTEST(server.longitude, "longitude");
}

void TestServerData::configLinkFromFiles()
{
    const ServerData server(objectFrom(R"j({"files":{"ovpn":"https://cdn.example/de 1.ovpn"}})j"));
    QCOMPARE(server.configLink, QUrl(QStringLiteral("https://cdn.example/de%201.ovpn")));
    QVERIFY(ServerData(objectFrom(R"j({"files":{}})j")).configLink.isEmpty());
}

void TestServerData::parseServersLeavesOutTrials_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QStringList>("names");

    QTest::newRow("empty array") << QByteArray("[]") << QStringList();
    QTest::newRow("trial in any case is left out")
        << QByteArray(R"j([{"id":1,"name":"Paris (Trial)"},{"id":2,"name":"Trial Paris"},
                         {"id":3,"name":"X (TRIAL)"},{"id":4,"name":"Oslo"}])j")
        << QStringList{"Trial Paris", "Oslo"};
    QTest::newRow("trial in a city-derived name is left out")
        << QByteArray(R"j([{"city":"Rome (trial)"},{"city":"Rome"}])j") << QStringList{"Rome"};
    QTest::newRow("order kept, non-objects give empty records")
        << QByteArray(R"j([{"id":1,"name":"B"},7,{"id":2,"name":"A"},{"id":3,"name":"B"}])j")
        << QStringList{"B", "", "A", "B"};
    QTest::newRow("a repeated id keeps its first server")
        << QByteArray(R"j([{"id":4,"name":"B"},{"id":4,"name":"A"},{"id":5,"name":"C"}])j")
        << QStringList{"B", "C"};
    QTest::newRow("missing and unusable ids are one id, 0")
        << QByteArray(R"j([{"city":"M"},{"city":"A"},{"id":"7","city":"X"},{"id":7,"city":"K"}])j")
        << QStringList{"M", "K"};
}

void TestServerData::parseServersLeavesOutTrials()
{
    QFETCH(QByteArray, json);
    QFETCH(QStringList, names);
    const QVector<ServerData> servers = parseServers(QJsonDocument::fromJson(json).array());
    QStringList parsedNames;
    for (const ServerData &server : servers)
        parsedNames << server.name;
    QCOMPARE(parsedNames, names);
}

void TestServerData::travelsThroughVariants()
{
    registerServerDataMetaTypes();
    QCOMPARE(QMetaType::type("ServerData"), qMetaTypeId<ServerData>());
    QCOMPARE(QMetaType::type("QVector<ServerData>"), qMetaTypeId<QVector<ServerData>>());

    ServerData server;
    server.id = 7;
    server.name = QStringLiteral("Zurich");
    const QVariant list = QVariant::fromValue(QVector<ServerData>{server, ServerData()});
    QVERIFY(list.canConvert<QVariantList>());
    const QSequentialIterable iterable = list.value<QSequentialIterable>();
    QCOMPARE(iterable.size(), 2);
    QCOMPARE(iterable.at(0).value<ServerData>().name, QStringLiteral("Zurich"));
    QCOMPARE(QVariant::fromValue(server).value<ServerData>().id, 7);
}

QTEST_GUILESS_MAIN(TestServerData)
#include "TestServerData.moc"
