#include "DemoService.h"
#include "app/Startup.h"
#include "i18n/LanguageManager.h"
#include "network/NetworkManager.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

// Generous: the service is a Node.js process that a loaded machine may answer slowly; a reply
// that comes in time ends the wait at once.
constexpr int replyTimeoutMs = 20000;

} // namespace

// Every document the client sends goes through the reference GraphQL server of the demo
// service, so a request that does not parse or validate fails here.
class TestNetworkManagerDemoService : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase() { service.reset(); }

    void signInAndUseEveryOperation();
    void trickyPasswordSignsIn();
    void wrongPasswordIsInvalidLogin();
    void inactiveMemberGetsSubscription();
    void expiredTokenIsHandled();
    void unknownBrandDomainFailsAtOnce();

private:
    QString brandId();
    // Reads the favourites until they equal the expected list (an update has no reply signal,
    // and requests travel on parallel connections), giving up after a few tries.
    QVector<int> favoritesOnceSettled(const QVector<int> &expected);
    void logIn(const QString &email, const QString &password);

    std::unique_ptr<DemoService> service;
    std::unique_ptr<LanguageManager> languages;
    std::unique_ptr<NetworkManager> network;
};

void TestNetworkManagerDemoService::initTestCase()
{
    initResourceTree();
    service = std::make_unique<DemoService>();
    QVERIFY2(service->isRunning(), qPrintable(service->log()));
    service->exportEndpoints();
}

void TestNetworkManagerDemoService::init()
{
    languages = std::make_unique<LanguageManager>();
    network = std::make_unique<NetworkManager>();
    network->setLanguageManager(languages.get());
    network->setBrandLookupRetryInterval(50);
}

void TestNetworkManagerDemoService::cleanup()
{
    network.reset();
    languages.reset();
}

QString TestNetworkManagerDemoService::brandId()
{
    QSignalSpy received(network.get(), &NetworkManager::brandIdReceived);
    network->requestBrandId("corvane.example");
    if (!received.wait(replyTimeoutMs))
        return {};
    return received.first().at(0).toString();
}

QVector<int> TestNetworkManagerDemoService::favoritesOnceSettled(const QVector<int> &expected)
{
    QSignalSpy favorites(network.get(), &NetworkManager::favoriteServersIdsReceived);
    QVector<int> ids;
    for (int attempt = 0; attempt < 20 && (attempt == 0 || ids != expected); ++attempt) {
        network->requestFavoriteServersData();
        if (!favorites.wait(replyTimeoutMs))
            break;
        ids = favorites.takeFirst().at(0).value<QVector<int>>();
        if (ids != expected)
            QTest::qWait(25);
    }
    return ids;
}

void TestNetworkManagerDemoService::logIn(const QString &email, const QString &password)
{
    const QString brand = brandId();
    QVERIFY(!brand.isEmpty());
    QSignalSpy loggedIn(network.get(), &NetworkManager::loginSuccessed);
    QSignalSpy active(network.get(), &NetworkManager::subscriptionIsActive);
    network->requestLoginData(email, password, brand);
    QVERIFY(active.wait(replyTimeoutMs));
    QCOMPARE(loggedIn.count(), 1);
}

void TestNetworkManagerDemoService::signInAndUseEveryOperation()
{
    logIn("demo@corvane.test", "demo-password");

    QSignalSpy active(network.get(), &NetworkManager::subscriptionIsActive);
    network->requestSubscriptionStatus();
    QVERIFY(active.wait(replyTimeoutMs));

    QSignalSpy favorites(network.get(), &NetworkManager::favoriteServersIdsReceived);
    network->requestFavoriteServersData();
    QVERIFY(favorites.wait(replyTimeoutMs));
    QCOMPARE(favorites.takeFirst().at(0).value<QVector<int>>(), QVector<int>({3, 7}));

    QSignalSpy errors(network.get(), &NetworkManager::replyErrorOccurred);
    network->requestUpdateServersFavoriteStates({12, 4, 9});
    QCOMPARE(favoritesOnceSettled({12, 4, 9}), QVector<int>({12, 4, 9}));
    network->requestUpdateServersFavoriteStates({});
    QCOMPARE(favoritesOnceSettled({}), QVector<int>());
    network->requestUpdateServersFavoriteStates({3, 7});
    QCOMPARE(favoritesOnceSettled({3, 7}), QVector<int>({3, 7}));

    const int answered = service->log().count("POST /graphql 200");
    network->requestBandwidthStatus();
    network->requestUpdateBandwidthUsage(1024);
    QTRY_COMPARE_WITH_TIMEOUT(service->log().count("POST /graphql 200"), answered + 2,
                              replyTimeoutMs);

    QSignalSpy servers(network.get(), &NetworkManager::allServersDataReceived);
    network->requestAllServersData();
    QVERIFY(servers.wait(replyTimeoutMs));
    const auto list = servers.first().at(0).value<QVector<ServerData>>();
    QVERIFY(list.size() >= 40);
    QSet<QString> countries;
    for (const ServerData &server : list) {
        countries.insert(server.countryCode);
        QVERIFY(!server.name.contains("trial", Qt::CaseInsensitive));
        QVERIFY(!server.serverIp.isEmpty());
        QVERIFY(server.id > 0);
    }
    QVERIFY(countries.size() >= 20);

    QSignalSpy config(network.get(), &NetworkManager::vpnConfigReceived);
    QSignalSpy failed(network.get(), &NetworkManager::vpnConfigFailed);
    network->requestVpnConnect(list.first().serverIp);
    QVERIFY(config.wait(replyTimeoutMs));
    const QByteArray text = config.first().at(0).toByteArray();
    QVERIFY(text.contains("[Interface]"));
    QVERIFY(text.contains("PrivateKey = "));
    QVERIFY(text.contains("[Peer]"));
    QVERIFY(!text.contains("0.0.0.0/0"));

    network->requestVpnConnect("203.0.113.250");
    QVERIFY(failed.wait(replyTimeoutMs));
    network->requestVpnDisconnect();
    QTRY_VERIFY_WITH_TIMEOUT(service->log().contains("POST /api/client/disconnect 200"),
                             replyTimeoutMs);
    QTest::qWait(100);
    QCOMPARE(errors.count(), 0);
}

void TestNetworkManagerDemoService::trickyPasswordSignsIn()
{
    logIn("quotes@corvane.test", QStringLiteral("Tricky \"quote\" \\ tab\tnew\nline"));
}

void TestNetworkManagerDemoService::wrongPasswordIsInvalidLogin()
{
    const QString brand = brandId();
    QSignalSpy errors(network.get(), &NetworkManager::replyErrorOccurred);
    network->requestLoginData("demo@corvane.test", "Demo-Password", brand);
    QVERIFY(errors.wait(replyTimeoutMs));
    QCOMPARE(errors.first().at(0).value<ReplyError::Type>(), ReplyError::Login);
    QCOMPARE(errors.first().at(1).toString(),
             QStringLiteral("Your email / password is incorrect."));
}

void TestNetworkManagerDemoService::inactiveMemberGetsSubscription()
{
    const QString brand = brandId();
    QSignalSpy loggedIn(network.get(), &NetworkManager::loginSuccessed);
    QSignalSpy errors(network.get(), &NetworkManager::replyErrorOccurred);
    network->requestLoginData("inactive@corvane.test", "demo-password", brand);
    QVERIFY(errors.wait(replyTimeoutMs));
    QCOMPARE(loggedIn.count(), 1);
    QCOMPARE(errors.first().at(0).value<ReplyError::Type>(), ReplyError::Subscription);

    errors.clear();
    network->requestSubscriptionStatus();
    QVERIFY(errors.wait(replyTimeoutMs));
    QCOMPARE(errors.first().at(0).value<ReplyError::Type>(), ReplyError::Subscription);
}

void TestNetworkManagerDemoService::expiredTokenIsHandled()
{
    const QString brand = brandId();
    QSignalSpy loggedIn(network.get(), &NetworkManager::loginSuccessed);
    network->requestLoginData("expired@corvane.test", "demo-password", brand);
    QVERIFY(loggedIn.wait(replyTimeoutMs));

    QSignalSpy errors(network.get(), &NetworkManager::replyErrorOccurred);
    QTest::ignoreMessage(QtDebugMsg, "Jwt expired.");
    network->requestFavoriteServersData();
    QVERIFY(errors.wait(replyTimeoutMs));
    QCOMPARE(errors.first().at(0).value<ReplyError::Type>(), ReplyError::Service);
    QCOMPARE(errors.first().at(1).toString(),
             QStringLiteral("Service unavailable. Try again later."));

    QTest::ignoreMessage(QtDebugMsg, "Jwt expired.");
    network->requestSubscriptionStatus();
    QVERIFY(errors.wait(replyTimeoutMs));
    QCOMPARE(errors.last().at(0).value<ReplyError::Type>(), ReplyError::Login);
}

void TestNetworkManagerDemoService::unknownBrandDomainFailsAtOnce()
{
    QSignalSpy errors(network.get(), &NetworkManager::replyErrorOccurred);
    QTest::ignoreMessage(QtDebugMsg, "Brand not found for domain.");
    network->requestBrandId("unknown.example");
    QVERIFY(errors.wait(replyTimeoutMs));
    QTest::qWait(200);
    QCOMPARE(errors.count(), 1);
}

QTEST_GUILESS_MAIN(TestNetworkManagerDemoService)
#include "TestNetworkManagerDemoService.moc"
