#include "MainWindowDriver.h"
#include "RealSystem.h"
#include "app/MainWindow.h"
#include "app/Startup.h"
#include "ui/MainForm.h"
#include "vpn/VpnManager.h"

#include <QLabel>
#include <QPushButton>
#include <QUdpSocket>
#include <QtTest>

#include <cstdio>

#include <unistd.h>

// The whole client as a member without rights runs it: started by TestHelperEndToEnd as an
// unprivileged user in the client namespace, with the helper (or none) on a private system bus.
// One function per scenario; the orchestrator picks it.
class TestClientThroughHelper : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void connectsThroughTheHelper();
    void killSwitchThroughTheHelper();
    void refusedByPolkit();
    void helperMissing();

private:
    void expectErrorExplained(const QString &message);

    std::unique_ptr<MainWindow> window;
};

void TestClientThroughHelper::initTestCase()
{
    QVERIFY2(::geteuid() != 0, "runs as a member without rights");
    initResourceTree();
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(signInThroughLoginPage(*window, "demo@corvane.test", "demo-password"));
}

void TestClientThroughHelper::connectsThroughTheHelper()
{
    VpnManager *tunnel = window->findChild<MainForm *>()->tunnel();
    QVERIFY(clickConnectButton(*window));
    QTRY_COMPARE_WITH_TIMEOUT(tunnel->connectionState(), int(ConnectionState::Connected), 30000);
    QVERIFY(window->findChild<QLabel *>("labelConnectionTime")->isVisible());

    // Traffic into the tunnel: the counters come back through the helper.
    QUdpSocket socket;
    for (int i = 0; i < 20; ++i)
        socket.writeDatagram(QByteArray(1000, 'x'), QHostAddress("10.66.66.1"), 9);
    auto *upload = window->findChild<QLabel *>("labelUploadSpeed");
    QTRY_VERIFY_WITH_TIMEOUT(upload->text().endsWith("Mbps") && upload->text() != "0 Mbps", 10000);

    QTest::mouseClick(window->findChild<QPushButton *>("pushButtonChangeConnectionState"),
                      Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(tunnel->connectionState(), int(ConnectionState::Disconnected), 20000);
    QVERIFY(runProgram("ip", {"link", "show", "vpn_wg0"}) != 0);
}

// The switch turned on puts the block in force through the helper; the orchestrator, as root,
// looks at the firewall while the client waits, then the switch goes off again.
void TestClientThroughHelper::killSwitchThroughTheHelper()
{
    VpnManager *tunnel = window->findChild<MainForm *>()->tunnel();
    auto *killSwitch = window->findChild<QPushButton *>("pushButtonKillSwitch");
    QTest::mouseClick(killSwitch, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(tunnel->isKillSwitchActive(), 20000);
    std::printf("block in force\n");
    std::fflush(stdout);
    char line[16];
    QVERIFY(std::fgets(line, sizeof line, stdin));
    QTest::mouseClick(killSwitch, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!tunnel->isKillSwitchActive(), 20000);
}

void TestClientThroughHelper::expectErrorExplained(const QString &message)
{
    VpnManager *tunnel = window->findChild<MainForm *>()->tunnel();
    QVERIFY(clickConnectButton(*window));
    QTRY_COMPARE_WITH_TIMEOUT(tunnel->connectionState(), int(ConnectionState::Error), 30000);
    auto *problem = window->findChild<QLabel *>("labelTunnelProblem");
    QVERIFY(problem->isVisible());
    QCOMPARE(problem->text(), message);
}

void TestClientThroughHelper::refusedByPolkit()
{
    expectErrorExplained("Permission to manage the VPN connection was refused.");
}

void TestClientThroughHelper::helperMissing()
{
    expectErrorExplained("Corvane's system service is not installed or not running.");
}

QTEST_MAIN(TestClientThroughHelper)
#include "TestClientThroughHelper.moc"
