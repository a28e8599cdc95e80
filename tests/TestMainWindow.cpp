#include "ClientSetUp.h"
#include "DemoService.h"
#include "FakePrograms.h"
#include "SampleConfig.h"
#include "ScriptedHttpServer.h"
#include "app/ActivationChannel.h"
#include "app/MainWindow.h"
#include "app/Startup.h"
#include "i18n/LanguageManager.h"
#include "network/NetworkManager.h"
#include "platform/CommandSet.h"
#include "platform/CredentialStore.h"
#include "platform/NetworkMonitor.h"
#include "platform/SleepMonitor.h"
#include "servers/ServersWindow.h"
#include "storage/AppSettings.h"
#include "storage/CredentialVault.h"
#include "storage/DiagnosticLog.h"
#include "ui/LoginForm.h"
#include "ui/MainForm.h"
#include "vpn/VpnManager.h"

#include <QDBusConnection>
#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {

// A notification daemon on the private session bus for as long as it lives, also when a test
// fails half-way: records every Notify call.
class NotificationDaemon : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    NotificationDaemon()
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        serving = bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this,
                                     QDBusConnection::ExportAllSlots) &&
                  bus.registerService(QStringLiteral("org.freedesktop.Notifications"));
    }
    ~NotificationDaemon() override
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
        bus.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
    }
    bool isServing() const { return serving; }

    struct Call {
        QString appName;
        QString icon;
        QString summary;
        QString body;
    };
    QVector<Call> calls;

public slots:
    uint Notify(const QString &appName, uint, const QString &icon, const QString &summary,
                const QString &body, const QStringList &, const QVariantMap &, int)
    {
        calls.append({appName, icon, summary, body});
        return uint(calls.size());
    }

private:
    bool serving = false;
};

const char brandReply[] =
    R"({"data":{"brandByDomain":{"id":"5c1f3e2a-8b4d-4f6a-9e7c-2d0b1a3f4e5d","name":"Corvane"}}})";
const char activeLogin[] =
    R"({"data":{"memberLogin":{"token":"t1","member":{"id":"1",)"
    R"("email":"m@example.com","name":"M","status":"active"},"expiresIn":1}}})";
const char threeServers[] =
    R"([{"id":1,"name":"Oslo","country":"Norway","server_ip":"127.0.1.1"},)"
    R"({"id":2,"name":"Rome","country":"Italy","server_ip":"127.0.1.2"},)"
    R"({"id":3,"name":"Bern","country":"Switzerland","server_ip":"127.0.1.3"}])";
const char twoServers[] = R"([{"id":1,"name":"Oslo","country":"Norway","server_ip":"127.0.1.1"},)"
                          R"({"id":2,"name":"Rome","country":"Italy","server_ip":"127.0.1.2"}])";

// The VPN API's answer to a connect: the sample configuration.
QByteArray connectReply()
{
    return QJsonDocument(
               QJsonObject{{"status", "success"}, {"config", QString::fromUtf8(sampleConfig())}})
        .toJson();
}

} // namespace

// The real main window with its real pages, signing in against the demo service (or the
// scripted server where a reply must be precise), with a private settings folder and a private
// keyring (tests/helpers/with-private-keyring).
class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void firstStartShowsLoginWithEmptyFields();
    void goodSignInEndsOnTheHomePageWithServersAndFavourites();
    void wrongPasswordShowsTheErrorInTheForm();
    void inactiveMemberSeesManageAccount();
    void serviceFailureOffersTryAgainAndStaysSignedIn();
    void afterLogOutALatePingDoneLeavesTheLoginPage();
    void rememberedCredentialSignsInByItself();
    void rememberOffDeletesTheStoredCredential();
    void anotherMembersPasswordDoesNotStay();
    void damagedSecretIsNoPassword();
    void keyringThatKeepsNothingIsSaid();
    void unsupportedLanguageIsMendedToEnglish();
    void brandFailureAtStartUpOffersARetry_data();
    void brandFailureAtStartUpOffersARetry();
    void latencySweepsLeaveOpenPagesOpen();
    void expiredTokenOnConnectIsRenewedOnce();
    void startedHiddenLivesInTheTray_data();
    void startedHiddenLivesInTheTray();
    void diagnosticLogHoldsNoSecret();
    void secondLaunchBringsTheWindowUp();
    void notificationsGoToTheDesktopService_data();
    void notificationsGoToTheDesktopService();
    void tokenIsRenewedWhileTheHomePageIsShown();
    void trayMenuFollowsTheState_data();
    void trayMenuFollowsTheState();
    void closingHidesToTheTrayOnlyWithTheIconShown();
    void staleTunnel_data();
    void staleTunnel();
    void windowControlsStayOnTopOfEveryPage();
    void windowControlsMinimizeAndClose_data();
    void windowControlsMinimizeAndClose();
    void killSwitchHoldsFromStartToQuit();
    void aBlockThatFailsIsSaidAndStopsTheConnect();
    void windowsSignInUnderTheKillSwitch_data();
    void windowsSignInUnderTheKillSwitch();
    void logOutEndsEveryConnectionActivity();
    void trayBringsAMinimisedWindowBack_data();
    void trayBringsAMinimisedWindowBack();
    void emailExpression_data();
    void emailExpression();
    void dragging_data();
    void dragging();
    void childWindowDragsTheMainWindowAlong();

private:
    void useDemoService() { demo->exportEndpoints(); }
    void useScriptedServer();
    QString currentPage() const;
    template <typename T> T *child(const char *name) const { return window->findChild<T *>(name); }
    void signIn(const QString &email, const QString &password);
    // The logins the scripted account API has seen, renewals included.
    int loginRequests() const;
    // Settings as a member with "remember" on leaves them; the credential's target is returned
    // for the test to put its own entry there.
    static QByteArray rememberMember(const QString &email);

    std::unique_ptr<DemoService> demo;
    // The home screen probes servers and drives tunnel and firewall tools: fakes only.
    std::unique_ptr<FakePrograms> fakes;
    std::unique_ptr<ScriptedHttpServer> scripted;
    QTemporaryDir configHome;
    std::unique_ptr<MainWindow> window;
};

void TestMainWindow::initTestCase()
{
    initResourceTree();
    runToolsFromPath();
    QVERIFY(configHome.isValid());
    qputenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit());
    qputenv("XDG_DATA_HOME", (configHome.path() + "/data").toLocal8Bit());
    keepRuntimeFilesUnder(configHome);
    qputenv("CORVANE_BRAND_DOMAIN", "corvane.example");
    demo = std::make_unique<DemoService>();
    QVERIFY2(demo->isRunning(), qPrintable(demo->log()));
    QVERIFY2(!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"),
             "run through tests/helpers/with-private-keyring");
}

void TestMainWindow::init()
{
    QSettings(QSettings::NativeFormat, QSettings::UserScope, "Ostrel Limited", "Corvane").clear();
    scripted = std::make_unique<ScriptedHttpServer>();
    fakes = std::make_unique<FakePrograms>();
    useDemoService();
}

void TestMainWindow::cleanup()
{
    Platform::CommandSet::use(Platform::CommandSet::native().kind());
    window.reset();
    scripted.reset();
    fakes.reset();
}

void TestMainWindow::useScriptedServer()
{
    qputenv("CORVANE_ACCOUNT_API_URL", scripted->url("/graphql").toUtf8());
    qputenv("CORVANE_VPN_API_URL", scripted->url().toUtf8());
}

QString TestMainWindow::currentPage() const
{
    return child<QStackedWidget>("stackedWidget")->currentWidget()->objectName();
}

void TestMainWindow::signIn(const QString &email, const QString &password)
{
    QTRY_COMPARE_WITH_TIMEOUT(currentPage(), QStringLiteral("pageLogin"), 5000);
    auto *emailField = child<QLineEdit>("lineEditEmail");
    auto *passwordField = child<QLineEdit>("lineEditPassword");
    emailField->clear();
    passwordField->clear();
    QTest::keyClicks(emailField, email);
    QTest::keyClicks(passwordField, password);
    QTest::mouseClick(child<QPushButton>("pushButtonLogIn"), Qt::LeftButton);
}

int TestMainWindow::loginRequests() const
{
    const auto requests = scripted->requestsTo("/graphql");
    return int(std::count_if(requests.begin(), requests.end(), [](const auto &request) {
        return request.body.contains("memberLogin");
    }));
}

QByteArray TestMainWindow::rememberMember(const QString &email)
{
    AppSettings::setValue(AppSettings::RememberPassword, true);
    AppSettings::setValue(AppSettings::LastEmail, email);
    AppSettings::setValue(AppSettings::CredentialTarget, email);
    return AppSettings::value(AppSettings::CredentialTarget).toByteArray();
}

void TestMainWindow::firstStartShowsLoginWithEmptyFields()
{
    window = std::make_unique<MainWindow>();
    window->show();
    QCOMPARE(currentPage(), QStringLiteral("pageLoading"));
    QTRY_COMPARE_WITH_TIMEOUT(currentPage(), QStringLiteral("pageLogin"), 5000);
    QVERIFY(child<QLineEdit>("lineEditEmail")->text().isEmpty());
    QVERIFY(child<QLineEdit>("lineEditPassword")->text().isEmpty());
    QVERIFY(!window->findChild<LoginForm *>()->isRememberPassword());
}

void TestMainWindow::goodSignInEndsOnTheHomePageWithServersAndFavourites()
{
    window = std::make_unique<MainWindow>();
    window->show();
    signIn("demo@corvane.test", "demo-password");
    QTRY_COMPARE_WITH_TIMEOUT(currentPage(), QStringLiteral("pageMain"), 10000);
    auto *home = window->findChild<MainForm *>();
    QVERIFY(home->servers().size() >= 40);
    const auto sortedFavorites = [home] {
        QVector<int> ids = home->favoriteServers();
        std::sort(ids.begin(), ids.end());
        return ids;
    };
    QTRY_COMPARE_WITH_TIMEOUT(sortedFavorites(), QVector<int>({3, 7}), 5000);
    QCOMPARE(AppSettings::value(AppSettings::LastEmail).toString(),
             QStringLiteral("demo@corvane.test"));
    QCOMPARE(AppSettings::value(AppSettings::RememberPassword).toBool(), false);
}

void TestMainWindow::wrongPasswordShowsTheErrorInTheForm()
{
    window = std::make_unique<MainWindow>();
    window->show();
    signIn("demo@corvane.test", "not-the-password");
    QTRY_VERIFY_WITH_TIMEOUT(child<QLabel>("labelLoginError")->isVisible(), 5000);
    QCOMPARE(currentPage(), QStringLiteral("pageLogin"));
    QCOMPARE(child<QLabel>("labelLoginError")->text(),
             QStringLiteral("Your email / password is incorrect."));
}

void TestMainWindow::inactiveMemberSeesManageAccount()
{
    window = std::make_unique<MainWindow>();
    window->show();
    signIn("inactive@corvane.test", "demo-password");
    QTRY_COMPARE_WITH_TIMEOUT(currentPage(), QStringLiteral("pageMessage"), 5000);
    QCOMPARE(child<QLabel>("labelMessage")->text(),
             QStringLiteral("Your subscription is inactive."));
    QCOMPARE(child<QPushButton>("pushButtonApplyMessage")->text(),
             QStringLiteral("Manage Account"));
}

void TestMainWindow::serviceFailureOffersTryAgainAndStaysSignedIn()
{
    useScriptedServer();
    scripted->script("POST", "/graphql", 200, brandReply);
    scripted->script("POST", "/graphql", 200, activeLogin);
    scripted->script("GET", "/api/client/servers", 503, "{}");
    scripted->script("GET", "/api/client/servers", 200, twoServers);
    window = std::make_unique<MainWindow>();
    window->show();
    signIn("m@example.com", "pw");
    QTRY_COMPARE_WITH_TIMEOUT(currentPage(), QStringLiteral("pageMessage"), 5000);
    QCOMPARE(child<QLabel>("labelMessage")->text(),
             QStringLiteral("503 Service unavailable. Try again later."));
    QCOMPARE(child<QPushButton>("pushButtonApplyMessage")->text(), QStringLiteral("Try again"));
    QTest::mouseClick(child<QPushButton>("pushButtonApplyMessage"), Qt::LeftButton);
    QCOMPARE(currentPage(), QStringLiteral("pageLogin"));

    window->findChild<NetworkManager *>()->requestAllServersData();
    QTRY_COMPARE_WITH_TIMEOUT(currentPage(), QStringLiteral("pageMain"), 5000);
    QCOMPARE(window->findChild<MainForm *>()->servers().size(), 2);
}

void TestMainWindow::afterLogOutALatePingDoneLeavesTheLoginPage()
{
    useScriptedServer();
    scripted->script("POST", "/graphql", 200, brandReply);
    scripted->script("POST", "/graphql", 200, activeLogin);
    scripted->script("POST", "/graphql", 200,
                     R"({"data":{"member":{"info":{"vpn":{"favoriteServers":["2"]}}}}})");
    scripted->script("GET", "/api/client/servers", 200, twoServers);
    window = std::make_unique<MainWindow>();
    window->show();
    signIn("m@example.com", "pw");
    QTRY_COMPARE_WITH_TIMEOUT(currentPage(), QStringLiteral("pageMain"), 5000);
    auto *home = window->findChild<MainForm *>();
    QTRY_COMPARE_WITH_TIMEOUT(home->favoriteServers(), QVector<int>({2}), 5000);

    emit home->logOutClicked();
    QCOMPARE(currentPage(), QStringLiteral("pageLogin"));
    QVERIFY(child<QLineEdit>("lineEditEmail")->text().isEmpty());

    auto *network = window->findChild<NetworkManager *>();
    QSignalSpy servers(network, &NetworkManager::allServersDataReceived);
    QSignalSpy favorites(network, &NetworkManager::favoriteServersIdsReceived);
    network->requestAllServersData();
    network->requestFavoriteServersData();
    QVERIFY(servers.wait(5000));
    QTRY_COMPARE_WITH_TIMEOUT(favorites.count(), 1, 5000);
    QCOMPARE(currentPage(), QStringLiteral("pageLogin"));
    // The service client forgot the member: no later request carries the old token.
    for (const auto &request : scripted->requests().mid(4))
        QVERIFY(!request.headers.value("authorization").contains("t1"));

    // A late latency result leaves the login page where it is.
    emit home->pingDone();
    QCOMPARE(currentPage(), QStringLiteral("pageLogin"));
}

void TestMainWindow::rememberedCredentialSignsInByItself()
{
    const QString email = QStringLiteral("demo@corvane.test");
    QVERIFY(CredentialVault::write(email, "demo-password", rememberMember(email)));
    window = std::make_unique<MainWindow>();
    window->show();
    QTRY_COMPARE_WITH_TIMEOUT(currentPage(), QStringLiteral("pageMain"), 10000);
    QVERIFY(window->findChild<LoginForm *>()->isRememberPassword());
    QString user;
    QString secret;
    QVERIFY(CredentialVault::read(user, secret,
                                  AppSettings::value(AppSettings::CredentialTarget).toByteArray()));
    QCOMPARE(secret, QStringLiteral("demo-password"));
}

void TestMainWindow::rememberOffDeletesTheStoredCredential()
{
    const QString email = QStringLiteral("demo@corvane.test");
    AppSettings::setValue(AppSettings::CredentialTarget, email);
    const QByteArray target = AppSettings::value(AppSettings::CredentialTarget).toByteArray();
    QVERIFY(CredentialVault::write(email, "old-password", target));
    window = std::make_unique<MainWindow>();
    window->show();
    signIn(email, "demo-password");
    QTRY_COMPARE_WITH_TIMEOUT(currentPage(), QStringLiteral("pageMain"), 10000);
    QString user;
    QString secret;
    QVERIFY(!CredentialVault::read(user, secret, target));
    QCOMPARE(AppSettings::value(AppSettings::LastEmail).toString(), email);
    QCOMPARE(AppSettings::value(AppSettings::RememberPassword).toBool(), false);
}

// The remembered member's password fails; a different member signs in with "remember" on.
void TestMainWindow::anotherMembersPasswordDoesNotStay()
{
    const QString previous = QStringLiteral("former@corvane.test");
    const QByteArray previousTarget = rememberMember(previous);
    QVERIFY(CredentialVault::write(previous, "stale-password", previousTarget));
    window = std::make_unique<MainWindow>();
    window->show();
    QTRY_VERIFY_WITH_TIMEOUT(child<QLabel>("labelLoginError")->isVisible(), 10000);
    window->findChild<LoginForm *>()->setRememberPassword(true);
    signIn("demo@corvane.test", "demo-password");
    QTRY_COMPARE_WITH_TIMEOUT(currentPage(), QStringLiteral("pageMain"), 10000);
    QString user;
    QString secret;
    QVERIFY(!CredentialVault::read(user, secret, previousTarget));
    QVERIFY(CredentialVault::read(user, secret,
                                  AppSettings::value(AppSettings::CredentialTarget).toByteArray()));
    QCOMPARE(user, QStringLiteral("demo@corvane.test"));
}

// An entry this program cannot have written: the login page with the e-mail, "remember" off,
// no error, and the entry gone.
void TestMainWindow::damagedSecretIsNoPassword()
{
    const QString email = QStringLiteral("demo@corvane.test");
    const QByteArray target = rememberMember(email);
    QVERIFY(Platform::storeCredential(target, {"not*base64!", "/w"}));
    window = std::make_unique<MainWindow>();
    window->show();
    QTRY_COMPARE_WITH_TIMEOUT(currentPage(), QStringLiteral("pageLogin"), 10000);
    QCOMPARE(child<QLineEdit>("lineEditEmail")->text(), email);
    QVERIFY(child<QLineEdit>("lineEditPassword")->text().isEmpty());
    QVERIFY(!window->findChild<LoginForm *>()->isRememberPassword());
    QVERIFY(!child<QLabel>("labelLoginError")->isVisible());
    Platform::StoredCredential left;
    QVERIFY(!Platform::loadCredential(target, left));
    QCOMPARE(AppSettings::value(AppSettings::RememberPassword).toBool(), false);
}

// No keyring to keep the password: the member reads it under the switch.
void TestMainWindow::keyringThatKeepsNothingIsSaid()
{
    const QByteArray bus = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("XDG_RUNTIME_DIR", configHome.path().toLocal8Bit());
    window = std::make_unique<MainWindow>();
    window->show();
    QTRY_COMPARE_WITH_TIMEOUT(currentPage(), QStringLiteral("pageLogin"), 10000);
    auto *problem = child<QLabel>("labelRememberProblem");
    QVERIFY(problem->isHidden());
    window->findChild<LoginForm *>()->setRememberPassword(true);
    signIn("demo@corvane.test", "demo-password");
    QTRY_COMPARE_WITH_TIMEOUT(currentPage(), QStringLiteral("pageMain"), 10000);
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus);
    qputenv("XDG_RUNTIME_DIR", runtime);
    QVERIFY(!problem->isHidden());
    QCOMPARE(problem->text(), QStringLiteral("The password could not be kept in the keyring."));
    QCOMPARE(AppSettings::value(AppSettings::RememberPassword).toBool(), false);
}

void TestMainWindow::unsupportedLanguageIsMendedToEnglish()
{
    AppSettings::setValue(AppSettings::Language, 7);
    window = std::make_unique<MainWindow>();
    QTRY_COMPARE_WITH_TIMEOUT(AppSettings::value(AppSettings::Language).toInt(), 0, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(currentPage(), QStringLiteral("pageLogin"), 5000);
    QCOMPARE(child<QPushButton>("pushButtonLogIn")->text(), QStringLiteral("LOGIN"));

    window.reset();
    AppSettings::setValue(AppSettings::Language, 5);
    window = std::make_unique<MainWindow>();
    QTRY_COMPARE_WITH_TIMEOUT(child<QPushButton>("pushButtonLogIn")->text(),
                              QStringLiteral("CONNEXION"), 5000);
    QCOMPARE(AppSettings::value(AppSettings::Language).toInt(), 5);
}

void TestMainWindow::brandFailureAtStartUpOffersARetry_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("retry");
    QTest::newRow("English") << 0 << "Service unavailable. Try again later."
                             << "Try again";
    QTest::newRow("French") << 5 << "Service indisponible. Réessayez plus tard."
                            << "Réessayer";
    QTest::newRow("Spanish") << 3 << "Servicio no disponible. Inténtalo más tarde."
                             << "Intentar de nuevo";
}

// A start-up that cannot resolve the brand shows the message page, in the member's language;
// its button tries again.
void TestMainWindow::brandFailureAtStartUpOffersARetry()
{
    QFETCH(int, language);
    AppSettings::setValue(AppSettings::Language, language);
    useScriptedServer();
    scripted->script("POST", "/graphql", 200, R"({"data":{"brandByDomain":{"id":""}}})");
    scripted->script("POST", "/graphql", 200, brandReply);
    scripted->script("POST", "/graphql", 200, activeLogin);
    scripted->script("GET", "/api/client/servers", 200, twoServers);
    window = std::make_unique<MainWindow>();
    window->show();
    QTRY_COMPARE_WITH_TIMEOUT(currentPage(), QStringLiteral("pageMessage"), 5000);
    QTEST(child<QLabel>("labelMessage")->text(), "message");
    auto *retry = child<QPushButton>("pushButtonApplyMessage");
    QTEST(retry->text(), "retry");
    QTest::mouseClick(retry, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(currentPage(), QStringLiteral("pageLogin"), 5000);
    signIn("m@example.com", "pw");
    QTRY_COMPARE_WITH_TIMEOUT(currentPage(), QStringLiteral("pageMain"), 5000);
    const auto requests = scripted->requestsTo("/graphql");
    QVERIFY(requests.at(1).body.contains("brandByDomain"));
    QVERIFY(requests.at(2).body.contains("memberLogin"));
}

// Latency results, the first sweep's and the periodic refresh's, never move the member.
void TestMainWindow::latencySweepsLeaveOpenPagesOpen()
{
    useScriptedServer();
    scripted->script("POST", "/graphql", 200, brandReply);
    scripted->script("POST", "/graphql", 200, activeLogin);
    scripted->script("GET", "/api/client/servers", 200, twoServers);
    fakes->script("ping", "STDOUT", "rtt min/avg/max/mdev = 1/2/3/1 ms\n");
    AppSettings::setSwitchState(AppSettings::TrayIcon, true);
    window = std::make_unique<MainWindow>();
    window->show();
    auto *home = window->findChild<MainForm *>();
    home->setLatencyRefreshInterval(150);
    signIn("m@example.com", "pw");
    QTRY_COMPARE_WITH_TIMEOUT(currentPage(), QStringLiteral("pageMain"), 5000);
    QVERIFY(QMetaObject::invokeMethod(home, "on_pushButtonExploreLocations_clicked"));
    auto *servers = window->findChild<ServersWindow *>();
    QVERIFY(servers->isVisible());
    auto *tray = window->findChild<QSystemTrayIcon *>();
    QSignalSpy sweeps(home, &MainForm::pingDone);
    QTRY_VERIFY_WITH_TIMEOUT(sweeps.count() >= 3, 5000);
    QVERIFY(servers->isVisible());
    QCOMPARE(currentPage(), QStringLiteral("pageMain"));
    QVERIFY(tray->isVisible());
    AppSettings::setSwitchState(AppSettings::TrayIcon, false);
}

// The VPN API refuses an expired token: the sign-in is renewed once and the same server asked
// again; no fallback.
void TestMainWindow::expiredTokenOnConnectIsRenewedOnce()
{
    // Long enough for a sign-in and a renewal's retried connect on a loaded machine, short
    // enough to wait out once.
    DemoService shortLived({"--token-lifetime-seconds", "5"});
    QVERIFY2(shortLived.isRunning(), qPrintable(shortLived.log()));
    shortLived.exportEndpoints();
    window = std::make_unique<MainWindow>();
    window->show();
    signIn("demo@corvane.test", "demo-password");
    QTRY_COMPARE_WITH_TIMEOUT(currentPage(), QStringLiteral("pageMain"), 10000);
    auto *home = window->findChild<MainForm *>();
    const QString chosen = home->selectedServer().serverIp;
    auto *button = child<QPushButton>("pushButtonChangeConnectionState");
    QTRY_VERIFY_WITH_TIMEOUT(button->isEnabled(), 5000);
    QTest::qWait(5200);
    QTest::mouseClick(button, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(home->tunnel()->connectionState(), int(ConnectionState::Connected),
                              10000);
    const QString log = shortLived.log();
    QCOMPARE(log.count("POST /api/client/connect 401"), 1);
    QCOMPARE(log.count("POST /api/client/connect 200"), 1);
    QCOMPARE(home->selectedServer().serverIp, chosen);
    useDemoService();
}

void TestMainWindow::startedHiddenLivesInTheTray_data()
{
    QTest::addColumn<bool>("trayIcon");
    QTest::addColumn<bool>("remembered");
    QTest::addColumn<QString>("page");
    QTest::addColumn<bool>("windowShown");
    QTest::newRow("signed in by itself") << true << true << "pageMain" << false;
    QTest::newRow("the login page needs the member") << true << false << "pageLogin" << true;
    QTest::newRow("no tray icon to live in") << false << true << "pageMain" << true;
}

void TestMainWindow::startedHiddenLivesInTheTray()
{
    QFETCH(bool, trayIcon);
    QFETCH(bool, remembered);
    const QString email = QStringLiteral("demo@corvane.test");
    AppSettings::setSwitchState(AppSettings::TrayIcon, trayIcon);
    if (remembered)
        QVERIFY(CredentialVault::write(email, "demo-password", rememberMember(email)));
    window = std::make_unique<MainWindow>();
    window->start(true);
    auto *tray = window->findChild<QSystemTrayIcon *>();
    QCOMPARE(tray->isVisible(), trayIcon);
    QFETCH(QString, page);
    QTRY_COMPARE_WITH_TIMEOUT(currentPage(), page, 10000);
    QTEST(window->isVisible(), "windowShown");
    QCOMPARE(tray->isVisible(), trayIcon && page == "pageMain");
    AppSettings::setSwitchState(AppSettings::TrayIcon, false);
}

// A whole session through the demo service, with the member whose password has every character
// that needs escaping and a real configuration: the log has the session's lines and no secret.
void TestMainWindow::diagnosticLogHoldsNoSecret()
{
    QTemporaryDir logFolder;
    const QString path = logFolder.filePath("corvane.log");
    DiagnosticLog::install(path);
    const QString email = QStringLiteral("quotes@corvane.test");
    const QString password = QStringLiteral("Tricky \"quote\" \\ tab\tnew\nline");
    window = std::make_unique<MainWindow>();
    window->show();
    QTRY_COMPARE_WITH_TIMEOUT(currentPage(), QStringLiteral("pageLogin"), 10000);
    auto *login = window->findChild<LoginForm *>();
    login->setCredentials(email, password);
    QSignalSpy configs(window->findChild<NetworkManager *>(), &NetworkManager::vpnConfigReceived);
    emit login->logInClicked(email, password);
    QTRY_COMPARE_WITH_TIMEOUT(currentPage(), QStringLiteral("pageMain"), 10000);
    auto *home = window->findChild<MainForm *>();
    auto *button = child<QPushButton>("pushButtonChangeConnectionState");
    QTRY_VERIFY_WITH_TIMEOUT(button->isEnabled(), 5000);
    QTest::mouseClick(button, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(home->tunnel()->connectionState(), int(ConnectionState::Connected),
                              10000);
    QTest::mouseClick(button, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(home->tunnel()->connectionState(), int(ConnectionState::Disconnected),
                              10000);
    QVERIFY(QMetaObject::invokeMethod(home, "logOut"));
    QVERIFY(window->close());
    DiagnosticLog::uninstall();

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString log = QString::fromUtf8(file.readAll());
    QVERIFY2(log.contains("Brand ID resolved"), qPrintable(log));
    // What support asks about: one line each.
    for (const char *event : {"Signing in", "Connecting to server", "WireGuard tunnel is up",
                              "Disconnecting at the member's request", "Signed out", "Quitting"})
        QVERIFY2(log.count(QLatin1String(event)) == 1, event);
    QVERIFY(!log.contains("Tricky"));
    QVERIFY(!log.contains("Bearer"));
    QCOMPARE(configs.count(), 1);
    const QString config = QString::fromUtf8(configs.first().at(0).toByteArray());
    const QRegularExpression privateKey("PrivateKey\\s*=\\s*(\\S+)");
    const QString key = privateKey.match(config).captured(1);
    QVERIFY(key.size() == 44);
    QVERIFY(!log.contains(key));
}

// The running copy lives in the tray; a second launch's request shows and activates its window.
void TestMainWindow::secondLaunchBringsTheWindowUp()
{
    QTemporaryDir runtime;
    const QByteArray previousRuntime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    AppSettings::setSwitchState(AppSettings::TrayIcon, true);
    window = std::make_unique<MainWindow>();
    ActivationChannel channel;
    connect(&channel, &ActivationChannel::showRequested, window.get(), &MainWindow::bringToFront);
    window->start(true);
    QVERIFY(!window->isVisible());
    QVERIFY(ActivationChannel::askRunningInstanceToShow());
    QTRY_VERIFY_WITH_TIMEOUT(window->isVisible(), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(window->isActiveWindow(), 5000);
    AppSettings::setSwitchState(AppSettings::TrayIcon, false);
    qputenv("XDG_RUNTIME_DIR", previousRuntime);
}

void TestMainWindow::notificationsGoToTheDesktopService_data()
{
    QTest::addColumn<bool>("notifications");
    QTest::newRow("switch on") << true;
    QTest::newRow("switch off") << false;
}

// With a notification service on the session bus, each state change is one Notify call with
// the tray's text; with the switch off, none.
void TestMainWindow::notificationsGoToTheDesktopService()
{
    QFETCH(bool, notifications);
    NotificationDaemon daemon;
    QVERIFY(daemon.isServing());
    AppSettings::setSwitchState(AppSettings::Notifications, notifications);
    window = std::make_unique<MainWindow>();
    auto *home = window->findChild<MainForm *>();
    emit home->changeTrayIconState(true);
    ServerData oslo;
    oslo.name = "Oslo";
    emit home->currentServerChoosed(oslo);
    emit home->connectionStateChanged(2);
    emit home->connectionStateChanged(0);
    QTest::qWait(300);
    AppSettings::setSwitchState(AppSettings::Notifications, false);
    if (!notifications) {
        QVERIFY(daemon.calls.isEmpty());
        return;
    }
    QCOMPARE(daemon.calls.size(), 2);
    QCOMPARE(daemon.calls.at(0).body, QStringLiteral("Connecting to Oslo"));
    QCOMPARE(daemon.calls.at(1).body, QStringLiteral("Connected to Oslo"));
    QCOMPARE(daemon.calls.at(1).summary, QStringLiteral("Corvane"));
    QCOMPARE(daemon.calls.at(1).icon, QStringLiteral("org.corvane.Corvane"));
}

void TestMainWindow::tokenIsRenewedWhileTheHomePageIsShown()
{
    useScriptedServer();
    scripted->script("POST", "/graphql", 200, brandReply);
    scripted->script("POST", "/graphql", 200, activeLogin);
    scripted->script("GET", "/api/client/servers", 200, twoServers);
    window = std::make_unique<MainWindow>();
    window->setJwtRefreshInterval(1000);
    window->show();
    // Both servers' latency results arrive before the log-out: a late one would show the home
    // page again, and with it restart the renewal.
    QSignalSpy sweep(window->findChild<MainForm *>(), &MainForm::pingDone);
    signIn("m@example.com", "pw");
    QTRY_COMPARE_WITH_TIMEOUT(currentPage(), QStringLiteral("pageMain"), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(sweep.count(), 2, 5000);
    QCOMPARE(loginRequests(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(loginRequests() >= 2, 5000);
    // The renewed login reloads the list and sweeps again; log out once that has settled.
    QTRY_COMPARE_WITH_TIMEOUT(sweep.count(), 4, 5000);
    emit window->findChild<MainForm *>()->logOutClicked();
    // What the client sends from now on, not what the server receives: a renewal sent just
    // before the log-out may still be on its way.
    QSignalSpy loginsAfterLogOut(window.get(), &MainWindow::requestLoginData);
    // A late latency result does not bring the home page back, nor any renewal.
    emit window->findChild<MainForm *>()->pingDone();
    QCOMPARE(currentPage(), QStringLiteral("pageLogin"));
    QTest::qWait(1300);
    QCOMPARE(loginsAfterLogOut.count(), 0);
}

void TestMainWindow::trayMenuFollowsTheState_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("connectText");
    QTest::addColumn<bool>("connectEnabled");
    QTest::newRow("Connected") << 0 << "Connected to Oslo"
                               << "Disconnect" << true;
    QTest::newRow("Disconnected") << 1 << "Oslo"
                                  << "Connect" << true;
    QTest::newRow("Connecting") << 2 << "Oslo"
                                << "Connecting..." << false;
    QTest::newRow("Disconnecting") << 3 << "Oslo"
                                   << "Disconnecting..." << false;
    QTest::newRow("Error") << 4 << "Oslo"
                           << "Connect" << true;
}

void TestMainWindow::trayMenuFollowsTheState()
{
    QFETCH(int, state);
    window = std::make_unique<MainWindow>();
    auto *home = window->findChild<MainForm *>();
    auto *tray = window->findChild<QSystemTrayIcon *>();
    // "Close application" stands until the stored language is applied after the brand lookup.
    QCOMPARE(tray->contextMenu()->actions().at(4)->text(), QStringLiteral("Close application"));
    QTRY_COMPARE_WITH_TIMEOUT(tray->contextMenu()->actions().at(4)->text(), QStringLiteral("Exit"),
                              5000);
    ServerData oslo;
    oslo.name = "Oslo";
    emit home->currentServerChoosed(oslo);
    emit home->connectionStateChanged(state);
    const QList<QAction *> actions = tray->contextMenu()->actions();
    QCOMPARE(actions.size(), 5);
    QTEST(actions.at(0)->text(), "status");
    QVERIFY(!actions.at(0)->isEnabled());
    QTEST(actions.at(1)->text(), "connectText");
    QTEST(actions.at(1)->isEnabled(), "connectEnabled");
    QVERIFY(actions.at(2)->isSeparator());
    QCOMPARE(actions.at(3)->text(), QStringLiteral("Show"));
    QCOMPARE(actions.at(4)->text(), QStringLiteral("Exit"));
}

void TestMainWindow::closingHidesToTheTrayOnlyWithTheIconShown()
{
    window = std::make_unique<MainWindow>();
    window->show();
    auto *home = window->findChild<MainForm *>();
    emit home->changeTrayIconState(true);
    QVERIFY(!window->close());
    QVERIFY(!window->isVisible());
    window->show();
    emit home->changeTrayIconState(false);
    QVERIFY(window->close());
}

// The frameless window's own controls are reachable on every page, also over the page windows.
void TestMainWindow::windowControlsStayOnTopOfEveryPage()
{
    window = std::make_unique<MainWindow>();
    window->show();
    const auto controlsOnTop = [this] {
        for (const char *name : {"pushButtonMinimize", "pushButtonClose"}) {
            auto *control = child<QPushButton>(name);
            const QPoint centre = control->mapTo(window.get(), control->rect().center());
            if (window->childAt(centre) != control)
                return false;
        }
        return true;
    };
    QVERIFY(controlsOnTop());
    signIn("demo@corvane.test", "demo-password");
    QTRY_COMPARE_WITH_TIMEOUT(currentPage(), QStringLiteral("pageMain"), 10000);
    QVERIFY(controlsOnTop());
    auto *home = window->findChild<MainForm *>();
    for (const char *opener :
         {"on_pushButtonExploreLocations_clicked", "on_pushButtonSettingsNav_clicked",
          "on_pushButtonAccountNav_clicked"}) {
        QVERIFY(QMetaObject::invokeMethod(home, opener));
        QVERIFY2(controlsOnTop(), opener);
    }
    QCOMPARE(child<QPushButton>("pushButtonClose")->toolTip(), QStringLiteral("Close"));
}

void TestMainWindow::windowControlsMinimizeAndClose_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<bool>("trayIcon");
    QTest::addColumn<QString>("outcome");
    QTest::newRow("minimise") << "pushButtonMinimize" << false << "minimised";
    QTest::newRow("close, tray icon shown") << "pushButtonClose" << true << "hidden to the tray";
    QTest::newRow("close, no tray icon") << "pushButtonClose" << false << "closed";
}

void TestMainWindow::windowControlsMinimizeAndClose()
{
    QFETCH(QString, control);
    QFETCH(bool, trayIcon);
    QFETCH(QString, outcome);
    window = std::make_unique<MainWindow>();
    window->show();
    emit window->findChild<MainForm *>()->changeTrayIconState(trayIcon);
    QSignalSpy destroyed(window.get(), &QObject::destroyed);
    window->setAttribute(Qt::WA_DeleteOnClose);
    QTest::mouseClick(child<QPushButton>(qPrintable(control)), Qt::LeftButton);
    if (outcome == "closed") {
        QTRY_COMPARE(destroyed.count(), 1);
        window.release();
        return;
    }
    QCOMPARE(destroyed.count(), 0);
    QCOMPARE(window->isMinimized(), outcome == "minimised");
    QCOMPARE(window->isVisible(), outcome == "minimised");
}

void TestMainWindow::staleTunnel_data()
{
    QTest::addColumn<QString>("outcome");
    QTest::newRow("stale on: the next server by latency") << "switched";
    QTest::newRow("handshakes again: protected") << "recovered";
}

// Sending into a session with no handshake for more than 180 s shows the connection unstable in
// the pill and the tray; staying so moves it once to the fastest other server with a
// notification, the member's choice stays; a new handshake clears it.
void TestMainWindow::staleTunnel()
{
    QFETCH(QString, outcome);
    useScriptedServer();
    scripted->script("POST", "/graphql", 200, brandReply);
    scripted->script("POST", "/graphql", 200, activeLogin);
    scripted->script("GET", "/api/client/servers", 200, threeServers);
    const QByteArray configReply = connectReply();
    scripted->script("POST", "/api/client/connect", 200, configReply);
    scripted->script("POST", "/api/client/disconnect", 200, R"({"status":"success"})");
    scripted->script("POST", "/api/client/connect", 200, configReply);
    for (const auto &[host, rtt] :
         {std::pair{"127_0_1_1", 10}, {"127_0_1_2", 50}, {"127_0_1_3", 30}})
        fakes->script("ping", QStringLiteral("STDOUT_FOR_%1").arg(host),
                      QStringLiteral("rtt min/avg/max/mdev = %1/%1/%1/0 ms\n").arg(rtt));
    NotificationDaemon daemon;
    QVERIFY(daemon.isServing());
    AppSettings::setSwitchState(AppSettings::Notifications, true);
    AppSettings::setSwitchState(AppSettings::TrayIcon, true);

    window = std::make_unique<MainWindow>();
    window->show();
    auto *home = window->findChild<MainForm *>();
    QSignalSpy sweep(home, &MainForm::pingDone);
    signIn("m@example.com", "pw");
    QTRY_COMPARE_WITH_TIMEOUT(currentPage(), QStringLiteral("pageMain"), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(sweep.count() >= 1, 5000);
    VpnManager::Timings timings;
    timings.statusPollMs = 50;
    timings.staleGiveUpMs = outcome == "switched" ? 500 : 3600000;
    home->tunnel()->setTimings(timings);
    auto *button = child<QPushButton>("pushButtonChangeConnectionState");
    QTRY_VERIFY_WITH_TIMEOUT(button->isEnabled(), 5000);
    QTest::mouseClick(button, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(home->tunnel()->connectionState(), int(ConnectionState::Connected),
                              10000);

    // Packets go out, nothing comes back, and the newest handshake is 200 s old.
    quint64 sent = 0;
    QTimer sending;
    connect(&sending, &QTimer::timeout, this, [&] {
        sent += 1000;
        fakes->script("wg", "STDOUT_FOR_TRANSFER", QStringLiteral("k\t500\t%1\n").arg(sent));
    });
    sending.start(10);
    fakes->script("wg", "STDOUT_FOR_LATEST_HANDSHAKES",
                  QStringLiteral("k\t%1\n").arg(QDateTime::currentSecsSinceEpoch() - 200));
    QSignalSpy requests(home, &MainForm::requestVpnConnect);
    auto *pill = child<QLabel>("labelStatusPillText");
    auto *tray = window->findChild<QSystemTrayIcon *>();
    QTRY_COMPARE_WITH_TIMEOUT(pill->text(), QStringLiteral("Connection unstable"), 5000);
    QCOMPARE(tray->contextMenu()->actions().at(0)->text(), QStringLiteral("Connection unstable"));
    QCOMPARE(home->tunnel()->connectionState(), int(ConnectionState::Connected));
    QCOMPARE(tray->contextMenu()->actions().at(1)->text(), QStringLiteral("Disconnect"));

    if (outcome == "recovered") {
        // A new language keeps the warning, in that language.
        auto *languages = window->findChild<LanguageManager *>();
        languages->languageChanged(Translation::French);
        QCOMPARE(pill->text(), QStringLiteral("Connexion instable"));
        languages->languageChanged(Translation::English);
        QCOMPARE(pill->text(), QStringLiteral("Connection unstable"));
        fakes->script("wg", "STDOUT_FOR_LATEST_HANDSHAKES",
                      QStringLiteral("k\t%1\n").arg(QDateTime::currentSecsSinceEpoch()));
        QTRY_COMPARE_WITH_TIMEOUT(pill->text(), QStringLiteral("Protected"), 5000);
        QCOMPARE(tray->contextMenu()->actions().at(0)->text(), QStringLiteral("Connected to Oslo"));
        QCOMPARE(requests.count(), 0);
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(requests.count(), 1, 5000);
        QCOMPARE(requests.first().at(0).toString(), QStringLiteral("127.0.1.3"));
        // The new server answers.
        sending.stop();
        fakes->script("wg", "STDOUT_FOR_LATEST_HANDSHAKES",
                      QStringLiteral("k\t%1\n").arg(QDateTime::currentSecsSinceEpoch()));
        QTRY_COMPARE_WITH_TIMEOUT(home->tunnel()->connectionState(),
                                  int(ConnectionState::Connected), 10000);
        QTest::qWait(200);
        QCOMPARE(requests.count(), 1);
        QCOMPARE(AppSettings::value(AppSettings::LastServerId).toInt(), 1);
        QVERIFY(std::any_of(daemon.calls.begin(), daemon.calls.end(), [](const auto &call) {
            return call.body == QStringLiteral("Oslo stopped answering: connecting to Bern");
        }));
    }
}

// With the switch on the block is never lifted on Linux: not for the login page, the sign-in or
// a token renewal; while connected only the tunnel carries traffic; an explicit quit removes the
// tunnel, tells the service and lifts the block.
void TestMainWindow::killSwitchHoldsFromStartToQuit()
{
    useScriptedServer();
    scripted->script("POST", "/graphql", 200, brandReply);
    scripted->script("POST", "/graphql", 200, activeLogin);
    scripted->script("GET", "/api/client/servers", 200, twoServers);
    scripted->script("POST", "/api/client/connect", 200, connectReply());
    scripted->script("POST", "/api/client/disconnect", 200, R"({"status":"success"})");
    AppSettings::setSwitchState(AppSettings::KillSwitch, true);
    const auto nftCalls = [this] { return fakes->calls().filter(QRegularExpression("^nft\t")); };
    const auto lifts = [&] { return nftCalls().filter("VPNKillSwitchAllow").size(); };

    window = std::make_unique<MainWindow>();
    window->setJwtRefreshInterval(1000);
    window->setQuitNoticeTimeout(3000);
    window->show();
    auto *home = window->findChild<MainForm *>();
    QCOMPARE(nftCalls().size(), 1);
    QVERIFY(nftCalls().first().contains("policy drop;"));
    signIn("m@example.com", "pw");
    QTRY_COMPARE_WITH_TIMEOUT(currentPage(), QStringLiteral("pageMain"), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(loginRequests() >= 2, 5000);
    QCOMPARE(lifts(), 0);
    QVERIFY(home->tunnel()->isKillSwitchActive());

    auto *button = window->findChild<QPushButton *>("pushButtonChangeConnectionState");
    QTRY_VERIFY_WITH_TIMEOUT(button->isEnabled(), 5000);
    QTest::mouseClick(button, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(home->tunnel()->connectionState(), int(ConnectionState::Connected),
                              5000);
    QCOMPARE(lifts(), 0);
    QVERIFY(nftCalls().last().contains("oifname \"vpn_wg0\" accept"));
    for (const QString &call : nftCalls()) {
        for (const QString &line : call.split("\\n")) {
            if (line.contains("dport 53"))
                QVERIFY2(line.contains(" daddr "), qPrintable(line));
        }
    }

    const QString configFile = home->tunnel()->configFilePath();
    QVERIFY(QFile::exists(configFile));
    const int callsBefore = fakes->calls().size();
    window->findChild<QSystemTrayIcon *>()->hide();
    QVERIFY(window->close());
    const QStringList atQuit = fakes->calls().mid(callsBefore);
    QCOMPARE(atQuit.size(), 2);
    QVERIFY(atQuit.first().startsWith("wg-quick\tdown\t"));
    QVERIFY(atQuit.last().contains("VPNKillSwitchAllow"));
    QVERIFY(!QFile::exists(configFile));
    QCOMPARE(scripted->requestsTo("/api/client/disconnect").size(), 1);
}

// The firewall refuses the block: the card says so, a notification goes out, and a connect with
// the switch on ends in an error before anything is asked; with the switch off it goes ahead.
void TestMainWindow::aBlockThatFailsIsSaidAndStopsTheConnect()
{
    useScriptedServer();
    scripted->script("POST", "/graphql", 200, brandReply);
    scripted->script("POST", "/graphql", 200, activeLogin);
    scripted->script("GET", "/api/client/servers", 200, twoServers);
    scripted->script("POST", "/api/client/connect", 200, connectReply());
    fakes->script("nft", "EXIT", "1");
    fakes->script("nft", "STDERR", "Error: Could not process rule: Operation not permitted\n");
    NotificationDaemon daemon;
    QVERIFY(daemon.isServing());
    AppSettings::setSwitchState(AppSettings::Notifications, true);
    AppSettings::setSwitchState(AppSettings::KillSwitch, true);

    window = std::make_unique<MainWindow>();
    window->show();
    auto *home = window->findChild<MainForm *>();
    auto *caption = child<QLabel>("labelKillSwitchCaption");
    const QString notInForce = QStringLiteral("Block not in force: the firewall refused it");
    QCOMPARE(caption->text(), notInForce);
    QCOMPARE(home->tunnel()->killSwitchFault(), VpnManager::KillSwitchFault::FirewallRefused);
    QTRY_VERIFY_WITH_TIMEOUT(std::any_of(daemon.calls.begin(), daemon.calls.end(),
                                         [&](const auto &call) { return call.body == notInForce; }),
                             5000);

    signIn("m@example.com", "pw");
    QTRY_COMPARE_WITH_TIMEOUT(currentPage(), QStringLiteral("pageMain"), 5000);
    auto *button = child<QPushButton>("pushButtonChangeConnectionState");
    QTRY_VERIFY_WITH_TIMEOUT(button->isEnabled(), 5000);
    QTest::mouseClick(button, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(child<QLabel>("labelStatusPillText")->text(),
                              QStringLiteral("Connection Error"), 5000);
    QVERIFY(scripted->requestsTo("/api/client/connect").isEmpty());
    QVERIFY(fakes->calls().filter("wg-quick").filter("\tup\t").isEmpty());

    QTest::mouseClick(child<QPushButton>("pushButtonKillSwitch"), Qt::LeftButton);
    QCOMPARE(caption->text(), QStringLiteral("STOP TRAFFIC IF VPN DROPS"));
    QTRY_VERIFY_WITH_TIMEOUT(button->isEnabled(), 5000);
    QTest::mouseClick(button, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(home->tunnel()->connectionState(), int(ConnectionState::Connected),
                              5000);
}

void TestMainWindow::windowsSignInUnderTheKillSwitch_data()
{
    QTest::addColumn<bool>("goodPassword");
    QTest::newRow("signed in") << true;
    QTest::newRow("wrong password") << false;
}

// The Windows block stops every outbound request, the client's own too. With the switch on, the
// whole sign-in (brand, login, server list, favourites) runs with the block lifted; the block is
// back once it ends, well or not; a connect lifts it again. The scripted service answers only
// while the fake netsh's last word was not the block.
void TestMainWindow::windowsSignInUnderTheKillSwitch()
{
    QFETCH(bool, goodPassword);
    Platform::CommandSet::use(Platform::CommandSet::Kind::Windows);
    useScriptedServer();
    scripted->script("POST", "/graphql", 200, brandReply);
    scripted->script("POST", "/graphql", 200,
                     goodPassword ? QByteArray(activeLogin)
                                  : QByteArray(R"({"errors":[{"message":"bad"}],"data":null})"));
    scripted->script("POST", "/graphql", 200,
                     R"({"data":{"member":{"info":{"vpn":{"favoriteServers":["2"]}}}}})");
    scripted->script("GET", "/api/client/servers", 200, twoServers);
    scripted->script("POST", "/api/client/connect", 200, connectReply());
    AppSettings::setSwitchState(AppSettings::KillSwitch, true);
    FakePrograms *tools = fakes.get();
    const auto blockInForce = [tools] {
        const QStringList netsh = tools->calls().filter(QRegularExpression("^netsh\t"));
        return !netsh.isEmpty() && netsh.last().contains("\tadd\t");
    };
    scripted->setBlocked(blockInForce);

    window = std::make_unique<MainWindow>();
    window->show();
    auto *home = window->findChild<MainForm *>();
    signIn("m@example.com", "pw");
    if (!goodPassword) {
        QTRY_VERIFY_WITH_TIMEOUT(child<QLabel>("labelLoginError")->isVisible(), 5000);
        QCOMPARE(currentPage(), QStringLiteral("pageLogin"));
        QVERIFY(scripted->blockedRequests().isEmpty());
        QVERIFY(blockInForce());
        QVERIFY(home->tunnel()->isKillSwitchActive());
        return;
    }
    QTRY_COMPARE_WITH_TIMEOUT(currentPage(), QStringLiteral("pageMain"), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(home->favoriteServers(), QVector<int>{2}, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(blockInForce(), 5000);
    QVERIFY(home->tunnel()->isKillSwitchActive());
    QVERIFY(scripted->blockedRequests().isEmpty());
    QCOMPARE(scripted->requestsTo("/api/client/servers").size(), 1);

    auto *button = child<QPushButton>("pushButtonChangeConnectionState");
    QTRY_VERIFY_WITH_TIMEOUT(button->isEnabled(), 5000);
    QTest::mouseClick(button, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(home->tunnel()->connectionState(), int(ConnectionState::Connected),
                              5000);
    QVERIFY(scripted->blockedRequests().isEmpty());
    QVERIFY(!blockInForce());
    QVERIFY(fakes->calls()
                .filter(QRegularExpression("^wireguard.exe\t/installtunnelservice\t"))
                .size() == 1);
}

// After log-out nothing is sent, swept or connected until the next sign-in: not when the network
// returns, not for a renewal answered late, not on waking; the next member's sign-in connects
// nothing by itself.
void TestMainWindow::logOutEndsEveryConnectionActivity()
{
    useScriptedServer();
    scripted->script("POST", "/graphql", 200, brandReply);
    scripted->script("POST", "/graphql", 200, activeLogin);
    scripted->script("POST", "/graphql", 200, activeLogin);
    ScriptedHttpServer::Reply lateRenewal;
    lateRenewal.body = activeLogin;
    lateRenewal.delayMs = 400;
    scripted->script("POST", "/graphql", lateRenewal);
    scripted->script("POST", "/graphql", 200, activeLogin);
    scripted->script("GET", "/api/client/servers", 200, twoServers);
    scripted->script("POST", "/api/client/connect", 401, R"({"error":"jwt expired"})");

    window = std::make_unique<MainWindow>();
    window->show();
    auto *home = window->findChild<MainForm *>();
    auto *network = window->findChild<NetworkMonitor *>();
    auto *sleep = window->findChild<SleepMonitor *>();
    QVERIFY(network && sleep);
    signIn("m@example.com", "pw");
    QTRY_COMPARE_WITH_TIMEOUT(currentPage(), QStringLiteral("pageMain"), 5000);
    auto *button = child<QPushButton>("pushButtonChangeConnectionState");
    QTRY_VERIFY_WITH_TIMEOUT(button->isEnabled(), 5000);
    QTest::mouseClick(button, Qt::LeftButton);
    // The connect is refused for the token; its renewal is on the way when the network goes.
    QTRY_COMPARE_WITH_TIMEOUT(loginRequests(), 2, 5000);
    emit network->onlineChanged(false);
    QVERIFY(QMetaObject::invokeMethod(home, "logOut"));
    QCOMPARE(currentPage(), QStringLiteral("pageLogin"));

    QSignalSpy sweeps(home, &MainForm::requestPings);
    QSignalSpy connects(home, &MainForm::requestVpnConnect);
    QTest::qWait(800);
    emit network->onlineChanged(true);
    emit network->routeChanged();
    emit sleep->resumed();
    QTest::qWait(200);
    QCOMPARE(connects.count(), 0);
    QCOMPARE(sweeps.count(), 0);
    QCOMPARE(scripted->requestsTo("/api/client/connect").size(), 1);
    QCOMPARE(currentPage(), QStringLiteral("pageLogin"));

    signIn("other@example.com", "pw2");
    QTRY_COMPARE_WITH_TIMEOUT(currentPage(), QStringLiteral("pageMain"), 5000);
    QTest::qWait(300);
    QCOMPARE(connects.count(), 0);
    QCOMPARE(scripted->requestsTo("/api/client/connect").size(), 1);
}

void TestMainWindow::trayBringsAMinimisedWindowBack_data()
{
    QTest::addColumn<bool>("fromMenu");
    QTest::newRow("Show entry") << true;
    QTest::newRow("double-click") << false;
}

void TestMainWindow::trayBringsAMinimisedWindowBack()
{
    QFETCH(bool, fromMenu);
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    window->showMinimized();
    QTRY_VERIFY_WITH_TIMEOUT(window->windowState() & Qt::WindowMinimized, 5000);
    auto *tray = window->findChild<QSystemTrayIcon *>();
    if (fromMenu)
        tray->contextMenu()->actions().at(3)->trigger();
    else
        emit tray->activated(QSystemTrayIcon::DoubleClick);
    QTRY_VERIFY_WITH_TIMEOUT(!(window->windowState() & Qt::WindowMinimized), 5000);
    QVERIFY(window->isVisible());
}

void TestMainWindow::emailExpression_data()
{
    QTest::addColumn<QString>("email");
    QTest::addColumn<bool>("valid");
    QTest::newRow("plain") << "member@example.com" << true;
    QTest::newRow("capitals") << "MEMBER@EXAMPLE.COM" << true;
    QTest::newRow("signs") << "first.last+vpn_1%x-y@mail-host.co.uk" << true;
    QTest::newRow("four-letter ending") << "a@b.info" << true;
    QTest::newRow("one-letter ending") << "a@b.c" << false;
    QTest::newRow("five-letter ending") << "a@b.email" << false;
    QTest::newRow("blank before") << " a@b.com" << false;
    QTest::newRow("blank after") << "a@b.com " << false;
    QTest::newRow("text around") << "mail a@b.com now" << false;
    QTest::newRow("no at") << "member.example.com" << false;
    QTest::newRow("empty") << "" << false;
}

void TestMainWindow::emailExpression()
{
    QFETCH(QString, email);
    QTEST(MainWindow::isValidEmail(email), "valid");
}

void TestMainWindow::dragging_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QPoint>("pressAt");
    QTest::addColumn<bool>("moves");
    QTest::newRow("button") << "button" << QPoint(5, 5) << false;
    QTest::newRow("line edit") << "lineEdit" << QPoint(5, 5) << false;
    QTest::newRow("list") << "list" << QPoint(5, 5) << false;
    QTest::newRow("scroll bar") << "scrollBar" << QPoint(3, 3) << false;
    QTest::newRow("menu") << "menu" << QPoint(5, 5) << false;
    QTest::newRow("bottom bar corner (16, 806)") << "window" << QPoint(16, 806) << false;
    QTest::newRow("bottom bar corner (394, 880)") << "window" << QPoint(394, 880) << false;
    QTest::newRow("just above the bottom bar") << "window" << QPoint(200, 805) << true;
    QTest::newRow("just right of the bottom bar") << "window" << QPoint(395, 850) << true;
    QTest::newRow("plain page") << "window" << QPoint(200, 100) << true;
    QTest::newRow("label") << "label" << QPoint(5, 5) << true;
}

void TestMainWindow::dragging()
{
    QFETCH(QString, target);
    QFETCH(QPoint, pressAt);
    QFETCH(bool, moves);
    window = std::make_unique<MainWindow>();
    window->move(100, 100);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    auto *page = window->findChild<QStackedWidget *>("stackedWidget")->currentWidget();
    QWidget *pressed = window.get();
    std::unique_ptr<QMenu> menu;
    if (target == "button") {
        pressed = new QPushButton("b", page);
    } else if (target == "lineEdit") {
        pressed = new QLineEdit(page);
    } else if (target == "list") {
        pressed = (new QListView(page))->viewport();
    } else if (target == "scrollBar") {
        pressed = new QScrollBar(page);
    } else if (target == "label") {
        pressed = new QLabel("label", page);
    } else if (target == "menu") {
        menu = std::make_unique<QMenu>(window.get());
        menu->addAction("entry");
        pressed = menu.get();
    }
    pressed->show();
    const QPoint start = window->pos();
    const QPoint global = pressed->mapToGlobal(pressAt);
    QMouseEvent press(QEvent::MouseButtonPress, pressAt, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(pressed, &press);
    QMouseEvent drag(QEvent::MouseMove, pressAt + QPoint(30, 40), global + QPoint(30, 40),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(pressed, &drag);
    QMouseEvent release(QEvent::MouseButtonRelease, pressAt + QPoint(30, 40),
                        global + QPoint(30, 40), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(pressed, &release);
    QCOMPARE(window->pos(), moves ? start + QPoint(30, 40) : start);

    // After the release, moving does nothing.
    QMouseEvent later(QEvent::MouseMove, pressAt, global + QPoint(90, 90), Qt::NoButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(pressed, &later);
    QCOMPARE(window->pos(), moves ? start + QPoint(30, 40) : start);
}

void TestMainWindow::childWindowDragsTheMainWindowAlong()
{
    window = std::make_unique<MainWindow>();
    window->move(100, 100);
    window->show();
    auto *panel = new QWidget(window.get(), Qt::Window | Qt::FramelessWindowHint);
    panel->resize(411, 914);
    panel->move(100, 100);
    panel->show();
    QVERIFY(QTest::qWaitForWindowExposed(panel));
    const QPoint global = panel->mapToGlobal(QPoint(200, 300));
    QMouseEvent press(QEvent::MouseButtonPress, QPoint(200, 300), global, Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(panel, &press);
    QMouseEvent drag(QEvent::MouseMove, QPoint(180, 350), global + QPoint(-20, 50), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(panel, &drag);
    QCOMPARE(panel->pos(), QPoint(80, 150));
    QCOMPARE(window->pos(), QPoint(80, 150));
}

QTEST_MAIN(TestMainWindow)
#include "TestMainWindow.moc"
