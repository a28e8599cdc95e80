#include "MainWindowDriver.h"
#include "RealSystem.h"
#include "app/MainWindow.h"
#include "app/Startup.h"
#include "storage/AppSettings.h"
#include "ui/MainForm.h"
#include "vpn/VpnManager.h"

#include <QLabel>
#include <QPushButton>
#include <QSystemTrayIcon>
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

QTEST_MAIN(TestWholeProgramRealTunnel)
#include "TestWholeProgramRealTunnel.moc"
