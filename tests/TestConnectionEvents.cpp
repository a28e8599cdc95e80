#include "ClientSetUp.h"
#include "FakePrograms.h"
#include "PrivateSystemBus.h"
#include "SampleConfig.h"
#include "app/Startup.h"
#include "platform/NetworkMonitor.h"
#include "types/ServerData.h"
#include "ui/MainForm.h"
#include "vpn/VpnManager.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

ServerData server(int id)
{
    ServerData record;
    record.id = id;
    record.name = record.city = QStringLiteral("City %1").arg(id);
    record.serverIp = QStringLiteral("127.0.1.%1").arg(id);
    return record;
}

const char ipv4Header[] = "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\t"
                          "Window\tIRTT\n";

QString ipv4Route(const char *interface, const char *destination, const char *mask)
{
    return QStringLiteral("%1\t%2\t010200C0\t0003\t0\t0\t0\t%3\t0\t0\t0\n")
        .arg(QLatin1String(interface), QLatin1String(destination), QLatin1String(mask));
}

QString ipv6Route(const char *destination, const char *prefix, const char *interface)
{
    return QStringLiteral("%1 %2 00000000000000000000000000000000 00 "
                          "fd000000000000000000000000000001 00000400 00000002 00000000 00000003 "
                          "%3\n")
        .arg(QLatin1String(destination), QLatin1String(prefix), QLatin1String(interface));
}

} // namespace

// What the home screen does when the machine wakes from sleep, and how a default route is told
// from the kernel's route tables. The sleep signal comes from a stand-in for logind on a private
// system bus.
class TestConnectionEvents : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void defaultRoute_data();
    void defaultRoute();
    void resumeReadsHealthAndSweeps();

private:
    std::unique_ptr<PrivateSystemBus> systemBus;
    QTemporaryDir dataHome;
};

void TestConnectionEvents::initTestCase()
{
    initResourceTree();
    runToolsFromPath();
    keepClientFilesUnder(dataHome);
    systemBus = std::make_unique<PrivateSystemBus>(PrivateSystemBus::Helper::Missing);
    QVERIFY2(systemBus->isRunning(), qPrintable(systemBus->log()));
}

void TestConnectionEvents::defaultRoute_data()
{
    QTest::addColumn<QString>("ipv4");
    QTest::addColumn<QString>("ipv6");
    QTest::addColumn<bool>("online");
    const QString none = ipv4Header;
    QTest::newRow("IPv4 default") << none + ipv4Route("eth0", "00000000", "00000000") << "" << true;
    QTest::newRow("only a subnet")
        << none + ipv4Route("eth0", "000200C0", "00FFFFFF") << "" << false;
    QTest::newRow("default through the tunnel only")
        << none + ipv4Route("vpn_wg0", "00000000", "00000000") << "" << false;
    QTest::newRow("nothing") << none << "" << false;
    QTest::newRow("IPv6 default") << none
                                  << ipv6Route("00000000000000000000000000000000", "00", "wlan0")
                                  << true;
    QTest::newRow("IPv6 unreachable default on loopback")
        << none << ipv6Route("00000000000000000000000000000000", "00", "lo") << false;
    QTest::newRow("IPv6 prefix only")
        << none << ipv6Route("fd000000000000000000000000000000", "40", "wlan0") << false;
}

void TestConnectionEvents::defaultRoute()
{
    QFETCH(QString, ipv4);
    QFETCH(QString, ipv6);
    QTEST(NetworkMonitor::hasDefaultRoute(ipv4, ipv6, "vpn_wg0"), "online");
}

// Waking from sleep reads the tunnel's handshakes and measures every server again at once,
// without waiting for the next poll or refresh; going to sleep does neither.
void TestConnectionEvents::resumeReadsHealthAndSweeps()
{
    QDBusConnection logind =
        QDBusConnection::connectToBus(QDBusConnection::SystemBus, QStringLiteral("logind"));
    QVERIFY(logind.registerService(QStringLiteral("org.freedesktop.login1")));
    FakePrograms fakes;
    fakes.script("ping", "STDOUT", "rtt min/avg/max/mdev = 1/2/3/1 ms\n");
    MainForm home;
    home.setServers({server(1), server(2)});
    // Choosing the first server ends any tunnel first; connecting waits for that, as the
    // button does.
    auto *button = home.findChild<QPushButton *>("pushButtonChangeConnectionState");
    QTRY_VERIFY_WITH_TIMEOUT(button->isEnabled(), 5000);
    QSignalSpy connected(home.tunnel(), &VpnManager::connectionStateChanged);
    home.tunnel()->changeConnectionState(ConnectionState::Connecting, sampleConfig());
    QVERIFY(connected.wait(5000));
    QCOMPARE(home.tunnel()->connectionState(), int(ConnectionState::Connected));
    const auto count = [&fakes](const QString &prefix) {
        return fakes.calls().filter(QRegularExpression("^" + prefix)).size();
    };
    QTRY_COMPARE(count("ping\t"), 2);

    const auto prepareForSleep = [&logind](bool goingToSleep) {
        QDBusMessage signal = QDBusMessage::createSignal(
            QStringLiteral("/org/freedesktop/login1"),
            QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"));
        signal << goingToSleep;
        return logind.send(signal);
    };
    QVERIFY(prepareForSleep(true));
    QTest::qWait(300);
    QCOMPARE(count("ping\t"), 2);
    QCOMPARE(count("wg\tshow\tvpn_wg0\tlatest-handshakes"), 0);

    QVERIFY(prepareForSleep(false));
    QTRY_COMPARE_WITH_TIMEOUT(count("wg\tshow\tvpn_wg0\tlatest-handshakes"), 1, 1000);
    QTRY_COMPARE_WITH_TIMEOUT(count("ping\t"), 4, 1000);
    QDBusConnection::disconnectFromBus(QStringLiteral("logind"));
}

QTEST_MAIN(TestConnectionEvents)
#include "TestConnectionEvents.moc"
