#include "ClientSetUp.h"
#include "MainWindowDriver.h"
#include "RealSystem.h"
#include "app/MainWindow.h"
#include "app/Startup.h"
#include "platform/NetworkMonitor.h"
#include "storage/AppSettings.h"
#include "ui/MainForm.h"
#include "vpn/VpnManager.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUdpSocket>
#include <QtTest>

// The whole program with real tools: inside the client namespace of
// tests/helpers/with-tunnel-namespaces, against the demo service that hands out configurations
// for the real WireGuard peer in the server namespace. CTest runs it only as root.
class TestWholeProgramRealTunnel : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void signInConnectCarryTrafficAndDisconnect();
    void killSwitchOnFromTheLoginPageToQuit();
    void lostNetworkWaitsThenReconnects();
    void stoppedPeerShowsTheConnectionUnstable();

private:
    static bool signIn(MainWindow &window)
    {
        return signInThroughLoginPage(window, "demo@corvane.test", "demo-password");
    }
    // Clicks Connect and waits for the tunnel to come up.
    static bool connectTunnel(MainWindow &window);
    static bool reachable(const QString &address);

    QTemporaryDir configHome;
};

void TestWholeProgramRealTunnel::initTestCase()
{
    QVERIFY2(!qEnvironmentVariableIsEmpty("CORVANE_DEMO_SERVICE_LOG"),
             "run through tests/helpers/with-tunnel-namespaces with CORVANE_TUNNEL_SERVICE=demo");
    initResourceTree();
    qputenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit());
    keepRuntimeFilesUnder(configHome);
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("CORVANE_BRAND_DOMAIN", "corvane.example");
}

bool TestWholeProgramRealTunnel::connectTunnel(MainWindow &window)
{
    VpnManager *tunnel = window.findChild<MainForm *>()->tunnel();
    return clickConnectButton(window) &&
           QTest::qWaitFor(
               [tunnel] { return tunnel->connectionState() == ConnectionState::Connected; }, 30000);
}

bool TestWholeProgramRealTunnel::reachable(const QString &address)
{
    return tcpReachable(address, quint16(qEnvironmentVariableIntValue("CORVANE_SERVICE_PORT")));
}

void TestWholeProgramRealTunnel::signInConnectCarryTrafficAndDisconnect()
{
    MainWindow window;
    window.show();
    QVERIFY(signIn(window));

    auto *home = window.findChild<MainForm *>();
    auto *button = window.findChild<QPushButton *>("pushButtonChangeConnectionState");
    QVERIFY(connectTunnel(window));
    QCOMPARE(window.findChild<QLabel *>("labelStatusPillText")->text(),
             QStringLiteral("Protected"));

    QCOMPARE(runProgram("ping", {"-n", "-c", "5", "-i", "0.2", "-W", "2", "10.66.66.1"}), 0);
    auto *download = window.findChild<QLabel *>("labelDownloadSpeed");
    QTRY_VERIFY_WITH_TIMEOUT(download->text().endsWith("Mbps"), 10000);

    QTest::mouseClick(button, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(home->tunnel()->connectionState(), int(ConnectionState::Disconnected),
                              20000);
    QVERIFY(runProgram("ip", {"link", "show", "vpn_wg0"}) != 0);
    const auto serviceLog = [] {
        QFile log(qEnvironmentVariable("CORVANE_DEMO_SERVICE_LOG"));
        return log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
    };
    QTRY_VERIFY_WITH_TIMEOUT(serviceLog().contains("POST /api/client/disconnect 200"), 5000);
    QCOMPARE(serviceLog().count("POST /api/client/disconnect"), 1);
    QCOMPARE(serviceLog().count("POST /api/client/connect 200"), 1);
}

// The block is in force before sign-in and lets it through; connected, only the tunnel carries
// traffic; quitting removes the tunnel and lifts the block.
void TestWholeProgramRealTunnel::killSwitchOnFromTheLoginPageToQuit()
{
    AppSettings::setSwitchState(AppSettings::KillSwitch, true);
    const QString other = qEnvironmentVariable("CORVANE_OTHER_ADDRESS");
    MainWindow window;
    window.show();
    QVERIFY(programOutput("nft", {"list", "tables"}).contains("inet VPNKillSwitch"));
    QVERIFY(!reachable(other));
    QVERIFY(signIn(window));

    QVERIFY(connectTunnel(window));
    QCOMPARE(runProgram("ping", {"-n", "-c", "2", "-i", "0.2", "-W", "2", "10.66.66.1"}), 0);
    QVERIFY(!reachable(other));

    window.findChild<QSystemTrayIcon *>()->hide();
    QVERIFY(window.close());
    QVERIFY(!programOutput("nft", {"list", "tables"}).contains("VPNKillSwitch"));
    QVERIFY(!programOutput("ip", {"link", "show"}).contains("vpn_wg0"));
    QVERIFY(reachable(other));
    QFile log(qEnvironmentVariable("CORVANE_DEMO_SERVICE_LOG"));
    QVERIFY(log.open(QIODevice::ReadOnly));
    QCOMPARE(log.readAll().count("POST /api/client/disconnect 200"), 2);
}

// With no default route the pill says so and nothing is asked of the service; a tunnel lost
// meanwhile is asked for again once the route returns.
void TestWholeProgramRealTunnel::lostNetworkWaitsThenReconnects()
{
    MainWindow window;
    window.findChild<NetworkMonitor *>()->setSettleMs(50);
    window.show();
    QVERIFY(signIn(window));
    auto *home = window.findChild<MainForm *>();
    VpnManager::Timings timings;
    timings.statusPollMs = 200;
    home->tunnel()->setTimings(timings);
    QVERIFY(connectTunnel(window));
    auto *pill = window.findChild<QLabel *>("labelStatusPillText");
    QSignalSpy requests(home, &MainForm::requestVpnConnect);

    QCOMPARE(runProgram("ip", {"route", "del", "default"}), 0);
    QTRY_COMPARE_WITH_TIMEOUT(pill->text(), QStringLiteral("No network"), 5000);
    QCOMPARE(runProgram("ip", {"link", "del", "vpn_wg0"}), 0);
    QTRY_COMPARE_WITH_TIMEOUT(home->tunnel()->connectionState(), int(ConnectionState::Error),
                              10000);
    QTest::qWait(500);
    QCOMPARE(requests.count(), 0);
    QCOMPARE(pill->text(), QStringLiteral("No network"));

    QCOMPARE(runProgram("ip", {"route", "add", "default", "via",
                               qEnvironmentVariable("CORVANE_DEFAULT_GATEWAY")}),
             0);
    QTRY_COMPARE_WITH_TIMEOUT(home->tunnel()->connectionState(), int(ConnectionState::Connected),
                              30000);
    QCOMPARE(requests.count(), 1);
    QCOMPARE(pill->text(), QStringLiteral("Protected"));
    QCOMPARE(runProgram("ping", {"-n", "-c", "1", "-W", "2", "10.66.66.1"}), 0);
}

// The server's peer stops: what the client sends gets no answer and no new handshake, and the
// pill says the connection is unstable (the handshake threshold shortened to seconds).
void TestWholeProgramRealTunnel::stoppedPeerShowsTheConnectionUnstable()
{
    MainWindow window;
    window.show();
    QVERIFY(signIn(window));
    auto *home = window.findChild<MainForm *>();
    VpnManager::Timings timings;
    timings.statusPollMs = 300;
    timings.staleHandshakeSeconds = 2;
    timings.staleGiveUpMs = 3600000;
    home->tunnel()->setTimings(timings);
    QVERIFY(connectTunnel(window));
    QCOMPARE(runProgram("ping", {"-n", "-c", "1", "-W", "2", "10.66.66.1"}), 0);
    auto *pill = window.findChild<QLabel *>("labelStatusPillText");
    QCOMPARE(pill->text(), QStringLiteral("Protected"));

    const QString server = qEnvironmentVariable("CORVANE_SERVER_NAMESPACE");
    QCOMPARE(runProgram("ip", {"netns", "exec", server, "ip", "link", "set", "wgsrv", "down"}), 0);
    QUdpSocket socket;
    QTimer sending;
    connect(&sending, &QTimer::timeout, this, [&socket] {
        socket.writeDatagram(QByteArray("probe"), QHostAddress(QStringLiteral("10.66.66.1")), 9);
    });
    sending.start(100);
    QTRY_COMPARE_WITH_TIMEOUT(pill->text(), QStringLiteral("Connection unstable"), 15000);
    QCOMPARE(home->tunnel()->connectionState(), int(ConnectionState::Connected));
    sending.stop();
    QCOMPARE(runProgram("ip", {"netns", "exec", server, "ip", "link", "set", "wgsrv", "up"}), 0);
}

QTEST_MAIN(TestWholeProgramRealTunnel)
#include "TestWholeProgramRealTunnel.moc"
