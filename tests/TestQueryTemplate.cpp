#include "app/Startup.h"
#include "network/QueryTemplate.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

class TestQueryTemplate : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initResourceTree(); }

    void escaping_data();
    void escaping();
    void loginFillsInOnePass();
    void loginBodyIsValidJsonForAnyPassword_data();
    void loginBodyIsValidJsonForAnyPassword();
    void brandIdIsEscaped();
    void otherTemplates_data();
    void otherTemplates();
};

void TestQueryTemplate::escaping_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("escaped");
    QTest::newRow("plain") << "member@example.com"
                           << "member@example.com";
    QTest::newRow("double quote") << "a\"b"
                                  << "a\\\\\\\"b";
    QTest::newRow("backslash") << "a\\b"
                               << "a\\\\\\\\b";
    QTest::newRow("tab") << "a\tb"
                         << "a\\\\u0009b";
    QTest::newRow("line break") << "a\nb"
                                << "a\\\\u000ab";
    QTest::newRow("NUL") << QString(QChar(0)) << "\\\\u0000";
    QTest::newRow("non-ASCII kept") << QStringLiteral("pässwörd") << QStringLiteral("pässwörd");
}

void TestQueryTemplate::escaping()
{
    QFETCH(QString, text);
    QTEST(QueryTemplate::escapeForGraphQlInJson(text), "escaped");
}

void TestQueryTemplate::loginFillsInOnePass()
{
    const QueryTemplate body(QueryTemplate::Login, "a%2b%3@example.com", "pw%1", "brand-id");
    QCOMPARE(body.type(), QueryTemplate::Login);
    QCOMPARE(
        body.text(),
        QStringLiteral("{\"query\": \"mutation { memberLogin(email: \\\"a%2b%3@example.com\\\", "
                       "password: \\\"pw%1\\\", brand_id: \\\"brand-id\\\") { token member { "
                       "id email name status } expiresIn } }\"}"));
}

void TestQueryTemplate::loginBodyIsValidJsonForAnyPassword_data()
{
    QTest::addColumn<QString>("password");
    QTest::newRow("quote and backslash") << "p\"a\\ss";
    QTest::newRow("tab and line break") << "p\ta\nss\r";
    QTest::newRow("all four") << "Tricky \"quote\" \\ tab\tnew\nline";
}

// The brand id comes from the service's reply: it is escaped like every other value.
void TestQueryTemplate::brandIdIsEscaped()
{
    const QString brandId = "b\") { token } #\n\\";
    const QueryTemplate body(QueryTemplate::Login, "m@example.com", "pw", brandId);
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body.toUtf8(), &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    QVERIFY(document.object().value("query").toString().contains(
        "brand_id: \"b\\\") { token } #\\u000a\\\\\")"));
}

void TestQueryTemplate::loginBodyIsValidJsonForAnyPassword()
{
    QFETCH(QString, password);
    const QueryTemplate body(QueryTemplate::Login, "m@example.com", password, "id");
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body.toUtf8(), &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    const QString query = document.object().value("query").toString();
    // What JSON gives back is the GraphQL string: quote and backslash escaped, controls as \u.
    QVERIFY(query.contains("password: \"" +
                           QString(password)
                               .replace("\\", "\\\\")
                               .replace("\"", "\\\"")
                               .replace("\t", "\\u0009")
                               .replace("\n", "\\u000a")
                               .replace("\r", "\\u000d") +
                           "\""));
}

void TestQueryTemplate::otherTemplates_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QVariant>("argument");
    QTest::addColumn<QString>("contains");
    QTest::newRow("brand lookup") << int(QueryTemplate::BrandLookup) << QVariant("corvane.example")
                                  << "brandByDomain(domain: \\\"corvane.example\\\")";
    QTest::newRow("favourites") << int(QueryTemplate::UpdateFavoriteServers)
                                << QVariant("\\\"5\\\",\\\"17\\\"")
                                << "[String!] = [\\\"5\\\",\\\"17\\\"]";
    QTest::newRow("empty favourites")
        << int(QueryTemplate::UpdateFavoriteServers) << QVariant("") << "[String!] = []";
    QTest::newRow("bandwidth in decimal")
        << int(QueryTemplate::UpdateBandwidthUsage) << QVariant(4096) << "Int! = 4096)";
    QTest::newRow("subscription unchanged")
        << int(QueryTemplate::SubscriptionStatus) << QVariant(0) << "isActive offers{id}}}}}\"}\n";
}

void TestQueryTemplate::otherTemplates()
{
    QFETCH(int, type);
    QFETCH(QVariant, argument);
    QFETCH(QString, contains);
    const QueryTemplate body(QueryTemplate::Type(type), argument);
    QVERIFY2(body.text().contains(contains), qPrintable(body.text()));
    QVERIFY(!body.text().contains("%1"));
}

QTEST_GUILESS_MAIN(TestQueryTemplate)
#include "TestQueryTemplate.moc"
