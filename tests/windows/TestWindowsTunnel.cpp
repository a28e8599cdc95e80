#include "ClientSetUp.h"
#include "FakePrograms.h"
#include "SampleConfig.h"
#include "ping/PingManager.h"
#include "vpn/VpnManager.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

const QString uninstall = QStringLiteral("wireguard.exe\t/uninstalltunnelservice\tvpn_wg0");
const QStringList deleteRules = {
    QStringLiteral("netsh\tadvfirewall\tfirewall\tdelete\trule\tname=VPNKillSwitch"),
    QStringLiteral("netsh\tadvfirewall\tfirewall\tdelete\trule\tname=VPNKillSwitchAllow")};
const QString addBlock =
    QStringLiteral("netsh\tadvfirewall\tfirewall\tadd\trule\tname=VPNKillSwitch\t"
                   "dir=out\taction=block\tenable=yes\tprofile=any");

} // namespace

// The Windows command set as Windows runs it: the exact argument lists of wireguard.exe, wg.exe,
// netsh and ping.exe, through Windows builds of the fake programs, with Windows paths.
class TestWindowsTunnel : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void connectCountsTrafficAndDisconnects();
    void failedInstallEndsInErrorAndRemovesTheService();
    void killSwitchAsFirewallRules();
    void connectUnderTheBlockLiftsItFirst();
    void pingThroughPingExe();

private:
    std::unique_ptr<VpnManager> makeManager();

    std::unique_ptr<FakePrograms> fakes;
};

void TestWindowsTunnel::init()
{
    qputenv("CORVANE_ACCOUNT_API_URL", "http://127.0.0.1:9/graphql");
    qputenv("CORVANE_VPN_API_URL", "http://198.51.100.20:8000");
    QStandardPaths::setTestModeEnabled(true);
    fakes = std::make_unique<FakePrograms>();
    runToolsFromPath();
}

void TestWindowsTunnel::cleanup()
{
    fakes.reset();
}

std::unique_ptr<VpnManager> TestWindowsTunnel::makeManager()
{
    auto manager = std::make_unique<VpnManager>(nullptr, Platform::CommandSet::native());
    manager->setServiceUrls({qEnvironmentVariable("CORVANE_ACCOUNT_API_URL"),
                             qEnvironmentVariable("CORVANE_VPN_API_URL")});
    VpnManager::Timings timings;
    timings.statusPollMs = 50;
    timings.clockTickMs = 3600000;
    manager->setTimings(timings);
    return manager;
}

void TestWindowsTunnel::connectCountsTrafficAndDisconnects()
{
    QCOMPARE(Platform::CommandSet::native().kind(), Platform::CommandSet::Kind::Windows);
    auto manager = makeManager();
    const QString configPath = manager->configFilePath();
    // A Windows path the tunnel service can read, with the MTU the client sets.
    QVERIFY2(QDir::isAbsolutePath(configPath) && configPath.at(1) == ':', qPrintable(configPath));
    fakes->script("wg.exe", "STDOUT_1", "key\t1000\t500\n");
    fakes->script("wg.exe", "STDOUT", "key\t4000\t700\n");

    QSignalSpy states(manager.get(), &VpnManager::connectionStateChanged);
    QSignalSpy download(manager.get(), &VpnManager::updateDownloadSpeed);
    QSignalSpy upload(manager.get(), &VpnManager::updateUploadSpeed);
    manager->changeConnectionState(ConnectionState::Connecting, sampleConfig());
    QVERIFY(states.wait(5000));
    QCOMPARE(states.last().at(0).toInt(), int(ConnectionState::Connected));
    QCOMPARE(fakes->calls().mid(0, 2),
             (QStringList{uninstall, "wireguard.exe\t/installtunnelservice\t" +
                                         QDir::toNativeSeparators(configPath)}));
    QFile written(configPath);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QVERIFY(written.readAll().contains("MTU = 1420\n"));
    // Windows deletes no file that is open.
    written.close();

    // The second reading is 3000 bytes received and 200 sent past the first.
    QTRY_VERIFY_WITH_TIMEOUT(download.contains(QVariantList{quint64(3000)}), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(upload.contains(QVariantList{quint64(200)}), 5000);
    QVERIFY(!fakes->callsOf("wg.exe").isEmpty());
    for (const QString &call : fakes->callsOf("wg.exe"))
        QCOMPARE(call, QStringLiteral("wg.exe\tshow\tvpn_wg0\ttransfer"));

    manager->changeConnectionState(ConnectionState::Disconnecting);
    QTRY_COMPARE_WITH_TIMEOUT(manager->connectionState(), int(ConnectionState::Disconnected), 5000);
    QCOMPARE(fakes->callsOf("wireguard.exe").last(), uninstall);
    QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(configPath), 5000);
}

void TestWindowsTunnel::failedInstallEndsInErrorAndRemovesTheService()
{
    auto manager = makeManager();
    fakes->script("wireguard.exe", "EXIT_2", "1");
    fakes->script("wireguard.exe", "STDERR_2", "Unable to create tunnel");
    QTest::ignoreMessage(
        QtDebugMsg, "WireGuard tunnel start failed with exit code 1 \"Unable to create tunnel\"");
    QSignalSpy states(manager.get(), &VpnManager::connectionStateChanged);
    manager->changeConnectionState(ConnectionState::Connecting, sampleConfig());
    QVERIFY(states.wait(5000));
    QCOMPARE(states.first().at(0).toInt(), int(ConnectionState::Error));
    QTRY_COMPARE_WITH_TIMEOUT(fakes->callsOf("wireguard.exe").size(), 3, 5000);
    QCOMPARE(fakes->callsOf("wireguard.exe").last(), uninstall);
}

void TestWindowsTunnel::killSwitchAsFirewallRules()
{
    auto manager = makeManager();
    manager->setKillSwitchEnabled(true);
    QVERIFY(manager->isKillSwitchActive());
    QCOMPARE(fakes->calls(), deleteRules + QStringList{addBlock});

    manager->setKillSwitchEnabled(false);
    QVERIFY(!manager->isKillSwitchActive());
    QCOMPARE(fakes->calls().mid(3), deleteRules);

    // A firewall that refuses the rule leaves no block counted as in force.
    fakes->script("netsh", "EXIT", "1");
    manager->setKillSwitchEnabled(true);
    QVERIFY(!manager->isKillSwitchActive());
    QCOMPARE(manager->killSwitchFault(), VpnManager::KillSwitchFault::FirewallRefused);
}

void TestWindowsTunnel::connectUnderTheBlockLiftsItFirst()
{
    auto manager = makeManager();
    manager->setKillSwitchEnabled(true);
    const int before = fakes->calls().size();
    manager->prepareForConfigurationRequest();
    QSignalSpy states(manager.get(), &VpnManager::connectionStateChanged);
    manager->changeConnectionState(ConnectionState::Connecting, sampleConfig());
    QVERIFY(states.wait(5000));
    QCOMPARE(states.last().at(0).toInt(), int(ConnectionState::Connected));
    const QStringList since = fakes->calls().mid(before);
    QCOMPARE(since.mid(0, 2), deleteRules);
    QCOMPARE(since.at(2), uninstall);
    QVERIFY(since.at(3).startsWith("wireguard.exe\t/installtunnelservice\t"));

    // Disconnecting puts the block back once the tunnel service is gone.
    manager->changeConnectionState(ConnectionState::Disconnecting);
    QTRY_VERIFY_WITH_TIMEOUT(manager->isKillSwitchActive(), 5000);
    QCOMPARE(fakes->callsOf("netsh").last(), addBlock);
}

void TestWindowsTunnel::pingThroughPingExe()
{
    fakes->script("ping.exe", "STDOUT",
                  "Pinging 198.51.100.7 with 32 bytes of data:\r\n"
                  "Reply from 198.51.100.7: bytes=32 time=11ms TTL=56\r\n"
                  "Reply from 198.51.100.7: bytes=32 time=13ms TTL=56\r\n\r\n"
                  "Approximate round trip times in milli-seconds:\r\n"
                  "    Minimum = 11ms, Maximum = 13ms, Average = 12ms\r\n");
    PingManager manager(nullptr, Platform::CommandSet::native());
    QSignalSpy results(&manager, &PingManager::pingsReceived);
    manager.requestPing(3, "198.51.100.7");
    QVERIFY(results.wait(5000));
    const auto received = results.first().at(0).value<QVector<Platform::LatencyResult>>();
    QCOMPARE(received.size(), 1);
    QCOMPARE(received.first().id, 3);
    QCOMPARE(received.first().ping, 12);
    QCOMPARE(fakes->calls(), QStringList{"ping.exe\t-n\t2\t-w\t2000\t198.51.100.7"});
}

QTEST_GUILESS_MAIN(TestWindowsTunnel)
#include "TestWindowsTunnel.moc"
