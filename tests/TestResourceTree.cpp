#include "app/Startup.h"
#include "i18n/LanguageManager.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QtTest>

namespace {

QSet<QString> setOf(const QStringList &list)
{
    return QSet<QString>(list.begin(), list.end());
}

// Every key the program looks up.
const QStringList usedKeys = {"settings.title",
                              "error.helperMissing",
                              "error.helperRefused",
                              "auth.rememberFailed",
                              "killswitch.notInForce.helperMissing",
                              "killswitch.notInForce.refused",
                              "killswitch.notInForce.firewall",
                              "error.removalFailed",
                              "a11y.closeMenu",
                              "a11y.showPassword",
                              "a11y.hidePassword",
                              "a11y.favorite",
                              "a11y.latency",
                              "a11y.noLatency",
                              "a11y.locationList",
                              "a11y.choose",
                              "a11y.toggleFavorite",
                              "a11y.back",
                              "settings.killSwitch",
                              "settings.startup",
                              "settings.locale",
                              "settings.profile",
                              "settings.manageAccount",
                              "settings.logout",
                              "stats.upload",
                              "stats.download",
                              "nav.recommendedlocations",
                              "nav.settings",
                              "status.connected",
                              "status.disconnected",
                              "action.disconnect",
                              "action.connect",
                              "locations.fastest",
                              "about.terms",
                              "about.privacy",
                              "about.support",
                              "auth.email",
                              "auth.pass",
                              "auth.forgotPass",
                              "auth.login",
                              "auth.tryagain",
                              "auth.donthaveaccount",
                              "auth.register",
                              "auth.remember",
                              "auth.invalidLogin",
                              "auth.inactiveSubscription",
                              "auth.serviceunaviable",
                              "status.connecting",
                              "status.disconnecting",
                              "settings.telemetry",
                              "settings.autoconnect",
                              "settings.autoconnect.description.PC",
                              "connection.selectedlocation",
                              "settings.telemetry.description",
                              "settings.analytics",
                              "settings.analytics.description",
                              "settings.trayicon",
                              "settings.trayicon.description",
                              "settings.notifications",
                              "settings.notifications.description",
                              "settings.startup.description",
                              "status.locations",
                              "home.killswitch.caption",
                              "home.connecting",
                              "latency.great",
                              "latency.good",
                              "latency.fair",
                              "latency.poor",
                              "latency.unknown",
                              "locations.location",
                              "tray.exit",
                              "tray.show",
                              "tray.stillrunning",
                              "tray.connectedTo",
                              "tray.disconnectedFrom",
                              "tray.connectingTo",
                              "tray.disconnectingFrom",
                              "tray.cannotConnectTo",
                              "settings.setDns",
                              "settings.setDns.description",
                              "status.protected",
                              "status.notsecure",
                              "status.error",
                              "settings.killswitch",
                              "settings.killswitch.description.desktop",
                              "nav.home",
                              "nav.servers",
                              "nav.account",
                              "locations.recommended",
                              "locations.all.short",
                              "locations.streaming",
                              "locations.gaming",
                              "locations.p2p",
                              "locations.searchServers",
                              "settings.language.section",
                              "settings.language.subtitle",
                              "settings.support.section",
                              "settings.support.subtitle",
                              "settings.helpCenter",
                              "settings.contactSupport",
                              "settings.signOut",
                              "settings.appVersion",
                              "account.redesignTitle",
                              "account.redesignSubtitle",
                              "window.minimize",
                              "window.close",
                              "status.unstable",
                              "status.nonetwork",
                              "tray.serverAbandoned"};

// Keys that only English, French and Spanish carry.
const QStringList desktopOnlyKeys = {"auth.remember",
                                     "window.minimize",
                                     "window.close",
                                     "status.unstable",
                                     "status.nonetwork",
                                     "tray.serverAbandoned",
                                     "error.helperMissing",
                                     "error.helperRefused",
                                     "auth.rememberFailed",
                                     "killswitch.notInForce.helperMissing",
                                     "killswitch.notInForce.refused",
                                     "killswitch.notInForce.firewall",
                                     "error.removalFailed",
                                     "a11y.closeMenu",
                                     "a11y.showPassword",
                                     "a11y.hidePassword",
                                     "a11y.favorite",
                                     "a11y.latency",
                                     "a11y.noLatency",
                                     "a11y.locationList",
                                     "a11y.choose",
                                     "a11y.toggleFavorite",
                                     "a11y.back",
                                     "status.locations",
                                     "home.killswitch.caption",
                                     "home.connecting",
                                     "latency.great",
                                     "latency.good",
                                     "latency.fair",
                                     "latency.poor",
                                     "latency.unknown",
                                     "locations.location",
                                     "status.protected",
                                     "status.notsecure",
                                     "status.error",
                                     "settings.killswitch",
                                     "settings.killswitch.description.desktop",
                                     "nav.home",
                                     "nav.servers",
                                     "nav.account",
                                     "locations.recommended",
                                     "locations.all.short",
                                     "locations.streaming",
                                     "locations.gaming",
                                     "locations.p2p",
                                     "locations.searchServers",
                                     "settings.language.section",
                                     "settings.language.subtitle",
                                     "settings.support.section",
                                     "settings.support.subtitle",
                                     "settings.helpCenter",
                                     "settings.contactSupport",
                                     "settings.signOut",
                                     "settings.appVersion",
                                     "account.redesignTitle",
                                     "account.redesignSubtitle"};

QJsonObject catalogue(const QString &language)
{
    QFile file(QStringLiteral(":/languages/%1.json").arg(language));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    return error.error == QJsonParseError::NoError ? document.object() : QJsonObject();
}

QByteArray resourceBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

class TestResourceTree : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initResourceTree(); }

    void keyLists();
    void catalogueKeySets_data();
    void catalogueKeySets();
    void usedKeysHaveTextsInOfferedLanguages_data();
    void usedKeysHaveTextsInOfferedLanguages();
    void placeholdersKept();
    void templateBytes_data();
    void templateBytes();
    void flagForEveryCountryCode();
    void buttonAndBrandImagesLoad_data();
    void buttonAndBrandImagesLoad();
    void fontIsCompiledIn();
};

void TestResourceTree::keyLists()
{
    // The catalogue's 87 and 34, the two helper messages, the keyring note, the window controls,
    // the link's conditions, the three reasons a block is not in force, a removal that failed and
    // the names a screen reader says for controls drawn as pictures.
    QCOMPARE(setOf(usedKeys).size(), 109);
    QCOMPARE(setOf(desktopOnlyKeys).size(), 56);
    QVERIFY(setOf(usedKeys).contains(setOf(desktopOnlyKeys)));
}

void TestResourceTree::catalogueKeySets_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QStringList>("missing");
    QTest::newRow("English") << "English" << QStringList();
    QTest::newRow("French") << "French" << QStringList();
    QTest::newRow("Spanish") << "Spanish" << QStringList();
    for (const char *language : {"German", "Danish", "Finnish", "Italian", "Japanese", "Dutch",
                                 "Norwegian", "Portuguese", "Swedish"})
        QTest::newRow(language) << language << desktopOnlyKeys;
}

void TestResourceTree::catalogueKeySets()
{
    QFETCH(QString, language);
    QFETCH(QStringList, missing);
    const QJsonObject english = catalogue("English");
    QCOMPARE(english.size(), 168);
    QVERIFY(setOf(english.keys()).contains(setOf(usedKeys)));

    const QJsonObject translated = catalogue(language);
    QSet<QString> expected = setOf(english.keys());
    expected.subtract(setOf(missing));
    QCOMPARE(setOf(translated.keys()), expected);
    QCOMPARE(translated.size(), 168 - missing.size());
    for (auto it = translated.begin(); it != translated.end(); ++it)
        QVERIFY2(it.value().isString() && !it.value().toString().isEmpty(), qPrintable(it.key()));
}

void TestResourceTree::usedKeysHaveTextsInOfferedLanguages_data()
{
    QTest::addColumn<QString>("language");
    for (const char *language : {"English", "French", "Spanish"})
        QTest::newRow(language) << language;
}

void TestResourceTree::usedKeysHaveTextsInOfferedLanguages()
{
    QFETCH(QString, language);
    const QJsonObject translated = catalogue(language);
    for (const QString &key : usedKeys) {
        QVERIFY2(!translated.value(key).toString().trimmed().isEmpty(), qPrintable(key));
    }
    QCOMPARE(catalogue("English").value("auth.serviceunaviable").toString(),
             QStringLiteral("Service unavailable. Try again later."));
    QCOMPARE(catalogue("English").value("auth.donthaveaccount").toString(),
             QStringLiteral("Don`t have an account?"));
}

void TestResourceTree::placeholdersKept()
{
    const QJsonObject english = catalogue("English");
    for (const QString &language : LanguageManager::languages()) {
        const QJsonObject translated = catalogue(language);
        for (auto it = translated.begin(); it != translated.end(); ++it) {
            const bool expectsPlaceholder = english.value(it.key()).toString().contains("%1");
            QVERIFY2(it.value().toString().contains("%1") == expectsPlaceholder,
                     qPrintable(language + ": " + it.key()));
        }
    }
}

void TestResourceTree::templateBytes_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("brandLookup")
        << "brandLookup"
        << QByteArray(R"({"query": "{ brandByDomain(domain: \"%1\") { id name } }"})");
    QTest::newRow("login")
        << "login"
        << QByteArray(
               R"({"query": "mutation { memberLogin(email: \"%1\", password: \"%2\", brand_id: \"%3\") { token member { id email name status } expiresIn } }"})");
    QTest::newRow("subscriptionStatus")
        << "subscriptionStatus"
        << QByteArray(
               R"({"query": "query SubscriptionStatus{member{info{email subscription{planName isActive offers{id}}}}}"})"
               "\n");
    QTest::newRow("getFavoriteServers")
        << "getFavoriteServers"
        << QByteArray(
               R"({ "query": "query { member { info { id name vpn { favoriteServers } } } }" })");
    QTest::newRow("updateFavoriteServers")
        << "updateFavoriteServers"
        << QByteArray(
               R"({"query": "mutation UpdateFavoriteServers($favoriteServers: [String!] = [%1]){member{updateFavoriteServers(favoriteServers: $favoriteServers){responseResult{succeeded errorCode slug message}}}}"})");
    QTest::newRow("bandwidthStatus")
        << "bandwidthStatus"
        << QByteArray(
               R"({"query": "query BandwidthStatus{member{info{email vpn{bandwidthLimit bandwidthUsed}}}}"})");
    QTest::newRow("updateBandwidthUsage")
        << "updateBandwidthUsage"
        << QByteArray(
               R"({"query": "mutation UpdateBandwidthUsage($bandwidthUsed: Int! = %1){member{updateBandwidthUsage(bandwidthUsed: $bandwidthUsed){responseResult{succeeded errorCode slug message}}}}"})");
    QTest::newRow("applicationEvent") << "applicationEvent"
                                      << QByteArray("{\r\n"
                                                    "    \"namespace\": \"vpn\",\r\n"
                                                    "    \"env\": \"prod\",\r\n"
                                                    "    \"brand_domain_name\": \"%1\",\r\n"
                                                    "    \"tags\": [],\r\n"
                                                    "    \"type\": \"application_events\",\r\n"
                                                    "    \"action\": \"%2\",\r\n"
                                                    "    \"source\": \"%3\",\r\n"
                                                    "    \"os_ver\": \"%4\",\r\n"
                                                    "    \"jwt\": \"%5\",\r\n"
                                                    "    \"email\": %6\r\n"
                                                    "}\r\n");
    QTest::newRow("getAllServers")
        << "getAllServers"
        << QByteArray(
               R"({"query": "query { vpn { servers(brandId: \"5c1f3e2a-8b4d-4f6a-9e7c-2d0b1a3f4e5d\") { id countryCode countryName city ip latitude longitude isOnline continentName files { ovpn } } } }"})"
               "\r\n");
}

void TestResourceTree::templateBytes()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QCOMPARE(resourceBytes(":/query_templates/" + name), bytes);
    QCOMPARE(QDir(":/query_templates").entryList(QDir::Files).size(), 9);
}

void TestResourceTree::flagForEveryCountryCode()
{
    const QStringList flags = QDir(":/images/banners").entryList({"*.png"}, QDir::Files);
    // ISO 3166-1 alpha-2 has 249 codes; UNKN is the picture for a code without a flag.
    QCOMPARE(flags.size(), 250);
    QVERIFY(flags.contains("UNKN.png"));
    for (const char *code : {"DE", "FR", "ES", "GB", "US", "JP", "BR", "ZA", "AU", "CH", "UNKN"})
        QVERIFY2(flags.contains(QString::fromLatin1(code) + ".png"), code);
    for (const QString &flag : flags) {
        const QImage image(":/images/banners/" + flag);
        QVERIFY2(!image.isNull(), qPrintable(flag));
        QVERIFY2(image.width() >= 84 && image.height() >= 60, qPrintable(flag));
        QVERIFY2(flag == "UNKN.png" ||
                     QRegularExpression("^[A-Z]{2}\\.png$").match(flag).hasMatch(),
                 qPrintable(flag));
    }
    // A real flag, not a blank: France is blue on the left and red on the right.
    const QImage france(":/images/banners/FR.png");
    QVERIFY(qBlue(france.pixel(5, france.height() / 2)) > 100);
    QVERIFY(qRed(france.pixel(france.width() - 5, france.height() / 2)) > 200);
}

void TestResourceTree::buttonAndBrandImagesLoad_data()
{
    QTest::addColumn<QString>("path");
    for (const char *name :
         {"toggleOn", "toggleOff", "favoriteState", "unfavoriteState", "emailIcon", "lockIcon",
          "eyeIcon", "connectedState", "downarrow", "uparrow", "profile", "fastestServer",
          "connectionButton", "connectedButton", "disconnectedButton", "errorButton"})
        QTest::newRow(name) << QStringLiteral(":/images/buttons/%1.png").arg(name);
    for (const char *name : {"windowIcon", "appIcon", "brandIcon", "whiteLogo"})
        QTest::newRow(name) << QStringLiteral(":/images/%1.png").arg(name);
}

void TestResourceTree::buttonAndBrandImagesLoad()
{
    QFETCH(QString, path);
    const QImage image(path);
    QVERIFY(!image.isNull());
    // Something is drawn: not every pixel is transparent.
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    bool painted = false;
    for (int y = 0; y < argb.height() && !painted; ++y)
        for (int x = 0; x < argb.width() && !painted; ++x)
            painted = qAlpha(argb.pixel(x, y)) > 0;
    QVERIFY(painted);
}

void TestResourceTree::fontIsCompiledIn()
{
    const QByteArray font = resourceBytes(":/fonts/RobotoCondensed.ttf");
    QVERIFY(font.size() > 10000);
}

QTEST_MAIN(TestResourceTree)
#include "TestResourceTree.moc"
