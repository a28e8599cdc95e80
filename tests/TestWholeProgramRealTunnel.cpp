#include "app/MainWindow.h"
#include "app/Startup.h"
#include "ui/MainForm.h"
#include "vpn/VpnManager.h"

#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QStackedWidget>
#include <QtTest>

// The whole program with real tools: inside the client namespace of
// tests/helpers/with-tunnel-namespaces, against the demo service that hands out configurations
// for the real WireGuard peer in the server namespace. CTest runs it only as root.
class TestWholeProgramRealTunnel : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void signInConnectCarryTrafficAndDisconnect();

private:
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

void TestWholeProgramRealTunnel::signInConnectCarryTrafficAndDisconnect()
{
    MainWindow window;
    window.show();
    auto *stack = window.findChild<QStackedWidget *>("stackedWidget");
    QTRY_COMPARE_WITH_TIMEOUT(stack->currentWidget()->objectName(), QStringLiteral("pageLogin"),
                              10000);
    QTest::keyClicks(window.findChild<QLineEdit *>("lineEditEmail"), "demo@corvane.test");
    QTest::keyClicks(window.findChild<QLineEdit *>("lineEditPassword"), "demo-password");
    QTest::mouseClick(window.findChild<QPushButton *>("pushButtonLogIn"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(stack->currentWidget()->objectName(), QStringLiteral("pageMain"),
                              10000);

    auto *home = window.findChild<MainForm *>();
    auto *button = window.findChild<QPushButton *>("pushButtonChangeConnectionState");
    QTRY_VERIFY_WITH_TIMEOUT(button->isEnabled(), 10000);
    QTest::mouseClick(button, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(home->tunnel()->connectionState(), int(ConnectionState::Connected),
                              30000);
    QCOMPARE(window.findChild<QLabel *>("labelStatusPillText")->text(),
             QStringLiteral("Protected"));

    QProcess ping;
    ping.start("ping", {"-n", "-c", "5", "-i", "0.2", "-W", "2", "10.66.66.1"});
    QVERIFY(ping.waitForFinished(20000));
    QCOMPARE(ping.exitCode(), 0);
    auto *download = window.findChild<QLabel *>("labelDownloadSpeed");
    QTRY_VERIFY_WITH_TIMEOUT(download->text().endsWith("Mbps"), 10000);

    QTest::mouseClick(button, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(home->tunnel()->connectionState(), int(ConnectionState::Disconnected),
                              20000);
    QProcess link;
    link.start("ip", {"link", "show", "vpn_wg0"});
    QVERIFY(link.waitForFinished(5000));
    QVERIFY(link.exitCode() != 0);
    const auto serviceLog = [] {
        QFile log(qEnvironmentVariable("CORVANE_DEMO_SERVICE_LOG"));
        return log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
    };
    QTRY_VERIFY_WITH_TIMEOUT(serviceLog().contains("POST /api/client/disconnect 200"), 5000);
    QCOMPARE(serviceLog().count("POST /api/client/disconnect"), 1);
    QCOMPARE(serviceLog().count("POST /api/client/connect 200"), 1);
}

QTEST_MAIN(TestWholeProgramRealTunnel)
#include "TestWholeProgramRealTunnel.moc"
