#include "ScriptedHttpServer.h"
#include "app/Startup.h"
#include "i18n/LanguageManager.h"
#include "network/NetworkManager.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {

const QByteArray brandId = "5c1f3e2a-8b4d-4f6a-9e7c-2d0b1a3f4e5d";
const QString unavailable = QStringLiteral("Service unavailable. Try again later.");
const QString cannotConnect = QStringLiteral("Cannot connect to service. Please try again later.");

QByteArray loginReply(const QByteArray &token, const QByteArray &status)
{
    return R"({"data":{"memberLogin":{"token":")" + token +
           R"(","member":{"id":"1","email":"m@example.com","name":"M","status":")" + status +
           R"("},"expiresIn":3600}}})";
}

enum Operation {
    BrandLookup,
    Login,
    Subscription,
    Favorites,
    UpdateFavorites,
    UpdateFavoritesEmpty,
    BandwidthStatus,
    UpdateBandwidth,
    Servers,
    Connect,
    Disconnect,
};

} // namespace

class TestNetworkManager : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void requestBodies_data();
    void requestBodies();
    void authorizationOnlyAfterLogin();
    void loginBodyParsesAsGraphQlWithTheExactPassword();
    void failures_data();
    void failures();
    void inactiveLoginStoresTokenThenReportsSubscription();
    void credentialsOnlyWhereSafe_data();
    void credentialsOnlyWhereSafe();
    void plainHttpElsewhereGetsNoRequest();
    void loginWithoutStatusHasNoStrayFullStop();
    void plainHttpVpnApiElsewhereIsReachedWithoutTheToken();
    void eachExpiryOnConnectIsRenewedOnce();
    void repliesAfterForgettingTheSessionAreDropped();
    void insecureHttpIsNotedOncePerRun();
    void drippingReplyEndsAtTheDeadline();
    void oversizedListIsCutShort();
    void errorsLeaveThePreviousTokenInPlace_data();
    void errorsLeaveThePreviousTokenInPlace();
    void brandLookupRetriesThreeTimes();
    void brandLookupRecoversAfterTwoFailures();
    void favoritesParsing_data();
    void favoritesParsing();
    void favoritesUpdateFailuresOnlyLog_data();
    void favoritesUpdateFailuresOnlyLog();
    void connectOutcomes_data();
    void connectOutcomes();
    void serverList();
    void bandwidthRepliesRaiseNothing();
    void twoRequestsInFlightBothHandled();
    void replyThatNeverComesTimesOut();
    void configDownload();
    void noSecretInAnyLogLine();

private:
    void invoke(Operation operation);
    void logIn(const QByteArray &token = "tok-123");

    std::unique_ptr<ScriptedHttpServer> server;
    std::unique_ptr<LanguageManager> languages;
    std::unique_ptr<NetworkManager> network;
};

void TestNetworkManager::initTestCase()
{
    initResourceTree();
    qRegisterMetaType<ReplyError::Type>("ReplyError::Type");
}

void TestNetworkManager::init()
{
    server = std::make_unique<ScriptedHttpServer>();
    qputenv("CORVANE_ACCOUNT_API_URL", server->url("/graphql").toUtf8());
    qputenv("CORVANE_VPN_API_URL", server->url().toUtf8());
    languages = std::make_unique<LanguageManager>();
    network = std::make_unique<NetworkManager>();
    network->setLanguageManager(languages.get());
    network->setBrandLookupRetryInterval(60);
}

void TestNetworkManager::cleanup()
{
    network.reset();
    languages.reset();
    server.reset();
}

void TestNetworkManager::invoke(Operation operation)
{
    switch (operation) {
    case BrandLookup:
        network->requestBrandId("corvane.example");
        break;
    case Login:
        network->requestLoginData("m@example.com", "pw", brandId);
        break;
    case Subscription:
        network->requestSubscriptionStatus();
        break;
    case Favorites:
        network->requestFavoriteServersData();
        break;
    case UpdateFavorites:
        network->requestUpdateServersFavoriteStates({5, 17});
        break;
    case UpdateFavoritesEmpty:
        network->requestUpdateServersFavoriteStates({});
        break;
    case BandwidthStatus:
        network->requestBandwidthStatus();
        break;
    case UpdateBandwidth:
        network->requestUpdateBandwidthUsage(4096);
        break;
    case Servers:
        network->requestAllServersData();
        break;
    case Connect:
        network->requestVpnConnect("198.51.100.7");
        break;
    case Disconnect:
        network->requestVpnDisconnect();
        break;
    }
}

void TestNetworkManager::logIn(const QByteArray &token)
{
    server->script("POST", "/graphql", 200, loginReply(token, "active"));
    QSignalSpy active(network.get(), &NetworkManager::subscriptionIsActive);
    network->requestLoginData("m@example.com", "pw", brandId);
    QVERIFY(active.wait(5000));
    server->clear();
}

void TestNetworkManager::requestBodies_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("brand lookup")
        << int(BrandLookup) << "POST"
        << "/graphql"
        << QByteArray(R"({"query": "{ brandByDomain(domain: \"corvane.example\") { id name } }"})");
    QTest::newRow("login")
        << int(Login) << "POST"
        << "/graphql"
        << QByteArray(
               R"({"query": "mutation { memberLogin(email: \"m@example.com\", password: \"pw\", brand_id: \"5c1f3e2a-8b4d-4f6a-9e7c-2d0b1a3f4e5d\") { token member { id email name status } expiresIn } }"})");
    QTest::newRow("subscription")
        << int(Subscription) << "POST"
        << "/graphql"
        << QByteArray(
               R"({"query": "query SubscriptionStatus{member{info{email subscription{planName isActive offers{id}}}}}"})"
               "\n");
    QTest::newRow("favourites")
        << int(Favorites) << "POST"
        << "/graphql"
        << QByteArray(
               R"({ "query": "query { member { info { id name vpn { favoriteServers } } } }" })");
    QTest::newRow("favourites update")
        << int(UpdateFavorites) << "POST"
        << "/graphql"
        << QByteArray(
               R"({"query": "mutation UpdateFavoriteServers($favoriteServers: [String!] = [\"5\",\"17\"]){member{updateFavoriteServers(favoriteServers: $favoriteServers){responseResult{succeeded errorCode slug message}}}}"})");
    QTest::newRow("favourites update, empty")
        << int(UpdateFavoritesEmpty) << "POST"
        << "/graphql"
        << QByteArray(
               R"({"query": "mutation UpdateFavoriteServers($favoriteServers: [String!] = []){member{updateFavoriteServers(favoriteServers: $favoriteServers){responseResult{succeeded errorCode slug message}}}}"})");
    QTest::newRow("bandwidth status")
        << int(BandwidthStatus) << "POST"
        << "/graphql"
        << QByteArray(
               R"({"query": "query BandwidthStatus{member{info{email vpn{bandwidthLimit bandwidthUsed}}}}"})");
    QTest::newRow("bandwidth update")
        << int(UpdateBandwidth) << "POST"
        << "/graphql"
        << QByteArray(
               R"({"query": "mutation UpdateBandwidthUsage($bandwidthUsed: Int! = 4096){member{updateBandwidthUsage(bandwidthUsed: $bandwidthUsed){responseResult{succeeded errorCode slug message}}}}"})");
    QTest::newRow("server list") << int(Servers) << "GET"
                                 << "/api/client/servers" << QByteArray();
    QTest::newRow("connect before login")
        << int(Connect) << "POST"
        << "/api/client/connect"
        << QByteArray("{\n    \"server_ip\": \"198.51.100.7\",\n    \"user_id\": \"\"\n}\n");
    QTest::newRow("disconnect before login")
        << int(Disconnect) << "POST"
        << "/api/client/disconnect" << QByteArray("{\n    \"user_id\": \"\"\n}\n");
}

void TestNetworkManager::requestBodies()
{
    QFETCH(int, operation);
    QFETCH(QString, method);
    QFETCH(QString, path);
    QFETCH(QByteArray, body);
    invoke(Operation(operation));
    QTRY_COMPARE_WITH_TIMEOUT(server->requests().size(), 1, 5000);
    const ScriptedHttpServer::Request request = server->requests().first();
    QCOMPARE(request.method, method);
    QCOMPARE(request.path, path);
    QCOMPARE(request.body, body);
    QCOMPARE(request.headers.value("content-type"),
             method == "POST" ? QStringLiteral("application/json") : QString());
    QVERIFY(!request.headers.contains("authorization"));
}

void TestNetworkManager::authorizationOnlyAfterLogin()
{
    network->requestSubscriptionStatus();
    QTRY_COMPARE_WITH_TIMEOUT(server->requests().size(), 1, 5000);
    QVERIFY(!server->requests().first().headers.contains("authorization"));
    server->clear();

    logIn("tok-123");
    network->requestLoginData("m@example.com", "pw", brandId);
    for (const Operation operation :
         {Subscription, Favorites, UpdateFavorites, Servers, Connect, Disconnect})
        invoke(operation);
    QTRY_COMPARE_WITH_TIMEOUT(server->requests().size(), 7, 5000);

    QMap<QString, int> bearerCount;
    for (const auto &request : server->requests()) {
        const bool isLoginOrBrand = request.body.contains("memberLogin");
        const bool isServerList = request.path == "/api/client/servers";
        const QString header = request.headers.value("authorization");
        if (isLoginOrBrand || isServerList)
            QVERIFY2(header.isEmpty(), qPrintable(request.path));
        else
            QCOMPARE(header, QStringLiteral("Bearer tok-123"));
        ++bearerCount[header];
    }
    QCOMPARE(bearerCount.value("Bearer tok-123"), 5);
}

void TestNetworkManager::loginBodyParsesAsGraphQlWithTheExactPassword()
{
    const QString email = QStringLiteral("odd%2user%3@exämple.com");
    const QString password = QStringLiteral("Tricky \"quote\" \\ tab\tnew\nline");
    network->requestLoginData(email, password, brandId);
    QTRY_COMPARE_WITH_TIMEOUT(server->requests().size(), 1, 5000);

    QJsonParseError error;
    const QJsonDocument body = QJsonDocument::fromJson(server->requests().first().body, &error);
    QCOMPARE(error.error, QJsonParseError::NoError);

    // The reference GraphQL parser reads the document back.
    QProcess node;
    node.setWorkingDirectory(QStringLiteral(CORVANE_DEMO_SERVICE_DIR));
    node.start("node", {"-e", R"(
        const { parse } = require('graphql');
        let source = '';
        process.stdin.on('data', (d) => (source += d));
        process.stdin.on('end', () => {
          const field = parse(source).definitions[0].selectionSet.selections[0];
          const args = Object.fromEntries(field.arguments.map((a) => [a.name.value, a.value.value]));
          process.stdout.write(JSON.stringify(args));
        });)"});
    QVERIFY(node.waitForStarted());
    node.write(body.object().value("query").toString().toUtf8());
    node.closeWriteChannel();
    QVERIFY(node.waitForFinished(10000));
    QCOMPARE(node.exitCode(), 0);
    const QJsonObject arguments = QJsonDocument::fromJson(node.readAllStandardOutput()).object();
    QCOMPARE(arguments.value("password").toString(), password);
    QCOMPARE(arguments.value("email").toString(), email);
    QCOMPARE(arguments.value("brand_id").toString(), QString::fromLatin1(brandId));
}

void TestNetworkManager::failures_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("errorType");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("logLine");

    const QByteArray jwtExpired = R"({"error":"jwt expired"})";
    const QString inactive = QStringLiteral("Your subscription is inactive.");
    const QString invalid = QStringLiteral("Your email / password is incorrect.");

    QTest::newRow("brand not found")
        << int(BrandLookup) << 200 << QByteArray(R"({"data":{"brandByDomain":null}})")
        << int(ReplyError::Login) << cannotConnect << "Brand not found for domain.";
    QTest::newRow("login network error") << int(Login) << 503 << QByteArray("{}")
                                         << int(ReplyError::Login) << "503. " + unavailable << "";
    QTest::newRow("login not JSON")
        << int(Login) << 200 << QByteArray("<html>") << int(ReplyError::Login) << unavailable
        << "Login reply is empty.";
    QTest::newRow("login errors") << int(Login) << 200
                                  << QByteArray(R"({"errors":[{"message":"bad"}]})")
                                  << int(ReplyError::Login) << invalid << invalid;
    QTest::newRow("login empty token") << int(Login) << 200 << loginReply("", "active")
                                       << int(ReplyError::Login) << invalid << invalid;
    QTest::newRow("login token carrying a header")
        << int(Login) << 200 << loginReply("tok\\r\\nX-Injected: yes", "active")
        << int(ReplyError::Login) << unavailable << "Login reply carries an unusable token.";
    QTest::newRow("login token with a blank")
        << int(Login) << 200 << loginReply("tok en", "active") << int(ReplyError::Login)
        << unavailable << "Login reply carries an unusable token.";
    QTest::newRow("subscription network error")
        << int(Subscription) << 500 << QByteArray() << int(ReplyError::Login)
        << "500 " + unavailable << "Cannot receive subscription status.";
    QTest::newRow("subscription not JSON")
        << int(Subscription) << 200 << QByteArray("[1]") << int(ReplyError::Login) << unavailable
        << "Subscription status reply is empty.";
    QTest::newRow("subscription jwt expired")
        << int(Subscription) << 200 << jwtExpired << int(ReplyError::Login) << unavailable
        << "Jwt expired.";
    QTest::newRow("subscription inactive")
        << int(Subscription) << 200
        << QByteArray(R"({"data":{"member":{"info":{"subscription":{"isActive":false}}}}})")
        << int(ReplyError::Subscription) << inactive << inactive;
    QTest::newRow("subscription isActive not a boolean")
        << int(Subscription) << 200
        << QByteArray(R"({"data":{"member":{"info":{"subscription":{"isActive":"true"}}}}})")
        << int(ReplyError::Subscription) << inactive << inactive;
    QTest::newRow("favourites network error")
        << int(Favorites) << 502 << QByteArray() << int(ReplyError::Service) << "502 " + unavailable
        << "Cannot receive favorite servers ids.";
    QTest::newRow("favourites not JSON")
        << int(Favorites) << 200 << QByteArray("") << int(ReplyError::Service) << unavailable
        << "Favorite servers reply is empty.";
    QTest::newRow("favourites jwt expired")
        << int(Favorites) << 200 << jwtExpired << int(ReplyError::Service) << unavailable
        << "Jwt expired.";
    QTest::newRow("favourites update jwt expired")
        << int(UpdateFavorites) << 200 << jwtExpired << int(ReplyError::Service) << unavailable
        << "Jwt expired.";
    QTest::newRow("server list network error")
        << int(Servers) << 500 << QByteArray("[]") << int(ReplyError::Service)
        << "500 " + unavailable << "Cannot receive all servers data.";
    QTest::newRow("server list is an object")
        << int(Servers) << 200 << QByteArray(R"({"error":"x"})") << int(ReplyError::Service)
        << unavailable << "All servers reply is empty.";
}

void TestNetworkManager::failures()
{
    QFETCH(int, operation);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(int, errorType);
    QFETCH(QString, message);
    QFETCH(QString, logLine);

    const QString path = operation == Servers ? "/api/client/servers" : "/graphql";
    server->script(operation == Servers ? "GET" : "POST", path, status, body);
    if (!logLine.isEmpty())
        QTest::ignoreMessage(QtDebugMsg, qPrintable(logLine));
    QSignalSpy errors(network.get(), &NetworkManager::replyErrorOccurred);
    invoke(Operation(operation));
    QVERIFY(errors.wait(5000));
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.first().at(0).value<ReplyError::Type>(), ReplyError::Type(errorType));
    QCOMPARE(errors.first().at(1).toString(), message);
    QTest::qWait(50);
    QCOMPARE(errors.count(), 1);
}

void TestNetworkManager::inactiveLoginStoresTokenThenReportsSubscription()
{
    server->script("POST", "/graphql", 200, loginReply("tok-inactive", "inactive"));
    QSignalSpy order(network.get(), &NetworkManager::loginSuccessed);
    QVector<QString> events;
    connect(network.get(), &NetworkManager::loginSuccessed, this, [&] { events << "login"; });
    connect(network.get(), &NetworkManager::subscriptionIsActive, this,
            [&] { events << "active"; });
    connect(network.get(), &NetworkManager::replyErrorOccurred, this,
            [&](ReplyError::Type type, const QString &message) {
                events << QStringLiteral("error %1 %2").arg(type).arg(message);
            });
    network->requestLoginData("m@example.com", "pw", brandId);
    QTRY_COMPARE_WITH_TIMEOUT(events.size(), 2, 5000);
    QCOMPARE(events, QVector<QString>({"login", "error 1 Your subscription is inactive."}));

    server->clear();
    network->requestSubscriptionStatus();
    QTRY_COMPARE_WITH_TIMEOUT(server->requests().size(), 1, 5000);
    QCOMPARE(server->requests().first().headers.value("authorization"),
             QStringLiteral("Bearer tok-inactive"));
}

void TestNetworkManager::credentialsOnlyWhereSafe_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("override");
    QTest::addColumn<bool>("allowed");
    QTest::newRow("https") << "https://api.example/graphql" << false << true;
    QTest::newRow("loopback") << "http://127.0.0.1:8000/graphql" << false << true;
    QTest::newRow("loopback range") << "http://127.3.4.5:8000/graphql" << false << true;
    QTest::newRow("IPv6 loopback") << "http://[::1]:8000/graphql" << false << true;
    QTest::newRow("localhost") << "http://localhost:8000/graphql" << false << true;
    QTest::newRow("plain http elsewhere") << "http://192.0.2.1:8000/graphql" << false << false;
    QTest::newRow("plain http by name") << "http://api.example/graphql" << false << false;
    QTest::newRow("overridden") << "http://192.0.2.1:8000/graphql" << true << true;
}

void TestNetworkManager::credentialsOnlyWhereSafe()
{
    QFETCH(QString, url);
    QFETCH(bool, override);
    if (override)
        qputenv("CORVANE_ALLOW_INSECURE_HTTP", "1");
    const bool allowed = NetworkManager::mayCarryCredentials(QUrl(url));
    qunsetenv("CORVANE_ALLOW_INSECURE_HTTP");
    QTEST(allowed, "allowed");
}

// A name under .invalid never resolves: were the refusal missing, nothing could answer anyway,
// but the refusal must come before any lookup, with its log line and the usual message.
void TestNetworkManager::plainHttpElsewhereGetsNoRequest()
{
    qputenv("CORVANE_ACCOUNT_API_URL", "http://vpn.invalid:8000/graphql");
    NetworkManager insecure;
    insecure.setLanguageManager(languages.get());
    QSignalSpy errors(&insecure, &NetworkManager::replyErrorOccurred);
    QTest::ignoreMessage(QtDebugMsg, "Refusing to send credentials over plain HTTP to vpn.invalid");
    insecure.requestLoginData("m@example.com", "pw", "brand");
    QVERIFY(errors.wait(5000));
    QCOMPARE(errors.first().at(0).value<ReplyError::Type>(), ReplyError::Login);
    QCOMPARE(errors.first().at(1).toString(), unavailable);
}

// A VPN API served over plain http on another host is reached, as such deployments are, but
// never with the token; the password still goes nowhere over plain http.
void TestNetworkManager::plainHttpVpnApiElsewhereIsReachedWithoutTheToken()
{
    ScriptedHttpServer elsewhere(QStringLiteral("127.0.0.2"));
    NetworkManager::setHostsTakenAsRemote({QStringLiteral("127.0.0.2")});
    qputenv("CORVANE_VPN_API_URL", elsewhere.url().toUtf8());
    NetworkManager client;
    client.setLanguageManager(languages.get());
    server->script("POST", "/graphql", 200, loginReply("tok", "active"));
    elsewhere.script("POST", "/api/client/connect", 200, R"({"status":"failed"})");
    QSignalSpy signedIn(&client, &NetworkManager::loginSuccessed);
    client.requestLoginData("m@example.com", "pw", brandId);
    QVERIFY(signedIn.wait(5000));

    QTest::ignoreMessage(QtDebugMsg,
                         "The VPN API at 127.0.0.2 is plain HTTP: it is reached without the token");
    QSignalSpy failed(&client, &NetworkManager::vpnConfigFailed);
    client.requestVpnConnect("10.0.0.1");
    QVERIFY(failed.wait(5000));
    client.requestVpnConnect("10.0.0.1");
    QVERIFY(failed.wait(5000));
    const auto connects = elsewhere.requestsTo("/api/client/connect");
    QCOMPARE(connects.size(), 2);
    for (const auto &request : connects) {
        QVERIFY(!request.headers.contains("authorization"));
        QVERIFY(request.body.contains("m@example.com"));
    }

    qputenv("CORVANE_ACCOUNT_API_URL", elsewhere.url("/graphql").toUtf8());
    NetworkManager passwordElsewhere;
    QSignalSpy errors(&passwordElsewhere, &NetworkManager::replyErrorOccurred);
    passwordElsewhere.requestLoginData("m@example.com", "pw", brandId);
    QVERIFY(errors.wait(5000));
    NetworkManager::setHostsTakenAsRemote({});
    QVERIFY(elsewhere.requestsTo("/graphql").isEmpty());
}

// A renewal that did not cure the refusal ends that connect; the next expiry is renewed again.
void TestNetworkManager::eachExpiryOnConnectIsRenewedOnce()
{
    server->script("POST", "/api/client/connect", 401, R"({"error":"jwt expired"})");
    QSignalSpy renewals(network.get(), &NetworkManager::sessionRenewalNeeded);
    QSignalSpy failed(network.get(), &NetworkManager::vpnConfigFailed);
    server->script("POST", "/graphql", 200, loginReply("tok", "active"));
    connect(network.get(), &NetworkManager::sessionRenewalNeeded, this,
            [this] { network->requestLoginData("m@example.com", "pw", brandId); });
    for (int attempt = 1; attempt <= 2; ++attempt) {
        network->requestVpnConnect("10.0.0.1");
        QTRY_COMPARE_WITH_TIMEOUT(failed.count(), attempt, 5000);
        QCOMPARE(renewals.count(), attempt);
    }
    QCOMPARE(server->requestsTo("/api/client/connect").size(), 4);
}

// After log-out a late reply neither signs the last member in again nor sends their connect.
void TestNetworkManager::repliesAfterForgettingTheSessionAreDropped()
{
    server->script("POST", "/api/client/connect", 401, R"({"error":"jwt expired"})");
    ScriptedHttpServer::Reply lateLogin;
    lateLogin.body = loginReply("tok-late", "active");
    lateLogin.delayMs = 300;
    server->script("POST", "/graphql", lateLogin);
    QSignalSpy signedIn(network.get(), &NetworkManager::loginSuccessed);
    QSignalSpy errors(network.get(), &NetworkManager::replyErrorOccurred);
    connect(network.get(), &NetworkManager::sessionRenewalNeeded, this,
            [this] { network->requestLoginData("m@example.com", "pw", brandId); });
    network->requestVpnConnect("10.0.0.1");
    QTRY_COMPARE_WITH_TIMEOUT(server->requestsTo("/graphql").size(), 1, 5000);
    network->forgetSession();
    QTest::qWait(800);
    QCOMPARE(signedIn.count(), 0);
    QCOMPARE(errors.count(), 0);
    QCOMPARE(server->requestsTo("/api/client/connect").size(), 1);

    server->clear();
    network->requestSubscriptionStatus();
    QTRY_COMPARE_WITH_TIMEOUT(server->requests().size(), 1, 5000);
    QVERIFY(!server->requests().first().headers.contains("authorization"));
}

namespace {

QStringList capturedLines;

void captureLine(QtMsgType, const QMessageLogContext &, const QString &line)
{
    capturedLines << line;
}

} // namespace

void TestNetworkManager::insecureHttpIsNotedOncePerRun()
{
    ScriptedHttpServer elsewhere(QStringLiteral("127.0.0.2"));
    NetworkManager::setHostsTakenAsRemote({QStringLiteral("127.0.0.2")});
    qputenv("CORVANE_ALLOW_INSECURE_HTTP", "1");
    qputenv("CORVANE_ACCOUNT_API_URL", elsewhere.url("/graphql").toUtf8());
    NetworkManager client;
    elsewhere.script("POST", "/graphql", 200, loginReply("tok", "active"));
    capturedLines.clear();
    const QtMessageHandler previous = qInstallMessageHandler(captureLine);
    QSignalSpy signedIn(&client, &NetworkManager::loginSuccessed);
    for (int login = 1; login <= 3; ++login) {
        client.requestLoginData("m@example.com", "pw", brandId);
        QTRY_COMPARE_WITH_TIMEOUT(signedIn.count(), login, 5000);
    }
    qInstallMessageHandler(previous);
    qunsetenv("CORVANE_ALLOW_INSECURE_HTTP");
    NetworkManager::setHostsTakenAsRemote({});
    QCOMPARE(capturedLines.filter("Credentials go over plain HTTP to 127.0.0.2").size(), 1);
}

void TestNetworkManager::loginWithoutStatusHasNoStrayFullStop()
{
    ScriptedHttpServer::Reply never;
    never.neverAnswer = true;
    server->script("POST", "/graphql", never);
    network->setRequestDeadline(300);
    QSignalSpy errors(network.get(), &NetworkManager::replyErrorOccurred);
    network->requestLoginData("m@example.com", "pw", "brand");
    QVERIFY(errors.wait(5000));
    QCOMPARE(errors.first().at(1).toString(), unavailable);
}

// One byte a second would renew an inactivity time-out for ever; the deadline ends it.
void TestNetworkManager::drippingReplyEndsAtTheDeadline()
{
    QTcpServer dripping;
    QVERIFY(dripping.listen(QHostAddress::LocalHost));
    QTimer drip;
    QList<QTcpSocket *> clients;
    connect(&dripping, &QTcpServer::newConnection, this, [&] {
        QTcpSocket *client = dripping.nextPendingConnection();
        client->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n"
                      "Content-Length: 100000\r\n\r\n[");
        clients << client;
    });
    connect(&drip, &QTimer::timeout, this, [&] {
        for (QTcpSocket *client : clients)
            client->write(" ");
    });
    drip.start(100);
    qputenv("CORVANE_VPN_API_URL",
            QStringLiteral("http://127.0.0.1:%1").arg(dripping.serverPort()).toUtf8());
    NetworkManager slow;
    slow.setLanguageManager(languages.get());
    slow.setRequestDeadline(800);
    QSignalSpy errors(&slow, &NetworkManager::replyErrorOccurred);
    QElapsedTimer clock;
    clock.start();
    QTest::ignoreMessage(QtDebugMsg, "Cannot receive all servers data.");
    slow.requestAllServersData();
    QVERIFY(errors.wait(5000));
    QVERIFY(clock.elapsed() < 4000);
    QCOMPARE(errors.first().at(1).toString(), unavailable);
}

// A valid list far larger than any real one is cut short, not parsed for minutes.
void TestNetworkManager::oversizedListIsCutShort()
{
    QByteArray list = "[";
    const QByteArray record =
        R"({"id":1,"name":"Oslo","country":"Norway","country_code":"NO","server_ip":"127.0.1.1"},)";
    while (list.size() < 50 * 1024 * 1024)
        list += record;
    list.chop(1);
    list += "]";
    server->script("GET", "/api/client/servers", 200, list);
    QSignalSpy errors(network.get(), &NetworkManager::replyErrorOccurred);
    QSignalSpy servers(network.get(), &NetworkManager::allServersDataReceived);
    QTest::ignoreMessage(QtDebugMsg, "Cannot receive all servers data.");
    network->requestAllServersData();
    QVERIFY(errors.wait(10000));
    QCOMPARE(errors.first().at(1).toString(), unavailable);
    QCOMPARE(servers.count(), 0);
}

void TestNetworkManager::errorsLeaveThePreviousTokenInPlace_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("errors") << QByteArray(R"({"errors":[{"message":"bad"}]})");
    QTest::newRow("token carrying a header") << loginReply("tok\\r\\nX-Injected: yes", "active");
    QTest::newRow("token with a control character") << loginReply("tok\\u0000x", "active");
}

void TestNetworkManager::errorsLeaveThePreviousTokenInPlace()
{
    QFETCH(QByteArray, reply);
    logIn("first-token");
    server->script("POST", "/graphql", 200, reply);
    QSignalSpy errors(network.get(), &NetworkManager::replyErrorOccurred);
    network->requestLoginData("m@example.com", "wrong", brandId);
    QVERIFY(errors.wait(5000));
    server->clear();
    network->requestFavoriteServersData();
    QTRY_COMPARE_WITH_TIMEOUT(server->requests().size(), 1, 5000);
    QCOMPARE(server->requests().first().headers.value("authorization"),
             QStringLiteral("Bearer first-token"));
    QVERIFY(!server->requests().first().headers.contains("x-injected"));
}

void TestNetworkManager::brandLookupRetriesThreeTimes()
{
    QCOMPARE(NetworkManager(nullptr).brandLookupRetryInterval(), 2000);
    const int interval = network->brandLookupRetryInterval();
    server->script("POST", "/graphql", 500, "{}");
    QSignalSpy errors(network.get(), &NetworkManager::replyErrorOccurred);
    QSignalSpy received(network.get(), &NetworkManager::brandIdReceived);
    QVector<qint64> requestTimes;
    QElapsedTimer clock;
    clock.start();

    for (int attempt = 1; attempt <= 3; ++attempt)
        QTest::ignoreMessage(
            QtDebugMsg, qPrintable(QStringLiteral("Retrying brand lookup (%1/3)...").arg(attempt)));
    network->requestBrandId("corvane.example");
    QVERIFY(errors.wait(5000));
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.first().at(0).value<ReplyError::Type>(), ReplyError::Login);
    QCOMPARE(errors.first().at(1).toString(), cannotConnect);
    QCOMPARE(received.count(), 0);
    QCOMPARE(server->requests().size(), 4);
    QVERIFY(clock.elapsed() >= 3 * interval);
    for (const auto &request : server->requests())
        QVERIFY(request.body.contains("corvane.example"));

    // The count starts again for the next lookup.
    errors.clear();
    server->clear();
    server->script("POST", "/graphql", 200, "not json");
    network->requestBrandId("corvane.example");
    QVERIFY(errors.wait(5000));
    QCOMPARE(server->requests().size(), 4);
    QTest::qWait(3 * interval);
    QCOMPARE(errors.count(), 1);
}

void TestNetworkManager::brandLookupRecoversAfterTwoFailures()
{
    server->script("POST", "/graphql", 503, "{}");
    server->script("POST", "/graphql", 200, R"({"errors":[{"message":"busy"}]})");
    server->script("POST", "/graphql", 200,
                   R"({"data":{"brandByDomain":{"id":"brand-7","name":"Corvane"}}})");
    QSignalSpy errors(network.get(), &NetworkManager::replyErrorOccurred);
    QSignalSpy received(network.get(), &NetworkManager::brandIdReceived);
    QTest::ignoreMessage(QtDebugMsg, "Cannot resolve brand ID. Network error: 503");
    QTest::ignoreMessage(QtDebugMsg, "Brand lookup returned errors.");
    QTest::ignoreMessage(QtDebugMsg, "Brand ID resolved: \"brand-7\"");
    network->requestBrandId("corvane.example");
    QVERIFY(received.wait(5000));
    QCOMPARE(received.first().at(0).toString(), QStringLiteral("brand-7"));
    QCOMPARE(server->requests().size(), 3);

    // A success resets the count: a later failing lookup is tried four times again.
    server->clear();
    server->script("POST", "/graphql", 500, "{}");
    network->requestBrandId("corvane.example");
    QVERIFY(errors.wait(5000));
    QCOMPARE(server->requests().size(), 4);
    QCOMPARE(received.count(), 1);
}

void TestNetworkManager::favoritesParsing_data()
{
    QTest::addColumn<QByteArray>("favorites");
    QTest::addColumn<QVector<int>>("ids");
    QTest::newRow("strings, one not a number")
        << QByteArray(R"(["3","x","12"])") << QVector<int>{3, 0, 12};
    QTest::newRow("numbers give 0") << QByteArray("[3,12]") << QVector<int>{0, 0};
    QTest::newRow("not whole decimal")
        << QByteArray(R"(["1.5","7a","0x10","-4"])") << QVector<int>{0, 0, 0, -4};
    QTest::newRow("empty list") << QByteArray("[]") << QVector<int>();
    QTest::newRow("missing member") << QByteArray("null") << QVector<int>();
}

void TestNetworkManager::favoritesParsing()
{
    QFETCH(QByteArray, favorites);
    QFETCH(QVector<int>, ids);
    server->script("POST", "/graphql", 200,
                   R"({"data":{"member":{"info":{"vpn":{"favoriteServers":)" + favorites + "}}}}}");
    QSignalSpy received(network.get(), &NetworkManager::favoriteServersIdsReceived);
    network->requestFavoriteServersData();
    QVERIFY(received.wait(5000));
    QCOMPARE(received.first().at(0).value<QVector<int>>(), ids);
}

void TestNetworkManager::favoritesUpdateFailuresOnlyLog_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("logLine");
    QTest::newRow("network error")
        << 500 << QByteArray() << "Network error 500. Cannot update favorite servers ids.";
    QTest::newRow("not JSON") << 200 << QByteArray("oops") << "Cannot update favorite servers ids.";
    QTest::newRow("refused by the API")
        << 200
        << QByteArray(
               R"({"data":{"member":{"updateFavoriteServers":{"responseResult":{"succeeded":false}}}}})")
        << "";
}

void TestNetworkManager::favoritesUpdateFailuresOnlyLog()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QString, logLine);
    server->script("POST", "/graphql", status, body);
    QStringList logged;
    static QStringList *sink = nullptr;
    sink = &logged;
    const auto previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext &, const QString &text) { *sink << text; });
    QSignalSpy errors(network.get(), &NetworkManager::replyErrorOccurred);
    network->requestUpdateServersFavoriteStates({1});
    QTRY_COMPARE_WITH_TIMEOUT(server->requests().size(), 1, 5000);
    QTest::qWait(100);
    qInstallMessageHandler(previous);
    QCOMPARE(errors.count(), 0);
    QCOMPARE(logged, logLine.isEmpty() ? QStringList() : QStringList{logLine});
}

void TestNetworkManager::connectOutcomes_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("succeeds");
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<QString>("logLine");
    QTest::newRow("success")
        << 200 << QByteArray(R"({"status":"success","config":"[Interface]\nPrivateKey = k\n"})")
        << true << QByteArray("[Interface]\nPrivateKey = k\n") << "";
    QTest::newRow("success without config")
        << 200 << QByteArray(R"({"status":"success"})") << true << QByteArray() << "";
    QTest::newRow("Success with a capital S")
        << 200 << QByteArray(R"({"status":"Success","config":"x"})") << false << QByteArray()
        << "VPN connect API returned status: \"Success\"";
    QTest::newRow("error status") << 200 << QByteArray(R"({"status":"error"})") << false
                                  << QByteArray() << "VPN connect API returned status: \"error\"";
    QTest::newRow("HTTP 500 whatever the body")
        << 500 << QByteArray(R"({"status":"success","config":"x"})") << false << QByteArray()
        << "VPN connect API error: 500";
    QTest::newRow("not JSON") << 200 << QByteArray("<html>") << false << QByteArray()
                              << "VPN connect reply is not valid JSON";
}

void TestNetworkManager::connectOutcomes()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(bool, succeeds);
    QFETCH(QByteArray, config);
    QFETCH(QString, logLine);
    server->script("POST", "/api/client/connect", status, body);
    if (!logLine.isEmpty())
        QTest::ignoreMessage(QtDebugMsg, qPrintable(logLine));
    QSignalSpy received(network.get(), &NetworkManager::vpnConfigReceived);
    QSignalSpy failedSpy(network.get(), &NetworkManager::vpnConfigFailed);
    network->requestVpnConnect("198.51.100.7");
    QTRY_COMPARE_WITH_TIMEOUT(received.count() + failedSpy.count(), 1, 5000);
    QTest::qWait(50);
    QCOMPARE(received.count(), succeeds ? 1 : 0);
    QCOMPARE(failedSpy.count(), succeeds ? 0 : 1);
    if (succeeds) {
        const QByteArray delivered = received.first().at(0).toByteArray();
        QCOMPARE(delivered, config);
        QCOMPARE(delivered.isNull() || delivered.isEmpty(), config.isEmpty());
    }
}

void TestNetworkManager::serverList()
{
    server->script("GET", "/api/client/servers", 200,
                   R"j([{"id":1,"name":"Paris (TRIAL)"},{"id":2,"hostname":"h","name":"Oslo"}])j");
    server->script("GET", "/api/client/servers", 200, "[]");
    QSignalSpy received(network.get(), &NetworkManager::allServersDataReceived);
    network->requestAllServersData();
    QVERIFY(received.wait(5000));
    auto servers = received.takeFirst().at(0).value<QVector<ServerData>>();
    QCOMPARE(servers.size(), 1);
    QCOMPARE(servers.first().name, QStringLiteral("Oslo"));

    network->requestAllServersData();
    QVERIFY(received.wait(5000));
    QVERIFY(received.takeFirst().at(0).value<QVector<ServerData>>().isEmpty());
}

void TestNetworkManager::bandwidthRepliesRaiseNothing()
{
    server->script("POST", "/graphql", 200,
                   R"({"data":{"member":{"info":{"vpn":{"bandwidthUsed":1}}}}})");
    server->script("POST", "/graphql", 200, R"({"error":"jwt expired"})");
    QSignalSpy errors(network.get(), &NetworkManager::replyErrorOccurred);
    QSignalSpy active(network.get(), &NetworkManager::subscriptionIsActive);
    network->requestBandwidthStatus();
    network->requestUpdateBandwidthUsage(7);
    QTRY_COMPARE_WITH_TIMEOUT(server->requests().size(), 2, 5000);
    QTest::qWait(100);
    QCOMPARE(errors.count(), 0);
    QCOMPARE(active.count(), 0);
}

void TestNetworkManager::twoRequestsInFlightBothHandled()
{
    ScriptedHttpServer::Reply slow;
    slow.body = R"([{"id":1,"name":"Slow"}])";
    slow.delayMs = 300;
    ScriptedHttpServer::Reply fast;
    fast.body = R"([{"id":2,"name":"Fast"}])";
    server->script("GET", "/api/client/servers", slow);
    server->script("GET", "/api/client/servers", fast);
    QSignalSpy received(network.get(), &NetworkManager::allServersDataReceived);
    network->requestAllServersData();
    network->requestAllServersData();
    QTRY_COMPARE_WITH_TIMEOUT(received.count(), 2, 5000);
    QTest::qWait(350);
    QCOMPARE(received.count(), 2);
    QStringList names;
    for (const auto &arguments : received)
        names << arguments.at(0).value<QVector<ServerData>>().first().name;
    names.sort();
    QCOMPARE(names, QStringList({"Fast", "Slow"}));
}

void TestNetworkManager::replyThatNeverComesTimesOut()
{
    QCOMPARE(NetworkManager(nullptr).transferTimeout(), 30000);
    network->setTransferTimeout(300);
    ScriptedHttpServer::Reply never;
    never.neverAnswer = true;
    server->script("GET", "/api/client/servers", never);
    server->script("POST", "/api/client/connect", never);

    QSignalSpy errors(network.get(), &NetworkManager::replyErrorOccurred);
    QSignalSpy failedSpy(network.get(), &NetworkManager::vpnConfigFailed);
    QTest::ignoreMessage(QtDebugMsg, "Cannot receive all servers data.");
    QTest::ignoreMessage(QtDebugMsg, "VPN connect API error: ");
    network->requestAllServersData();
    network->requestVpnConnect("198.51.100.7");
    QTRY_VERIFY_WITH_TIMEOUT(errors.count() == 1 && failedSpy.count() == 1, 5000);
    QCOMPARE(errors.first().at(0).value<ReplyError::Type>(), ReplyError::Service);
    // No status, so no leading blank.
    QCOMPARE(errors.first().at(1).toString(), unavailable);
}

void TestNetworkManager::configDownload()
{
    server->script("GET", "/files/de.ovpn", 200, "client\nremote de 1194\n");
    server->script("GET", "/files/missing.ovpn", 404, "not here");
    QSignalSpy received(network.get(), &NetworkManager::configDataReceived);
    network->requestConfigData(QUrl(server->url("/files/de.ovpn")));
    QVERIFY(received.wait(5000));
    QCOMPARE(received.takeFirst().at(0).toByteArray(), QByteArray("client\nremote de 1194\n"));

    const QString missing = server->url("/files/missing.ovpn");
    QTest::ignoreMessage(
        QtDebugMsg,
        qPrintable(QStringLiteral("Network error 404.\n%1 config isn`t downloaded.").arg(missing)));
    network->requestConfigData(QUrl(missing));
    QVERIFY(received.wait(5000));
    QVERIFY(received.takeFirst().at(0).toByteArray().isEmpty());
}

void TestNetworkManager::noSecretInAnyLogLine()
{
    static QStringList logged;
    logged.clear();
    const auto previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext &, const QString &text) { logged << text; });
    server->script("POST", "/graphql", 200, loginReply("secret-token-xyz", "active"));
    server->script("POST", "/graphql", 200, R"({"errors":[{"message":"x"}]})");
    server->script("POST", "/api/client/connect", 200,
                   R"({"status":"success","config":"PrivateKey = private-key-abc"})");
    QSignalSpy active(network.get(), &NetworkManager::subscriptionIsActive);
    QSignalSpy errors(network.get(), &NetworkManager::replyErrorOccurred);
    QSignalSpy config(network.get(), &NetworkManager::vpnConfigReceived);
    network->requestLoginData("m@example.com", "password-42", brandId);
    QVERIFY(active.wait(5000));
    network->requestLoginData("m@example.com", "password-43", brandId);
    QVERIFY(errors.wait(5000));
    network->requestVpnConnect("198.51.100.7");
    QVERIFY(config.wait(5000));
    qInstallMessageHandler(previous);
    const QString all = logged.join('\n');
    for (const char *secret : {"password-42", "password-43", "secret-token-xyz", "private-key-abc"})
        QVERIFY2(!all.contains(secret), secret);
}

QTEST_GUILESS_MAIN(TestNetworkManager)
#include "TestNetworkManager.moc"
