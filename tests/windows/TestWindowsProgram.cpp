#include "ClientSetUp.h"
#include "FakePrograms.h"
#include "MainWindowDriver.h"
#include "app/MainWindow.h"
#include "app/RunGuard.h"
#include "app/Startup.h"
#include "platform/ActivationChannelName.h"
#include "servers/ServerListModel.h"
#include "storage/AppSettings.h"
#include "ui/MainForm.h"
#include "vpn/VpnManager.h"

#include <QLabel>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

#include <algorithm>
#include <memory>

namespace {

const QString member = QStringLiteral("demo@corvane.test");
const QString password = QStringLiteral("demo-password");
// The demo service has no capacity on this server: a connection to it falls back to another.
const int serverWithoutCapacity = 2;

// The build's own paths are the Linux side's, which Wine shows as drive Z:.
QString programPath()
{
    const QString path = QStringLiteral(CORVANE_EXECUTABLE);
    return path.startsWith('/') ? QStringLiteral("Z:") + path : path;
}

} // namespace

// The whole Windows program as a member meets it: signed in against the demo service, connected
// through wireguard.exe, its traffic read from wg.exe, the kill switch kept through netsh, a full
// server left for another, signed out and quit; and the single-instance guard across two copies.
class TestWindowsProgram : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void memberDayUnderTheKillSwitch();
    void secondStartLeavesTheFirstRunning();

private:
    bool blockInForce() const;

    std::unique_ptr<FakePrograms> fakes;
    std::unique_ptr<MainWindow> window;
};

void TestWindowsProgram::initTestCase()
{
    QVERIFY2(!qEnvironmentVariableIsEmpty("CORVANE_VPN_API_URL"),
             "run through tests/helpers/with-demo-service");
    initResourceTree();
    runToolsFromPath();
}

void TestWindowsProgram::init()
{
    AppSettings::resetApplication();
    fakes = std::make_unique<FakePrograms>();
    fakes->script("ping.exe", "STDOUT", "Minimum = 10ms, Maximum = 14ms, Average = 12ms\r\n");
}

void TestWindowsProgram::cleanup()
{
    window.reset();
    fakes.reset();
    AppSettings::resetApplication();
}

bool TestWindowsProgram::blockInForce() const
{
    const QStringList netsh = fakes->callsOf(QStringLiteral("netsh"));
    return !netsh.isEmpty() && netsh.last().contains(QLatin1String("\tadd\t"));
}

void TestWindowsProgram::memberDayUnderTheKillSwitch()
{
    AppSettings::setSwitchState(AppSettings::KillSwitch, true);
    AppSettings::setValue(AppSettings::LastServerId, serverWithoutCapacity);
    fakes->script("wg.exe", "STDOUT", "key\t40000000\t10000000\n");

    window = std::make_unique<MainWindow>();
    window->show();
    auto *home = window->findChild<MainForm *>();
    VpnManager *tunnel = home->tunnel();

    // The whole sign-in runs while the block is lifted, and the block is back once it ends.
    QVERIFY(signInThroughLoginPage(*window, member, password));
    QTRY_VERIFY_WITH_TIMEOUT(blockInForce(), 30000);
    QVERIFY(tunnel->isKillSwitchActive());

    // The last server has no capacity: the connection falls back to another whose latency is
    // known, and comes up through the tunnel service, with the block lifted for it.
    const auto anotherServerMeasured = [home] {
        const QVector<ServerData> servers = home->servers();
        return std::any_of(servers.begin(), servers.end(), [home](const ServerData &server) {
            return server.id != serverWithoutCapacity &&
                   home->model()->serverById(server.id).hasValidLatency();
        });
    };
    QTRY_VERIFY_WITH_TIMEOUT(anotherServerMeasured(), 60000);
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Auto-fallback attempt 1"));
    QVERIFY(clickConnectButton(*window));
    QTRY_COMPARE_WITH_TIMEOUT(tunnel->connectionState(), int(ConnectionState::Connected), 60000);
    QCOMPARE(fakes->callsOf("wireguard.exe").filter("/installtunnelservice").size(), 1);
    QVERIFY(!blockInForce());
    QTRY_VERIFY_WITH_TIMEOUT(!fakes->callsOf("wg.exe").isEmpty(), 30000);
    QCOMPARE(fakes->callsOf("wg.exe").first(), QStringLiteral("wg.exe\tshow\tvpn_wg0\ttransfer"));
    // The first reading counts from the tunnel's start: megabits per second on the home page.
    auto *download = window->findChild<QLabel *>("labelDownloadSpeed");
    QTRY_VERIFY_WITH_TIMEOUT(download->text().endsWith(" Mbps") && download->text() != "0 Mbps",
                             30000);

    // Signing out takes the tunnel down, and the block returns.
    window->findChild<QPushButton *>("pushButtonLogOut")->click();
    QTRY_COMPARE_WITH_TIMEOUT(currentPage(*window), QStringLiteral("pageLogin"), 30000);
    QTRY_COMPARE_WITH_TIMEOUT(tunnel->connectionState(), int(ConnectionState::Disconnected), 30000);
    QCOMPARE(fakes->callsOf("wireguard.exe").last(),
             QStringLiteral("wireguard.exe\t/uninstalltunnelservice\tvpn_wg0"));
    QTRY_VERIFY_WITH_TIMEOUT(blockInForce(), 30000);

    // Closing the window without a tray quits, and quitting lifts the block.
    window->close();
    QTRY_VERIFY_WITH_TIMEOUT(!blockInForce(), 30000);
}

void TestWindowsProgram::secondStartLeavesTheFirstRunning()
{
    // The program finds its Qt libraries on the usual PATH, not the fakes'.
    fakes.reset();
    QProcess first;
    first.setProgram(programPath());
    first.setArguments({QStringLiteral("-platform"), QStringLiteral("offscreen")});
    first.start();
    QVERIFY(first.waitForStarted(10000));
    RunGuard probe(Platform::instanceGuardKey(QStringLiteral("VPN_APP_EXAMPLE_NAME_RunGuard")));
    QTRY_VERIFY_WITH_TIMEOUT(probe.isAnotherInstanceRunning(), 30000);

    QProcess second;
    second.start(programPath(), {QStringLiteral("-platform"), QStringLiteral("offscreen")});
    QVERIFY(second.waitForFinished(20000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(first.state(), QProcess::Running);

    first.kill();
    QVERIFY(first.waitForFinished(10000));
}

QTEST_MAIN(TestWindowsProgram)
#include "TestWindowsProgram.moc"
