#include "servers/ServerListModel.h"

#include <QAbstractItemModelTester>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QtTest>

namespace {

ServerData server(int id, const QString &country, const QString &city, int ping = 0,
                  const QString &continent = "Europe")
{
    ServerData record;
    record.id = id;
    record.country = country;
    record.city = city;
    record.name = city;
    record.continent = continent;
    record.countryCode = country.left(2).toUpper();
    record.hostname = QStringLiteral("host%1.example").arg(id);
    record.ping = ping;
    return record;
}

struct Row {
    int id;
    int count;
    bool operator==(const Row &other) const { return id == other.id && count == other.count; }
};

QVector<Row> rowsOf(const ServerListModel &model)
{
    QVector<Row> rows;
    for (int row = 0; row < model.rowCount(); ++row) {
        const auto record = model.data(model.index(row, 0)).value<ServerData>();
        rows.append({record.id, record.locationCount});
    }
    return rows;
}

QVector<int> idsOf(const ServerListModel &model)
{
    QVector<int> ids;
    for (const Row &row : rowsOf(model))
        ids.append(row.id);
    return ids;
}

} // namespace

Q_DECLARE_METATYPE(QVector<ServerData>)

class TestServerListModel : public QObject {
    Q_OBJECT

private slots:
    void latencyBatchChangesRowsInPlace();
    void sortsBetweenBatchesKeepAStableOrder_data();
    void sortsBetweenBatchesKeepAStableOrder();
    void grouping_data();
    void grouping();
    void search_data();
    void search();
    void favoritesFilterGroupsOnlyFavorites();
    void bestOfLocation_data();
    void bestOfLocation();
    void sortModes_data();
    void sortModes();
    void resets();
    void setDataMatchesByTheRecordsOwnId();
    void recommended_data();
    void recommended();
    void fastestServer_data();
    void fastestServer();
    void lookupsOfUnknownIds();
    void indexesAndFlags();
    void updatesGiveTheSameRowsAsAFreshModel_data();
    void updatesGiveTheSameRowsAsAFreshModel();
};

void TestServerListModel::grouping_data()
{
    QTest::addColumn<QVector<ServerData>>("servers");
    QTest::addColumn<QVector<int>>("rowIds");
    QTest::addColumn<QVector<int>>("counts");

    QTest::newRow("case and blanks ignored")
        << QVector<ServerData>{server(1, "Germany", "Berlin", 30),
                               server(2, " germany ", "Munich", 20)}
        << QVector<int>{2} << QVector<int>{2};
    ServerData byCode = server(3, "", "Lyon");
    byCode.countryCode = " FR ";
    ServerData byCodeToo = server(4, "", "Nice");
    byCodeToo.countryCode = "fr";
    ServerData byName = server(5, "", "Atlantis");
    byName.countryCode = "";
    byName.name = " Atlantis ";
    ServerData byNameToo = server(6, "", "Other");
    byNameToo.countryCode = " ";
    byNameToo.name = "atlantis";
    QTest::newRow("by code, then by name")
        << QVector<ServerData>{byCode, byName, byCodeToo, byNameToo} << QVector<int>{3, 5}
        << QVector<int>{2, 2};
    QTest::newRow("order of first appearance")
        << QVector<ServerData>{server(1, "Spain", "Madrid"), server(2, "France", "Paris"),
                               server(3, "Spain", "Barcelona")}
        << QVector<int>{3, 2} << QVector<int>{2, 1};
}

void TestServerListModel::grouping()
{
    QFETCH(QVector<ServerData>, servers);
    QFETCH(QVector<int>, rowIds);
    QFETCH(QVector<int>, counts);
    ServerListModel model(servers);
    QAbstractItemModelTester tester(&model);
    // Sort mode 0 orders by continent, country and city; the ids are compared as a set of rows.
    QVector<int> gotIds = idsOf(model);
    QVector<int> gotCounts;
    for (const Row &row : rowsOf(model))
        gotCounts.append(row.count);
    QCOMPARE(gotIds.size(), rowIds.size());
    for (int i = 0; i < rowIds.size(); ++i) {
        const int at = gotIds.indexOf(rowIds.at(i));
        QVERIFY2(at >= 0, qPrintable(QString::number(rowIds.at(i))));
        QCOMPARE(gotCounts.at(at), counts.at(i));
    }
    for (const ServerData &record : servers)
        QCOMPARE(model.serverById(record.id).locationCount, 1);
}

void TestServerListModel::search_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QVector<int>>("rowIds");
    QTest::newRow("empty shows all, Asia before Europe") << "" << QVector<int>{3, 1};
    QTest::newRow("country, any case") << "GER" << QVector<int>{1};
    QTest::newRow("second server matches, best shown") << "munich" << QVector<int>{1};
    QTest::newRow("continent") << "asia" << QVector<int>{3};
    QTest::newRow("host name") << "host3." << QVector<int>{3};
    QTest::newRow("country code") << "jA" << QVector<int>{3};
    QTest::newRow("not trimmed") << " berlin" << QVector<int>{};
    QTest::newRow("nothing") << "zzz" << QVector<int>{};
}

void TestServerListModel::search()
{
    QFETCH(QString, text);
    QFETCH(QVector<int>, rowIds);
    ServerListModel model({server(1, "Germany", "Berlin", 10), server(2, "Germany", "Munich", 50),
                           server(3, "Japan", "Tokyo", 90, "Asia")});
    QAbstractItemModelTester tester(&model);
    model.setSearchText(text);
    QCOMPARE(idsOf(model), rowIds);
    if (text == "munich")
        QCOMPARE(rowsOf(model).first().count, 2);
}

void TestServerListModel::favoritesFilterGroupsOnlyFavorites()
{
    QVector<ServerData> list{server(1, "Germany", "Berlin", 10), server(2, "Germany", "Munich", 50),
                             server(3, "Germany", "Hamburg", 70), server(4, "Japan", "Tokyo", 90)};
    list[1].isFavorite = true;
    list[2].isFavorite = true;
    ServerListModel model(list);
    QAbstractItemModelTester tester(&model);
    model.setFilter(1);
    QCOMPARE(rowsOf(model), QVector<Row>({{2, 2}}));
    QCOMPARE(model.favoriteServers(), QVector<int>({2, 3}));
    model.setFilter(0);
    QCOMPARE(rowsOf(model).size(), 2);
}

void TestServerListModel::bestOfLocation_data()
{
    QTest::addColumn<QVector<ServerData>>("servers");
    QTest::addColumn<int>("best");
    QTest::newRow("0, 25, 10001") << QVector<ServerData>{server(1, "X", "A", 0),
                                                         server(2, "X", "B", 25),
                                                         server(3, "X", "C", 10001)}
                                  << 2;
    QTest::newRow("both invalid: lower city")
        << QVector<ServerData>{server(1, "X", "B", 0), server(2, "X", "A", 10001)} << 2;
    QTest::newRow("10000 and 1 are valid")
        << QVector<ServerData>{server(1, "X", "A", -3), server(2, "X", "B", 10000)} << 2;
    QTest::newRow("equal latency: lower city")
        << QVector<ServerData>{server(1, "X", "b", 40), server(2, "X", "B", 40)} << 2;
}

void TestServerListModel::bestOfLocation()
{
    QFETCH(QVector<ServerData>, servers);
    QFETCH(int, best);
    ServerListModel model(servers);
    QCOMPARE(rowsOf(model), QVector<Row>({{best, int(servers.size())}}));
}

void TestServerListModel::sortModes_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("order");
    QTest::addColumn<QVector<int>>("rowIds");
    // ids: 1 Europe/Germany/Berlin 30, 2 Asia/Japan/Tokyo 10, 3 Europe/France/Paris -5,
    //      4 Africa/Egypt/Cairo 0, 5 America/Canada/Aachen 10001, 6 Europe/Austria/Vienna 10
    QTest::newRow("latency, equal latency by country") << 3 << 0 << QVector<int>{6, 2, 1, 3, 4, 5};
    QTest::newRow("latency descending") << 3 << 1 << QVector<int>{5, 4, 3, 1, 2, 6};
    QTest::newRow("continent, country, city") << 0 << 0 << QVector<int>{4, 5, 2, 6, 3, 1};
    QTest::newRow("unknown mode sorts like 0") << 9 << 0 << QVector<int>{4, 5, 2, 6, 3, 1};
    QTest::newRow("country, continent, city") << 1 << 0 << QVector<int>{6, 5, 4, 3, 1, 2};
    QTest::newRow("city, continent, country") << 2 << 0 << QVector<int>{5, 1, 4, 3, 2, 6};
}

void TestServerListModel::sortModes()
{
    QFETCH(int, mode);
    QFETCH(int, order);
    ServerListModel model(
        {server(1, "Germany", "Berlin", 30), server(2, "Japan", "Tokyo", 10, "Asia"),
         server(3, "France", "Paris", -5), server(4, "Egypt", "Cairo", 0, "Africa"),
         server(5, "Canada", "Aachen", 10001, "America"), server(6, "Austria", "Vienna", 10)});
    QAbstractItemModelTester tester(&model);
    model.sortServers(mode);
    model.setSortOrder(order);
    QCOMPARE(model.sortMode(), mode);
    QCOMPARE(model.sortOrder(), order);
    QTEST(idsOf(model), "rowIds");
}

void TestServerListModel::resets()
{
    ServerListModel model({server(1, "Germany", "Berlin", 30), server(2, "Japan", "Tokyo", 10)});
    QAbstractItemModelTester tester(&model);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);

    model.setSortOrder(0);
    QCOMPARE(resets.count(), 0);
    model.setSortOrder(1);
    QCOMPARE(resets.count(), 1);
    model.setFilter(0);
    QCOMPARE(resets.count(), 2);
    model.setSearchText("");
    QCOMPARE(resets.count(), 3);
    model.sortServers(model.sortMode());
    QCOMPARE(resets.count(), 4);

    ServerData unknown = server(99, "Nowhere", "None");
    QVERIFY(!model.updateServer(unknown));
    QCOMPARE(resets.count(), 4);
    ServerData known = model.serverById(1);
    known.ping = 5;
    QVERIFY(model.updateServer(known));
    QCOMPARE(resets.count(), 5);
    QCOMPARE(model.serverById(1).ping, 5);
    QVERIFY(!model.setData(QModelIndex(), QVariant::fromValue(known)));
    QCOMPARE(resets.count(), 5);
}

void TestServerListModel::setDataMatchesByTheRecordsOwnId()
{
    ServerListModel model({server(1, "Germany", "Berlin", 30), server(2, "Japan", "Tokyo", 10)});
    QAbstractItemModelTester tester(&model);
    const QModelIndex firstRow = model.index(0, 0);
    const int firstId = model.data(firstRow).value<ServerData>().id;
    const int otherId = firstId == 1 ? 2 : 1;
    ServerData other = model.serverById(otherId);
    other.isFavorite = true;
    QVERIFY(model.setData(firstRow, QVariant::fromValue(other)));
    QVERIFY(model.serverById(otherId).isFavorite);
    QVERIFY(!model.serverById(firstId).isFavorite);
    QVERIFY(!model.setData(model.index(5, 0), QVariant::fromValue(other)));
    QVERIFY(!model.setData(firstRow, QVariant(42)));
}

void TestServerListModel::recommended_data()
{
    QTest::addColumn<QVector<ServerData>>("servers");
    QTest::addColumn<QVector<int>>("ids");
    QVector<ServerData> oneFavorite{server(1, "A", "a", 90), server(2, "B", "b", 15),
                                    server(3, "C", "c", 0),  server(4, "D", "d", 30),
                                    server(5, "E", "e", 20), server(6, "F", "f", 200)};
    oneFavorite[5].isFavorite = true;
    QTest::newRow("one favourite and five others") << oneFavorite << QVector<int>{6, 2, 5};
    QVector<ServerData> fourFavorites = oneFavorite;
    for (ServerData &record : fourFavorites)
        record.isFavorite = record.id <= 4;
    QTest::newRow("favourites only when three or more") << fourFavorites << QVector<int>{2, 4, 1};
    QTest::newRow("two servers") << QVector<ServerData>{server(1, "A", "a", 50),
                                                        server(2, "B", "b", 40)}
                                 << QVector<int>{2, 1};
    QTest::newRow("empty") << QVector<ServerData>{} << QVector<int>{};
}

void TestServerListModel::recommended()
{
    QFETCH(QVector<ServerData>, servers);
    ServerListModel model(servers);
    QTEST(model.recommendedServers(), "ids");
}

void TestServerListModel::fastestServer_data()
{
    QTest::addColumn<QVector<ServerData>>("servers");
    QTest::addColumn<int>("id");
    QTest::newRow("lowest valid") << QVector<ServerData>{server(1, "A", "a", 0),
                                                         server(2, "B", "b", 40),
                                                         server(3, "C", "c", 12)}
                                  << 3;
    QTest::newRow("tie on latency and city keeps the earlier")
        << QVector<ServerData>{server(7, "A", "same", 20), server(8, "B", "same", 20)} << 7;
    QTest::newRow("tie on latency: lower city")
        << QVector<ServerData>{server(7, "A", "b", 20), server(8, "B", "a", 20)} << 8;
    QTest::newRow("none measured: lowest city")
        << QVector<ServerData>{server(1, "A", "m", 0), server(2, "B", "c", 0)} << 2;
    // Choosing id 1 reaches its first record, at 50 ms: the faster repeat is not a server.
    QTest::newRow("a repeated id is not a second server")
        << QVector<ServerData>{server(1, "M", "m", 50), server(7, "K", "k", 30),
                               server(1, "A", "a", 10)}
        << 7;
}

void TestServerListModel::fastestServer()
{
    QFETCH(QVector<ServerData>, servers);
    ServerListModel model(servers);
    QTEST(model.fastestServerId(), "id");
}

void TestServerListModel::lookupsOfUnknownIds()
{
    ServerListModel empty({});
    QAbstractItemModelTester tester(&empty);
    QCOMPARE(empty.rowCount(), 0);
    const int fastest = empty.fastestServerId();
    QCOMPARE(fastest, ServerListModel::noServerId);
    QCOMPARE(empty.serverById(fastest).name, QStringLiteral("unknow"));
    QVERIFY(empty.recommendedServers().isEmpty());

    ServerListModel model({server(1, "A", "a", 10), server(1, "B", "b", 20)});
    QCOMPARE(model.serverById(1).city, QStringLiteral("a"));
    QCOMPARE(model.serverById(2).countryCode, QStringLiteral("UNKN"));
    QVERIFY(!model.indexOfServer(2).isValid());
}

void TestServerListModel::indexesAndFlags()
{
    ServerListModel model({server(1, "Germany", "Berlin", 30), server(2, "Germany", "Munich", 10),
                           server(3, "Japan", "Tokyo", 50)});
    QAbstractItemModelTester tester(&model);
    const QModelIndex tokyo = model.indexOfServer(3);
    QVERIFY(tokyo.isValid());
    QCOMPARE(model.data(tokyo).value<ServerData>().id, 3);
    QVERIFY(model.indexOfServer(2).isValid());
    QVERIFY(!model.indexOfServer(1).isValid()); // not the best of its location
    QVERIFY(model.flags(tokyo).testFlag(Qt::ItemIsEditable));
    QVERIFY(model.flags(tokyo).testFlag(Qt::ItemIsSelectable));
    QCOMPARE(model.flags(QModelIndex()), Qt::ItemFlags(Qt::NoItemFlags));
    QCOMPARE(model.rowCount(tokyo), 0);
    QCOMPARE(model.data(tokyo).toString(), QStringLiteral("Tokyo"));
    QCOMPARE(model.data(tokyo, Qt::EditRole).value<ServerData>().id, 3);
    QCOMPARE(model.data(tokyo, Qt::UserRole).value<ServerData>().id, 3);
    QVERIFY(!model.data(tokyo, Qt::FontRole).isValid());
    QVERIFY(!model.data(model.index(7, 0)).isValid());
    QVERIFY(!model.data(QModelIndex()).isValid());
}

void TestServerListModel::updatesGiveTheSameRowsAsAFreshModel_data()
{
    QTest::addColumn<int>("filter");
    QTest::addColumn<QString>("search");
    QTest::addColumn<int>("mode");
    QTest::newRow("all, latency") << 0 << "" << 3;
    QTest::newRow("favourites, latency") << 1 << "" << 3;
    QTest::newRow("search, text key") << 0 << "an" << 0;
    QTest::newRow("favourites, search, city key") << 1 << "e" << 2;
}

// Latency results and favourite toggles take the model's short path; whatever they do, the rows
// must equal those the model builds from scratch (setting the same filter again rebuilds them).
void TestServerListModel::updatesGiveTheSameRowsAsAFreshModel()
{
    QFETCH(int, filter);
    QFETCH(QString, search);
    QFETCH(int, mode);
    const QStringList countries = {"Germany", "France", "Spain", "Japan",
                                   "Canada",  "Kenya",  "Chile"};
    QRandomGenerator random(1234);
    QVector<ServerData> list;
    for (int id = 1; id <= 120; ++id)
        list.append(server(id, countries.at(random.bounded(countries.size())),
                           QStringLiteral("City%1").arg(random.bounded(40))));
    ServerListModel model(list);
    QAbstractItemModelTester tester(&model);
    model.sortServers(mode);
    model.setFilter(filter);
    model.setSearchText(search);
    const auto rowsNow = [&model] {
        QVector<ServerData> rows;
        for (int row = 0; row < model.rowCount(); ++row)
            rows.append(model.data(model.index(row, 0)).value<ServerData>());
        return rows;
    };
    int checked = 0;
    for (int step = 0; step < 400; ++step) {
        ServerData record = model.serverById(1 + random.bounded(120));
        if (random.bounded(4) == 0)
            record.isFavorite = !record.isFavorite;
        else
            record.ping = random.bounded(-2, 10003);
        QVERIFY(model.updateServer(record));
        if (step % 7 != 0)
            continue;
        const QVector<ServerData> incremental = rowsNow();
        model.setFilter(filter);
        const QVector<ServerData> rebuilt = rowsNow();
        QCOMPARE(incremental.size(), rebuilt.size());
        for (int row = 0; row < rebuilt.size(); ++row) {
            QCOMPARE(incremental.at(row).id, rebuilt.at(row).id);
            QCOMPARE(incremental.at(row).ping, rebuilt.at(row).ping);
            QCOMPARE(incremental.at(row).isFavorite, rebuilt.at(row).isFavorite);
            QCOMPARE(incremental.at(row).locationCount, rebuilt.at(row).locationCount);
        }
        checked += rebuilt.size();
    }
    QVERIFY(checked > 0);
}

// A batch of latencies elects each location's best server again and tells views that rows
// changed, without resetting them.
void TestServerListModel::latencyBatchChangesRowsInPlace()
{
    ServerListModel model({server(1, "Norway", "Oslo", 40), server(2, "Norway", "Bergen", 30),
                           server(3, "Italy", "Rome", 20)});
    QCOMPARE(model.rowCount(), 2);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
    model.updateLatencies({{1, 5}, {3, 50}, {99, 1}});
    QCOMPARE(resets.count(), 0);
    QCOMPARE(changes.count(), 1);
    QCOMPARE(model.serverById(1).ping, 5);
    QCOMPARE(model.serverById(3).ping, 50);
    QStringList shown;
    for (int row = 0; row < model.rowCount(); ++row)
        shown << model.data(model.index(row, 0)).value<ServerData>().city;
    QVERIFY2(shown.contains("Oslo") && !shown.contains("Bergen"), qPrintable(shown.join(',')));
}

void TestServerListModel::sortsBetweenBatchesKeepAStableOrder_data()
{
    QTest::addColumn<int>("batchSize");
    QTest::newRow("a few results per batch") << 3;
    QTest::newRow("most of the list per batch") << 30;
}

// Servers of no country are each a location of their own, and locations of equal latency keep
// the servers' order: the rows show the order of the list itself. After every batch and sort it
// is the order a stable sort of the list as it stood gives.
void TestServerListModel::sortsBetweenBatchesKeepAStableOrder()
{
    QFETCH(int, batchSize);
    QVector<ServerData> expected;
    for (int id = 1; id <= 40; ++id) {
        ServerData record = server(id, "", QStringLiteral("Place %1").arg(id));
        record.countryCode.clear();
        expected.append(record);
    }
    ServerListModel model(expected);
    model.sortServers(3);
    QRandomGenerator random(7);
    for (int round = 0; round < 30; ++round) {
        QVector<Platform::LatencyResult> batch;
        for (int result = 0; result < batchSize; ++result) {
            // Few distinct figures, so that most servers tie; 0 is no answer and sorts last.
            const int id = random.bounded(1, 41);
            const int ping = 5 * random.bounded(0, 4);
            batch.append({id, ping});
            for (ServerData &record : expected) {
                if (record.id == id)
                    record.ping = ping;
            }
        }
        model.updateLatencies(batch);
        model.sortServers(3);
        std::stable_sort(expected.begin(), expected.end(), [](const auto &a, const auto &b) {
            const bool aAnswered = a.ping > 0;
            return aAnswered != (b.ping > 0) ? aAnswered : a.ping < b.ping;
        });
        QVector<int> expectedIds;
        for (const ServerData &record : qAsConst(expected))
            expectedIds.append(record.id);
        QCOMPARE(idsOf(model), expectedIds);
    }
}

QTEST_GUILESS_MAIN(TestServerListModel)
#include "TestServerListModel.moc"
