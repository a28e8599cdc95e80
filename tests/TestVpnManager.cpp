#include "ClientSetUp.h"
#include "FakePrograms.h"
#include "SampleConfig.h"
#include "platform/PrivateFile.h"
#include "vpn/VpnManager.h"

#include <QDateTime>
#include <QFileInfo>
#include <QSignalSpy>
#include <QtTest>

#include <csignal>

#include <sys/resource.h>
#include <unistd.h>

#include <sys/stat.h>

#include <memory>

Q_DECLARE_METATYPE(Platform::CommandSet::Kind)

namespace {

const QByteArray config = sampleConfig();

Platform::CommandSet commandSet(Platform::CommandSet::Kind kind)
{
    return kind == Platform::CommandSet::Kind::Windows ? Platform::CommandSet::windows()
                                                       : Platform::CommandSet::linux();
}

// What each set runs, in the fakes' log format.
struct Expected {
    QString tunnelTool;
    QString remove;
    QString install;
    // What a connection runs: the removal of an old tunnel where one may be there (no vpn_wg0
    // interface shows on the test machine, so none on Linux), then the install.
    QStringList connect;
    QString transferTool;
    QStringList lift;
    // The calls that put the block in place; the last one starts with putPrefix.
    QStringList putBefore;
    QString putPrefix;
};

Expected expectedFor(Platform::CommandSet::Kind kind, const QString &configPath)
{
    if (kind == Platform::CommandSet::Kind::Windows)
        return {
            "wireguard.exe",
            "wireguard.exe\t/uninstalltunnelservice\tvpn_wg0",
            "wireguard.exe\t/installtunnelservice\t" + configPath,
            {"wireguard.exe\t/uninstalltunnelservice\tvpn_wg0",
             "wireguard.exe\t/installtunnelservice\t" + configPath},
            "wg.exe",
            {"netsh\tadvfirewall\tfirewall\tdelete\trule\tname=VPNKillSwitch",
             "netsh\tadvfirewall\tfirewall\tdelete\trule\tname=VPNKillSwitchAllow"},
            {"netsh\tadvfirewall\tfirewall\tdelete\trule\tname=VPNKillSwitch",
             "netsh\tadvfirewall\tfirewall\tdelete\trule\tname=VPNKillSwitchAllow"},
            "netsh\tadvfirewall\tfirewall\tadd\trule\tname=VPNKillSwitch\tdir=out\taction=block\t"
            "enable=yes\tprofile=any"};
    // One nft transaction each, which deletes only what is there.
    return {"wg-quick",
            "wg-quick\tdown\t" + configPath,
            "wg-quick\tup\t" + configPath,
            {"wg-quick\tup\t" + configPath},
            "wg",
            {"nft\ttable inet VPNKillSwitch\\ndelete table inet VPNKillSwitch\\n"
             "table inet VPNKillSwitchAllow\\ndelete table inet VPNKillSwitchAllow\\n"},
            {},
            "nft\ttable inet VPNKillSwitch\\ndelete table inet VPNKillSwitch\\n"
            "table inet VPNKillSwitch {"};
}

// One traffic poll, taken in with everything it asked the tools for.
bool pollTraffic(VpnManager &manager)
{
    if (!QMetaObject::invokeMethod(&manager, "checkConnectionStatus"))
        return false;
    return QTest::qWaitFor([&] { return !manager.isReadingTunnel(); }, 10000);
}

} // namespace

class TestVpnManager : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void connectAndDisconnect_data();
    void connectAndDisconnect();
    void mtuRewrite_data();
    void mtuRewrite();
    void configFileIsOwnerOnlyFromTheStart();
    void configThatCannotBeWrittenEndsInError_data();
    void configThatCannotBeWrittenEndsInError();
    void failedInstall_data();
    void failedInstall();
    void toolsThatCannotStart();
    void disconnectWhileDisconnected();
    void connectionDuringARemovalWaitsForIt();
    void failedRemovalIsFinishedByForce();
    void removalThatFailsIsReported();
    void configurationLeftByAnEarlyEndIsDeletedAtStart();
    void rootKeepsTheConfigurationInARootOnlyFolder();
    void aLinkAtTheConfigurationPathIsNotFollowed();
    void aWriteThatFallsShortIsNoFile();
    void clockTicksWholeSecondsAndStopsWithTheTunnel();
    void clockRestsWhileNoPageShowsIt();
    void trafficRates_data();
    void trafficRates();
    void threeEmptyPollsEndInError_data();
    void threeEmptyPollsEndInError();
    void twoEmptyPollsThenValidAreTolerated();
    void staleWhenSendingIntoAnOldSession_data();
    void staleWhenSendingIntoAnOldSession();
    void killSwitchWhileDisconnected_data();
    void killSwitchWhileDisconnected();
    void killSwitchWaitsForTheStopWhileConnectedOnWindows();
    void noTunnelWithoutTheBlockWhileTheSwitchIsOn();
    void newNetworkRefreshesTheBlock();
    void killSwitchOffDeletesWhereABlockMayBe_data();
    void killSwitchOffDeletesWhereABlockMayBe();
    void blockThatStaysIsLiftedByTheNextRun();
    void failedAddIsRetriedAtTheNextChance();
    void connectWhileBlockedOnWindowsLiftsTheBlockFirst();
    void linuxSwitchHoldsThroughTheWholeConnection();
    void linuxSwitchTurnedOnWhileConnectedKeepsOnlyTheTunnel();
    void windowsBlockIsLiftedOnlyWhileASignInRequestRuns();
    void signInEndingDuringAConfigurationRequestLeavesTheBlockLifted();
    void failedStopReappliesTheBlock();
    void linuxBlockLetsOnlyServicesAndResolversThrough();
    void refusedConfigurationRunsNothing();
    void configFileIsDeletedOnceTheTunnelIsRemoved();
    void shutDownRemovesTunnelFileAndBlock_data();
    void shutDownRemovesTunnelFileAndBlock();

private:
    std::unique_ptr<VpnManager> makeManager(Platform::CommandSet::Kind kind);
    bool connectTunnel(VpnManager &manager, const QByteArray &configText = config);

    std::unique_ptr<QTemporaryDir> dataHome;
    std::unique_ptr<FakePrograms> fakes;
};

void TestVpnManager::initTestCase()
{
    qRegisterMetaType<Platform::CommandSet::Kind>();
    qputenv("CORVANE_ACCOUNT_API_URL", "http://127.0.0.1:9/graphql");
    qputenv("CORVANE_VPN_API_URL", "http://198.51.100.20:8000");
}

void TestVpnManager::init()
{
    dataHome = std::make_unique<QTemporaryDir>();
    qputenv("XDG_DATA_HOME", (dataHome->path() + "/not-yet-there").toLocal8Bit());
    keepRuntimeFilesUnder(*dataHome);
    qputenv("XDG_STATE_HOME", (dataHome->path() + "/state").toLocal8Bit());
    fakes = std::make_unique<FakePrograms>();
}

void TestVpnManager::cleanup()
{
    fakes.reset();
    dataHome.reset();
}

std::unique_ptr<VpnManager> TestVpnManager::makeManager(Platform::CommandSet::Kind kind)
{
    auto manager = std::make_unique<VpnManager>(nullptr, commandSet(kind));
    manager->setServiceUrls({qEnvironmentVariable("CORVANE_ACCOUNT_API_URL"),
                             qEnvironmentVariable("CORVANE_VPN_API_URL")});
    VpnManager::Timings slow;
    slow.statusPollMs = 3600000;
    slow.clockTickMs = 3600000;
    manager->setTimings(slow);
    return manager;
}

bool TestVpnManager::connectTunnel(VpnManager &manager, const QByteArray &configText)
{
    QSignalSpy states(&manager, &VpnManager::connectionStateChanged);
    manager.changeConnectionState(ConnectionState::Connecting, configText);
    return states.wait(5000) && states.last().at(0).toInt() == ConnectionState::Connected;
}

void TestVpnManager::connectAndDisconnect_data()
{
    QTest::addColumn<Platform::CommandSet::Kind>("kind");
    QTest::newRow("Windows") << Platform::CommandSet::Kind::Windows;
    QTest::newRow("Linux") << Platform::CommandSet::Kind::Linux;
}

void TestVpnManager::connectAndDisconnect()
{
    QFETCH(Platform::CommandSet::Kind, kind);
    auto manager = makeManager(kind);
    const Expected expected = expectedFor(kind, manager->configFilePath());
    QSignalSpy states(manager.get(), &VpnManager::connectionStateChanged);

    QTest::ignoreMessage(QtDebugMsg, "WireGuard tunnel is up");
    manager->changeConnectionState(ConnectionState::Connecting, config);
    QCOMPARE(manager->connectionState(), int(ConnectionState::Connecting));
    QCOMPARE(states.count(), 0);
    QVERIFY(states.wait(5000));
    QCOMPARE(states.count(), 1);
    QCOMPARE(states.first().at(0).toInt(), int(ConnectionState::Connected));
    QCOMPARE(fakes->calls(), expected.connect);

    manager->changeConnectionState(ConnectionState::Disconnecting);
    QCOMPARE(manager->connectionState(), int(ConnectionState::Disconnecting));
    QVERIFY(states.wait(5000));
    QCOMPARE(states.count(), 2);
    QCOMPARE(states.last().at(0).toInt(), int(ConnectionState::Disconnected));
    QCOMPARE(fakes->calls(), expected.connect + QStringList{expected.remove});

    manager->changeConnectionState(ConnectionState::Error);
    QCOMPARE(manager->connectionState(), int(ConnectionState::Error));
    QTest::qWait(50);
    QCOMPARE(states.count(), 2);
}

void TestVpnManager::mtuRewrite_data()
{
    const QByteArray peer = "[Peer]\nPublicKey = cHVibGljIGtleSBvZiB0aGUgY29ydmFuZSBwZWVyIDE=\n";
    const QByteArray key = "PrivateKey = cHJpdmF0ZSBrZXkgZm9yIGNvcnZhbmUgdGVzdHMgMDE=\n";
    QTest::addColumn<QByteArray>("given");
    QTest::addColumn<QByteArray>("written");
    QTest::newRow("MTU 1280") << "[Interface]\nMTU = 1280\n" + key + peer
                              << "[Interface]\nMTU = 1420\n" + key + peer;
    QTest::newRow("no MTU line") << "[Interface]\n" + key + peer << "[Interface]\n" + key + peer;
    QTest::newRow("two MTU lines") << "[Interface]\nMTU=1280\n" + key + "MTU = 9000\n" + peer
                                   << "[Interface]\nMTU = 1420\n" + key + "MTU = 1420\n" + peer;
    QTest::newRow("indented, spaced")
        << "[Interface]\n  MTU\t=  9000\n" + key + peer << "[Interface]\nMTU = 1420\n" + key + peer;
    QTest::newRow("CRLF: the line ends in a bare LF")
        << "[Interface]\r\nMTU = 1280\r\n" + key + peer
        << "[Interface]\r\nMTU = 1420\n" + key + peer;
}

void TestVpnManager::mtuRewrite()
{
    QFETCH(QByteArray, given);
    auto manager = makeManager(Platform::CommandSet::Kind::Windows);
    QVERIFY(connectTunnel(*manager, given));
    QFile file(manager->configFilePath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QTEST(file.readAll(), "written");
}

void TestVpnManager::configFileIsOwnerOnlyFromTheStart()
{
    auto manager = makeManager(Platform::CommandSet::Kind::Linux);
    QVERIFY(QFileInfo(QFileInfo(manager->configFilePath()).path()).isDir());
    // An existing file with wider permissions is narrowed too.
    QFile existing(manager->configFilePath());
    QVERIFY(existing.open(QIODevice::WriteOnly));
    existing.close();
    QVERIFY(::chmod(QFile::encodeName(manager->configFilePath()).constData(), 0644) == 0);

    // The fake install reports the file's mode at the moment the tunnel tool reads it.
    QVERIFY(connectTunnel(*manager));
    struct stat status {};
    QCOMPARE(::stat(QFile::encodeName(manager->configFilePath()).constData(), &status), 0);
    QCOMPARE(int(status.st_mode & 0777), 0600);
    QFile written(manager->configFilePath());
    QVERIFY(written.open(QIODevice::ReadOnly));
    QVERIFY(
        written.readAll().contains("PrivateKey = cHJpdmF0ZSBrZXkgZm9yIGNvcnZhbmUgdGVzdHMgMDE="));
}

void TestVpnManager::configThatCannotBeWrittenEndsInError_data()
{
    QTest::addColumn<QString>("obstacle");
    QTest::addColumn<QString>("logLine");
    QTest::newRow("cannot open") << "directory"
                                 << "Cannot open config file for writing:";
}

void TestVpnManager::configThatCannotBeWrittenEndsInError()
{
    QFETCH(QString, obstacle);
    QFETCH(QString, logLine);
    auto manager = makeManager(Platform::CommandSet::Kind::Linux);
    const QString path = manager->configFilePath();
    if (obstacle == "directory")
        QVERIFY(QDir().mkpath(path));
    if (!logLine.isEmpty())
        QTest::ignoreMessage(QtDebugMsg,
                             QRegularExpression("^" + QRegularExpression::escape(logLine)));
    QTest::ignoreMessage(QtDebugMsg, "Failed to create WireGuard config file");
    QSignalSpy states(manager.get(), &VpnManager::connectionStateChanged);
    manager->changeConnectionState(ConnectionState::Connecting, config);
    QVERIFY(states.wait(5000));
    QCOMPARE(states.count(), 1);
    QCOMPARE(states.first().at(0).toInt(), int(ConnectionState::Error));
    // Only the removal ran: no tunnel was started from a missing or truncated file.
    QCOMPARE(fakes->calls(), QStringList{"wg-quick\tdown\t" + path});
}

void TestVpnManager::failedInstall_data()
{
    connectAndDisconnect_data();
}

void TestVpnManager::failedInstall()
{
    QFETCH(Platform::CommandSet::Kind, kind);
    auto manager = makeManager(kind);
    const Expected expected = expectedFor(kind, manager->configFilePath());
    // The tunnel tool's calls are counted from 1: the install is the last of connect.
    const int install = expected.connect.size();
    fakes->script(expected.tunnelTool, QStringLiteral("EXIT_%1").arg(install), "1");
    fakes->script(expected.tunnelTool, QStringLiteral("STDERR_%1").arg(install),
                  "Unable to create tunnel");
    // The removal after the failure answers late, so the order can be seen.
    fakes->script(expected.tunnelTool, QStringLiteral("DELAY_MS_%1").arg(install + 1), "150");
    QTest::ignoreMessage(
        QtDebugMsg, "WireGuard tunnel start failed with exit code 1 \"Unable to create tunnel\"");
    QSignalSpy states(manager.get(), &VpnManager::connectionStateChanged);
    manager->changeConnectionState(ConnectionState::Connecting, config);
    QVERIFY(states.wait(5000));
    QCOMPARE(states.count(), 1);
    QCOMPARE(states.first().at(0).toInt(), int(ConnectionState::Error));
    QCOMPARE(fakes->calls(), expected.connect + QStringList{expected.remove});
    QTest::qWait(50);
    QCOMPARE(states.count(), 1);
}

void TestVpnManager::toolsThatCannotStart()
{
    auto manager = makeManager(Platform::CommandSet::Kind::Linux);
    fakes->remove("wg-quick");
    fakes->remove("nft");
    QSignalSpy states(manager.get(), &VpnManager::connectionStateChanged);
    QTest::ignoreMessage(QtDebugMsg, "WireGuard tunnel start failed with exit code -1 \"\"");
    manager->changeConnectionState(ConnectionState::Connecting, config);
    QVERIFY(states.wait(5000));
    QCOMPARE(states.first().at(0).toInt(), int(ConnectionState::Error));

    manager->changeConnectionState(ConnectionState::Disconnecting);
    QVERIFY(states.wait(5000));
    QCOMPARE(states.last().at(0).toInt(), int(ConnectionState::Disconnected));

    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^nft failed -2 "));
    manager->setKillSwitchEnabled(true);
    QVERIFY(!manager->isKillSwitchActive());
}

void TestVpnManager::disconnectWhileDisconnected()
{
    auto manager = makeManager(Platform::CommandSet::Kind::Windows);
    QSignalSpy states(manager.get(), &VpnManager::connectionStateChanged);
    manager->changeConnectionState(ConnectionState::Disconnecting);
    QVERIFY(states.wait(5000));
    QCOMPARE(states.count(), 1);
    QCOMPARE(states.first().at(0).toInt(), int(ConnectionState::Disconnected));
    QCOMPARE(fakes->calls(), QStringList{"wireguard.exe\t/uninstalltunnelservice\tvpn_wg0"});
}

void TestVpnManager::clockTicksWholeSecondsAndStopsWithTheTunnel()
{
    auto manager = makeManager(Platform::CommandSet::Kind::Linux);
    VpnManager::Timings timings;
    timings.statusPollMs = 3600000;
    timings.clockTickMs = 150;
    manager->setTimings(timings);
    QSignalSpy ticks(manager.get(), &VpnManager::connectionTimeUpdated);
    QElapsedTimer sinceUp;
    QVERIFY(connectTunnel(*manager));
    sinceUp.start();
    QTRY_VERIFY_WITH_TIMEOUT(!ticks.isEmpty() && ticks.last().at(0).toInt() == 1, 5000);
    for (const auto &tick : ticks)
        QVERIFY(tick.at(0).toInt() <= sinceUp.elapsed() / 1000 + 1);
    QCOMPARE(ticks.first().at(0).toInt(), 0);
    // A starved event loop skips ticks rather than catching up: more than one is all it owes.
    QVERIFY(ticks.count() >= 2);

    manager->changeConnectionState(ConnectionState::Disconnecting);
    const int atStop = ticks.count();
    QTest::qWait(400);
    QCOMPARE(ticks.count(), atStop);
}

// Hidden, the clock does not tick; shown again, it tells the time at once and ticks on.
void TestVpnManager::clockRestsWhileNoPageShowsIt()
{
    auto manager = makeManager(Platform::CommandSet::Kind::Linux);
    VpnManager::Timings timings;
    timings.statusPollMs = 3600000;
    timings.clockTickMs = 50;
    manager->setTimings(timings);
    manager->setFiguresShown(false);
    QSignalSpy ticks(manager.get(), &VpnManager::connectionTimeUpdated);
    QVERIFY(connectTunnel(*manager));
    QTest::qWait(300);
    QCOMPARE(ticks.count(), 0);
    manager->setFiguresShown(true);
    QCOMPARE(ticks.count(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(ticks.count() >= 3, 2000);
    manager->setFiguresShown(false);
    const int hidden = ticks.count();
    QTest::qWait(300);
    QCOMPARE(ticks.count(), hidden);
}

// A configuration that comes while a removal runs is installed after it: the removal's end
// deletes no new file, leaves the state to the new tunnel, and quitting still removes it.
void TestVpnManager::connectionDuringARemovalWaitsForIt()
{
    auto manager = makeManager(Platform::CommandSet::Kind::Linux);
    fakes->script("wg-quick", "DELAY_MS_1", "700");
    QSignalSpy states(manager.get(), &VpnManager::connectionStateChanged);
    manager->changeConnectionState(ConnectionState::Disconnecting);
    manager->changeConnectionState(ConnectionState::Connecting, config);
    QTRY_COMPARE_WITH_TIMEOUT(manager->connectionState(), int(ConnectionState::Connected), 5000);
    QCOMPARE(states.count(), 1);
    const QStringList calls = fakes->callsOf("wg-quick");
    QCOMPARE(calls.size(), 2);
    QVERIFY(calls.at(0).startsWith("wg-quick\tdown\t"));
    QVERIFY(calls.at(1).startsWith("wg-quick\tup\t"));
    QVERIFY(QFile::exists(manager->configFilePath()));
    QVERIFY(manager->shutDown());
    QVERIFY(fakes->callsOf("wg-quick").last().startsWith("wg-quick\tdown\t"));
}

// wg-quick down failed: the interface and its resolvers go by force, the key file goes, and the
// tunnel counts as removed only because the system no longer shows it.
void TestVpnManager::failedRemovalIsFinishedByForce()
{
    auto manager = makeManager(Platform::CommandSet::Kind::Linux);
    QVERIFY(connectTunnel(*manager));
    fakes->script("wg-quick", "EXIT_2", "1");
    QSignalSpy states(manager.get(), &VpnManager::connectionStateChanged);
    const int before = fakes->calls().size();
    manager->changeConnectionState(ConnectionState::Disconnecting);
    QVERIFY(states.wait(5000));
    QCOMPARE(states.first().at(0).toInt(), int(ConnectionState::Disconnected));
    QCOMPARE(fakes->calls().mid(before),
             QStringList({"wg-quick\tdown\t" + manager->configFilePath(),
                          "ip\tlink\tdelete\tdev\tvpn_wg0", "resolvconf\t-d\tvpn_wg0\t-f",
                          "resolvconf\t-d\ttun.vpn_wg0\t-f"}));
    QVERIFY(!QFile::exists(manager->configFilePath()));
    QVERIFY(!manager->removalFailed());
}

// A Windows tunnel service that could not be uninstalled may still be up: that is an error,
// never a disconnect.
void TestVpnManager::removalThatFailsIsReported()
{
    auto manager = makeManager(Platform::CommandSet::Kind::Windows);
    QVERIFY(connectTunnel(*manager));
    fakes->script("wireguard.exe", "EXIT", "1");
    QSignalSpy states(manager.get(), &VpnManager::connectionStateChanged);
    manager->changeConnectionState(ConnectionState::Disconnecting);
    QVERIFY(states.wait(5000));
    QCOMPARE(states.first().at(0).toInt(), int(ConnectionState::Error));
    QVERIFY(manager->removalFailed());
    QVERIFY(!QFile::exists(manager->configFilePath()));
}

void TestVpnManager::configurationLeftByAnEarlyEndIsDeletedAtStart()
{
    QString path;
    {
        auto first = makeManager(Platform::CommandSet::Kind::Linux);
        QVERIFY(connectTunnel(*first));
        path = first->configFilePath();
    }
    QVERIFY(QFile::exists(path));
    auto next = makeManager(Platform::CommandSet::Kind::Linux);
    QVERIFY(!QFile::exists(path));
}

// Root never writes the private key into a home folder (sudo may keep the member's HOME): a
// root-only folder of its runtime folder, or /run's where that is not root's alone.
void TestVpnManager::rootKeepsTheConfigurationInARootOnlyFolder()
{
    if (::geteuid() != 0)
        QSKIP("only root's client keeps it there");
    auto manager = makeManager(Platform::CommandSet::Kind::Linux);
    const QString folder = QFileInfo(manager->configFilePath()).path();
    QCOMPARE(folder, dataHome->path() + "/corvane");
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                            QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                            QFileDevice::WriteOther | QFileDevice::ExeOther;
    QCOMPARE(QFileInfo(folder).permissions() & others, QFileDevice::Permissions());

    QTemporaryDir shared;
    QVERIFY(QFile::setPermissions(shared.path(), QFileDevice::Permissions(0x7777)));
    qputenv("XDG_RUNTIME_DIR", shared.path().toLocal8Bit());
    auto elsewhere = makeManager(Platform::CommandSet::Kind::Linux);
    QCOMPARE(elsewhere->configFilePath(), QStringLiteral("/run/corvane/vpn_wg0.conf"));
    keepRuntimeFilesUnder(*dataHome);
}

// Something planted at the path is replaced, never written through.
void TestVpnManager::aLinkAtTheConfigurationPathIsNotFollowed()
{
    auto manager = makeManager(Platform::CommandSet::Kind::Linux);
    const QString target = dataHome->filePath("elsewhere");
    QVERIFY(QFile::link(target, manager->configFilePath()));
    QVERIFY(connectTunnel(*manager));
    QVERIFY(!QFile::exists(target));
    QVERIFY(!QFileInfo(manager->configFilePath()).isSymLink());
    QVERIFY(QFileInfo(manager->configFilePath()).isFile());
}

// The file system takes only part of the text (a full disk, a size limit): no file is written.
void TestVpnManager::aWriteThatFallsShortIsNoFile()
{
    const QString path = dataHome->filePath("short.conf");
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit previous = {};
    QVERIFY(::getrlimit(RLIMIT_FSIZE, &previous) == 0);
    rlimit small = previous;
    small.rlim_cur = 16;
    QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
    const Platform::PrivateFileResult result = Platform::writePrivateFile(path, config);
    ::setrlimit(RLIMIT_FSIZE, &previous);
    ::signal(SIGXFSZ, SIG_DFL);
    QCOMPARE(result, Platform::PrivateFileResult::WriteFailed);
}

void TestVpnManager::trafficRates_data()
{
    QTest::addColumn<QStringList>("outputs");
    QTest::addColumn<QVector<quint64>>("rates"); // download, upload, download, upload, ...
    QTest::newRow("1000/500 then 4000/800") << QStringList{"key\t1000\t500\n", "key\t4000\t800\n"}
                                            << QVector<quint64>{1000, 500, 3000, 300};
    QTest::newRow("blanks around are trimmed")
        << QStringList{"  key\t10\t20  \n\n"} << QVector<quint64>{10, 20};
    QTest::newRow("two peers are summed")
        << QStringList{"a\t100\t10\nb\t200\t20\n", "a\t150\t10\nb\t250\t25\n"}
        << QVector<quint64>{300, 30, 100, 5};
    QTest::newRow("a counter that goes down reports the new total")
        << QStringList{"key\t5000\t4000\n", "key\t300\t200\n"}
        << QVector<quint64>{5000, 4000, 300, 200};
    QTest::newRow("fewer than three parts: nothing")
        << QStringList{"key\t1000\n", "key\t1000\t10\n"} << QVector<quint64>{1000, 10};
    QTest::newRow("not a number leaves the last figures")
        << QStringList{"key\t100\t7\n", "key\tmany\t9\n", "key\t150\t10\n"}
        << QVector<quint64>{100, 7, 50, 3};
    QTest::newRow("a number past 64 bits is no reading")
        << QStringList{"key\t100\t7\n", "key\t18446744073709551616\t9\n"}
        << QVector<quint64>{100, 7};
    QTest::newRow("a sum past 64 bits is no reading")
        << QStringList{"key\t100\t7\n", "a\t18446744073709551615\t9\nb\t1\t1\n"}
        << QVector<quint64>{100, 7};
}

void TestVpnManager::trafficRates()
{
    QFETCH(QStringList, outputs);
    QFETCH(QVector<quint64>, rates);
    auto manager = makeManager(Platform::CommandSet::Kind::Windows);
    for (int i = 0; i < outputs.size(); ++i)
        fakes->script("wg.exe", QStringLiteral("STDOUT_%1").arg(i + 1), outputs.at(i));
    QVERIFY(connectTunnel(*manager));
    QVector<quint64> emitted;
    connect(manager.get(), &VpnManager::updateDownloadSpeed, this,
            [&](quint64 v) { emitted << v; });
    connect(manager.get(), &VpnManager::updateUploadSpeed, this, [&](quint64 v) { emitted << v; });
    for (int i = 0; i < outputs.size(); ++i)
        QVERIFY(pollTraffic(*manager));
    QCOMPARE(emitted, rates);
    QCOMPARE(fakes->callsOf("wg.exe").first(), QStringLiteral("wg.exe\tshow\tvpn_wg0\ttransfer"));
    QCOMPARE(manager->connectionState(), int(ConnectionState::Connected));
}

struct HealthPoll {
    QString transfer;
    // Age of the newest handshake in seconds; -1 for none yet.
    int handshakeAge;
    bool stale;
};
Q_DECLARE_METATYPE(QVector<HealthPoll>)

void TestVpnManager::staleWhenSendingIntoAnOldSession_data()
{
    QTest::addColumn<QVector<HealthPoll>>("polls");
    // The handshakes are read only for polls that send with nothing received.
    QTest::addColumn<int>("handshakeReads");
    QTest::newRow("sending only past 180 s, then a new handshake")
        << QVector<HealthPoll>{{"k\t1000\t500", 10, false},
                               {"k\t1000\t900", 170, false},
                               {"k\t1000\t1300", 181, true},
                               {"k\t1000\t1300", 200, true},
                               {"k\t1000\t1700", 3, false}}
        << 3;
    QTest::newRow("an idle tunnel with an old handshake is not stale")
        << QVector<HealthPoll>{{"k\t1000\t500", 400, false}, {"k\t1000\t500", 600, false}} << 0;
    QTest::newRow("anything received proves the session")
        << QVector<HealthPoll>{{"k\t1000\t500", 10, false},
                               {"k\t1000\t900", 300, true},
                               {"k\t1200\t1300", 300, false}}
        << 1;
    QTest::newRow("no handshake yet counts from the start")
        << QVector<HealthPoll>{{"k\t0\t500", -1, false}, {"k\t0\t900", -1, false}} << 2;
    QTest::newRow("an unreadable answer changes nothing")
        << QVector<HealthPoll>{{"k\t0\t500", 300, true}, {"k\t0\t900", -2, true}} << 2;
}

// The handshakes are read with each traffic poll; the tunnel is stale while it sends into a
// session older than WireGuard keeps, and only then.
void TestVpnManager::staleWhenSendingIntoAnOldSession()
{
    QFETCH(QVector<HealthPoll>, polls);
    auto manager = makeManager(Platform::CommandSet::Kind::Linux);
    QVERIFY(connectTunnel(*manager));
    QSignalSpy health(manager.get(), &VpnManager::tunnelHealthChanged);
    bool stale = false;
    for (const HealthPoll &poll : polls) {
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        fakes->script("wg", "STDOUT_FOR_TRANSFER", poll.transfer + "\n");
        const QString handshakes = poll.handshakeAge == -2 ? QStringLiteral("k\tlately\n")
                                   : poll.handshakeAge < 0
                                       ? QStringLiteral("k\t0\n")
                                       : QStringLiteral("k\t%1\n").arg(now - poll.handshakeAge);
        fakes->script("wg", "STDOUT_FOR_LATEST_HANDSHAKES", handshakes);
        QVERIFY(pollTraffic(*manager));
        QCOMPARE(manager->isTunnelStale(), poll.stale);
        if (poll.stale != stale) {
            QCOMPARE(health.takeFirst().at(0).toBool(), poll.stale);
            stale = poll.stale;
        }
        QVERIFY(health.isEmpty());
    }
    QTEST(int(fakes->callsOf("wg").count("wg\tshow\tvpn_wg0\tlatest-handshakes")),
          "handshakeReads");
}

void TestVpnManager::threeEmptyPollsEndInError_data()
{
    connectAndDisconnect_data();
}

void TestVpnManager::threeEmptyPollsEndInError()
{
    QFETCH(Platform::CommandSet::Kind, kind);
    auto manager = makeManager(kind);
    VpnManager::Timings timings;
    timings.statusPollMs = 40;
    timings.clockTickMs = 3600000;
    manager->setTimings(timings);
    const Expected expected = expectedFor(kind, manager->configFilePath());
    QSignalSpy states(manager.get(), &VpnManager::connectionStateChanged);
    QSignalSpy rates(manager.get(), &VpnManager::updateDownloadSpeed);
    QVERIFY(connectTunnel(*manager));
    QTRY_COMPARE_WITH_TIMEOUT(states.count(), 2, 5000);
    QCOMPARE(states.last().at(0).toInt(), int(ConnectionState::Error));
    QTest::qWait(200);
    QCOMPARE(states.count(), 2);
    QCOMPARE(fakes->callsOf(expected.transferTool).size(), 3);
    QCOMPARE(fakes->calls().last(), expected.remove);
    QCOMPARE(fakes->callsOf(expected.tunnelTool).size(), expected.connect.size() + 1);
    QCOMPARE(rates.count(), 0);
}

void TestVpnManager::twoEmptyPollsThenValidAreTolerated()
{
    auto manager = makeManager(Platform::CommandSet::Kind::Linux);
    fakes->script("wg", "STDOUT_3", "key\t64\t32\n");
    QSignalSpy states(manager.get(), &VpnManager::connectionStateChanged);
    QSignalSpy download(manager.get(), &VpnManager::updateDownloadSpeed);
    QSignalSpy upload(manager.get(), &VpnManager::updateUploadSpeed);
    QVERIFY(connectTunnel(*manager));
    for (int poll = 0; poll < 5; ++poll)
        QVERIFY(pollTraffic(*manager));
    // Empty, empty, valid, empty, empty: the count starts again after the valid poll.
    QTest::qWait(100);
    QCOMPARE(states.count(), 1);
    QCOMPARE(download.count(), 1);
    QCOMPARE(upload.count(), 1);
    QCOMPARE(upload.first().at(0).toULongLong(), quint64(32));
    QCOMPARE(manager->connectionState(), int(ConnectionState::Connected));
}

void TestVpnManager::killSwitchWhileDisconnected_data()
{
    connectAndDisconnect_data();
}

void TestVpnManager::killSwitchWhileDisconnected()
{
    QFETCH(Platform::CommandSet::Kind, kind);
    auto manager = makeManager(kind);
    const Expected expected = expectedFor(kind, manager->configFilePath());
    QTest::ignoreMessage(QtDebugMsg, "Activating kill switch - blocking all non-VPN traffic");
    manager->setKillSwitchEnabled(true);
    QVERIFY(manager->isKillSwitchActive());
    const QStringList calls = fakes->calls();
    QCOMPARE(calls.size(), expected.putBefore.size() + 1);
    QCOMPARE(calls.mid(0, expected.putBefore.size()), expected.putBefore);
    QVERIFY2(calls.last().startsWith(expected.putPrefix), qPrintable(calls.last()));

    manager->setKillSwitchEnabled(true);
    QCOMPARE(fakes->calls().size(), calls.size());
}

// The block that would let the tunnel through cannot be put in force: the tunnel is not made,
// the state is Error and the fault is said; once the firewall takes it, both clear.
void TestVpnManager::noTunnelWithoutTheBlockWhileTheSwitchIsOn()
{
    auto manager = makeManager(Platform::CommandSet::Kind::Linux);
    QSignalSpy faults(manager.get(), &VpnManager::killSwitchFaultChanged);
    manager->setKillSwitchEnabled(true);
    QVERIFY(manager->isKillSwitchActive());
    fakes->script("nft", "EXIT", "1");
    QSignalSpy states(manager.get(), &VpnManager::connectionStateChanged);
    manager->changeConnectionState(ConnectionState::Connecting, config);
    QTRY_COMPARE_WITH_TIMEOUT(states.count(), 1, 5000);
    QCOMPARE(states.first().at(0).toInt(), int(ConnectionState::Error));
    QVERIFY(fakes->callsOf("wg-quick").isEmpty());
    QVERIFY(!QFile::exists(manager->configFilePath()));
    QCOMPARE(manager->killSwitchFault(), VpnManager::KillSwitchFault::FirewallRefused);
    QCOMPARE(faults.count(), 1);

    fakes->script("nft", "EXIT", "0");
    manager->setKillSwitchEnabled(true);
    QCOMPARE(manager->killSwitchFault(), VpnManager::KillSwitchFault::None);
    QCOMPARE(faults.count(), 2);
}

void TestVpnManager::killSwitchWaitsForTheStopWhileConnectedOnWindows()
{
    auto manager = makeManager(Platform::CommandSet::Kind::Windows);
    QVERIFY(connectTunnel(*manager));
    const int before = fakes->calls().size();
    manager->setKillSwitchEnabled(true);
    QCOMPARE(fakes->calls().size(), before);
    QVERIFY(!manager->isKillSwitchActive());

    QSignalSpy states(manager.get(), &VpnManager::connectionStateChanged);
    manager->changeConnectionState(ConnectionState::Disconnecting);
    QVERIFY(states.wait(5000));
    QVERIFY(manager->isKillSwitchActive());
    QCOMPARE(fakes->callsOf("netsh").size(), 3);
    QVERIFY(fakes->callsOf("netsh").last().contains("\tadd\t"));
}

void TestVpnManager::killSwitchOffDeletesWhereABlockMayBe_data()
{
    connectAndDisconnect_data();
}

// With the switch off, a run deletes a block only where one may be in force: its own, or one an
// earlier run put in place and never lifted (it ended without quitting). Otherwise the firewall
// tool is not run at all.
void TestVpnManager::killSwitchOffDeletesWhereABlockMayBe()
{
    QFETCH(Platform::CommandSet::Kind, kind);
    const auto callsSince = [this](int before) { return fakes->calls().mid(before); };
    makeManager(kind)->setKillSwitchEnabled(false);
    QCOMPARE(fakes->calls(), QStringList());

    // An earlier run put a block in place and ended without lifting it.
    makeManager(kind)->setKillSwitchEnabled(true);
    int before = fakes->calls().size();
    auto nextRun = makeManager(kind);
    QTest::ignoreMessage(QtDebugMsg, "Deactivating kill switch - restoring normal traffic");
    nextRun->setKillSwitchEnabled(false);
    QCOMPARE(callsSince(before), expectedFor(kind, nextRun->configFilePath()).lift);

    before = fakes->calls().size();
    makeManager(kind)->setKillSwitchEnabled(false);
    QCOMPARE(callsSince(before), QStringList());
}

// A block that could not be lifted is tried again by the next run.
void TestVpnManager::blockThatStaysIsLiftedByTheNextRun()
{
    const auto deletions = [this] {
        return fakes->calls().filter("delete table inet VPNKillSwitch\\n").size();
    };
    makeManager(Platform::CommandSet::Kind::Linux)->setKillSwitchEnabled(true);
    fakes->script("nft", "EXIT", "1");
    makeManager(Platform::CommandSet::Kind::Linux)->setKillSwitchEnabled(false);
    const int failedDeletions = deletions();
    QVERIFY(failedDeletions > 0);
    fakes->script("nft", "EXIT", "0");
    makeManager(Platform::CommandSet::Kind::Linux)->setKillSwitchEnabled(false);
    QVERIFY(deletions() > failedDeletions);
    const int liftedDeletions = deletions();
    makeManager(Platform::CommandSet::Kind::Linux)->setKillSwitchEnabled(false);
    QCOMPARE(deletions(), liftedDeletions);
}

void TestVpnManager::failedAddIsRetriedAtTheNextChance()
{
    auto manager = makeManager(Platform::CommandSet::Kind::Windows);
    fakes->script("netsh", "EXIT_3", "1");
    QTest::ignoreMessage(QtDebugMsg,
                         QRegularExpression("^netsh failed 1 advfirewall firewall add"));
    manager->setKillSwitchEnabled(true);
    QVERIFY(!manager->isKillSwitchActive());
    manager->setKillSwitchEnabled(true);
    QVERIFY(manager->isKillSwitchActive());
    QCOMPARE(fakes->callsOf("netsh").size(), 6);
}

void TestVpnManager::connectWhileBlockedOnWindowsLiftsTheBlockFirst()
{
    auto manager = makeManager(Platform::CommandSet::Kind::Windows);
    const Expected expected =
        expectedFor(Platform::CommandSet::Kind::Windows, manager->configFilePath());
    manager->setKillSwitchEnabled(true);
    manager->prepareForConfigurationRequest();
    QVERIFY(!manager->isKillSwitchActive());
    QVERIFY(connectTunnel(*manager));
    QVERIFY(!manager->isKillSwitchActive());
    QCOMPARE(fakes->calls().mid(3), expected.lift + expected.connect);
}

// With the switch on, the Linux block is never lifted: from the configuration request on only
// the tunnel, its peer, the services and the resolvers are let through, and after the tunnel
// the plain block returns.
void TestVpnManager::linuxSwitchHoldsThroughTheWholeConnection()
{
    auto manager = makeManager(Platform::CommandSet::Kind::Linux);
    const Expected expected =
        expectedFor(Platform::CommandSet::Kind::Linux, manager->configFilePath());
    manager->setKillSwitchEnabled(true);
    manager->prepareForConfigurationRequest();
    manager->beginServiceRequest();
    manager->endServiceRequest();
    QCOMPARE(fakes->calls().size(), 1);

    QTest::ignoreMessage(QtDebugMsg, "Kill switch: only the tunnel may carry traffic");
    QVERIFY(connectTunnel(*manager, sampleConfig("198.51.100.7:51820")));
    QVERIFY(manager->isKillSwitchActive());
    const QStringList calls = fakes->calls();
    QCOMPARE(calls.size(), 2 + expected.connect.size());
    QVERIFY(calls.at(1).startsWith(expected.putPrefix));
    QCOMPARE(calls.mid(2), expected.connect);
    const QString tunnelRules = calls.at(1);
    QVERIFY2(tunnelRules.contains("oifname \"vpn_wg0\" accept"), qPrintable(tunnelRules));
    QVERIFY(tunnelRules.contains("ip daddr 198.51.100.7 udp dport 51820 accept"));
    QVERIFY(tunnelRules.contains("policy drop;"));

    QSignalSpy states(manager.get(), &VpnManager::connectionStateChanged);
    manager->changeConnectionState(ConnectionState::Disconnecting);
    QVERIFY(states.wait(5000));
    QVERIFY(manager->isKillSwitchActive());
    const QString blockAfter = fakes->callsOf("nft").last();
    QVERIFY(blockAfter.startsWith(expected.putPrefix));
    QVERIFY(!blockAfter.contains("vpn_wg0"));
    QVERIFY(!blockAfter.contains("51820"));
    QVERIFY(fakes->callsOf("nft").filter("VPNKillSwitchAllow").isEmpty());
}

void TestVpnManager::linuxSwitchTurnedOnWhileConnectedKeepsOnlyTheTunnel()
{
    auto manager = makeManager(Platform::CommandSet::Kind::Linux);
    QVERIFY(connectTunnel(*manager));
    manager->setKillSwitchEnabled(true);
    QVERIFY(manager->isKillSwitchActive());
    QVERIFY(fakes->callsOf("nft").last().contains("oifname \"vpn_wg0\" accept"));
}

void TestVpnManager::windowsBlockIsLiftedOnlyWhileASignInRequestRuns()
{
    auto manager = makeManager(Platform::CommandSet::Kind::Windows);
    manager->setKillSwitchEnabled(true);
    manager->beginServiceRequest();
    QVERIFY(!manager->isKillSwitchActive());
    manager->beginServiceRequest();
    manager->endServiceRequest();
    QVERIFY(!manager->isKillSwitchActive());
    manager->endServiceRequest();
    QVERIFY(manager->isKillSwitchActive());
    // Switched off meanwhile: the block does not come back.
    manager->beginServiceRequest();
    manager->setKillSwitchEnabled(false);
    manager->endServiceRequest();
    QVERIFY(!manager->isKillSwitchActive());
    QVERIFY(!fakes->callsOf("netsh").last().contains("\tadd\t"));
}

// A connect pressed before the sign-in's last reply: the configuration request is on its way when
// the sign-in ends, and the Windows block, which stops every request, must not come back under
// it. It returns once the home screen gives up on the request.
void TestVpnManager::signInEndingDuringAConfigurationRequestLeavesTheBlockLifted()
{
    auto manager = makeManager(Platform::CommandSet::Kind::Windows);
    manager->setKillSwitchEnabled(true);
    manager->beginServiceRequest();
    manager->prepareForConfigurationRequest();
    manager->endServiceRequest();
    QVERIFY(!manager->isKillSwitchActive());
    QVERIFY(!fakes->callsOf("netsh").last().contains("\tadd\t"));

    QVERIFY(connectTunnel(*manager));
    QVERIFY(!manager->isKillSwitchActive());

    // Once the request was answered, a later sign-in request puts the block back as before.
    QSignalSpy states(manager.get(), &VpnManager::connectionStateChanged);
    manager->changeConnectionState(ConnectionState::Disconnecting);
    QVERIFY(states.wait(5000));
    QVERIFY(manager->isKillSwitchActive());
    manager->beginServiceRequest();
    manager->endServiceRequest();
    QVERIFY(manager->isKillSwitchActive());

    // No configuration came, and no fallback remains: the home screen restores the block.
    manager->beginServiceRequest();
    manager->prepareForConfigurationRequest();
    manager->endServiceRequest();
    QVERIFY(!manager->isKillSwitchActive());
    manager->setKillSwitchEnabled(true);
    QVERIFY(manager->isKillSwitchActive());
}

void TestVpnManager::failedStopReappliesTheBlock()
{
    auto manager = makeManager(Platform::CommandSet::Kind::Linux);
    manager->setKillSwitchEnabled(true);
    fakes->script("wg-quick", "EXIT_1", "1");
    QSignalSpy states(manager.get(), &VpnManager::connectionStateChanged);
    manager->changeConnectionState(ConnectionState::Connecting, config);
    QVERIFY(states.wait(5000));
    QCOMPARE(states.first().at(0).toInt(), int(ConnectionState::Error));
    QVERIFY(manager->isKillSwitchActive());
    QVERIFY(fakes->callsOf("nft").last().contains("policy drop;"));
    QVERIFY(!fakes->callsOf("nft").last().contains("vpn_wg0"));
}

void TestVpnManager::linuxBlockLetsOnlyServicesAndResolversThrough()
{
    auto manager = makeManager(Platform::CommandSet::Kind::Linux);
    manager->setKillSwitchEnabled(true);
    const QString table = fakes->callsOf("nft").last().section('\t', 1).replace("\\n", "\n");
    QVERIFY2(table.contains("policy drop;"), qPrintable(table));
    QVERIFY(table.contains("oifname \"lo\" accept"));
    // Both services on both their ports (9 and 8000), for this user's programs only.
    for (const int port : {9, 8000})
        QVERIFY2(table.contains(QStringLiteral("ip daddr { 127.0.0.1, 198.51.100.20 } tcp dport "
                                               "%1 meta skuid %2 accept")
                                    .arg(port)
                                    .arg(::getuid())),
                 qPrintable(table));
    for (const QString &line : table.split('\n')) {
        if (line.contains("dport 53"))
            QVERIFY2(line.contains(" daddr "), qPrintable(line));
    }
}

// A new network brings its own resolvers: the block in force is put again with them.
void TestVpnManager::newNetworkRefreshesTheBlock()
{
    auto manager = makeManager(Platform::CommandSet::Kind::Linux);
    manager->setKillSwitchEnabled(true);
    const int puts = fakes->callsOf("nft").size();
    manager->networkChanged();
    QCOMPARE(fakes->callsOf("nft").size(), puts + 1);
    QVERIFY(fakes->callsOf("nft").last().contains("policy drop;"));
}

void TestVpnManager::refusedConfigurationRunsNothing()
{
    auto manager = makeManager(Platform::CommandSet::Kind::Linux);
    QSignalSpy states(manager.get(), &VpnManager::connectionStateChanged);
    QTest::ignoreMessage(QtDebugMsg, "WireGuard configuration refused: line 10 carries PostUp");
    manager->changeConnectionState(ConnectionState::Connecting,
                                   config + "PostUp = touch /tmp/corvane-hook\n");
    QCOMPARE(states.count(), 1);
    QCOMPARE(states.first().at(0).toInt(), int(ConnectionState::Error));
    QVERIFY(!QFile::exists(manager->configFilePath()));
    QTest::qWait(50);
    QCOMPARE(fakes->calls(), QStringList());
}

void TestVpnManager::configFileIsDeletedOnceTheTunnelIsRemoved()
{
    auto manager = makeManager(Platform::CommandSet::Kind::Linux);
    QVERIFY(connectTunnel(*manager));
    QVERIFY(QFile::exists(manager->configFilePath()));
    // The removal still finds the file it needs.
    fakes->script("wg-quick", "DELAY_MS_3", "100");
    QSignalSpy states(manager.get(), &VpnManager::connectionStateChanged);
    manager->changeConnectionState(ConnectionState::Disconnecting);
    QVERIFY(QFile::exists(manager->configFilePath()));
    QVERIFY(states.wait(5000));
    QVERIFY(!QFile::exists(manager->configFilePath()));
}

void TestVpnManager::shutDownRemovesTunnelFileAndBlock_data()
{
    connectAndDisconnect_data();
}

void TestVpnManager::shutDownRemovesTunnelFileAndBlock()
{
    QFETCH(Platform::CommandSet::Kind, kind);
    auto manager = makeManager(kind);
    const Expected expected = expectedFor(kind, manager->configFilePath());
    manager->setKillSwitchEnabled(true);
    QVERIFY(connectTunnel(*manager));
    const int before = fakes->calls().size();
    QVERIFY(manager->shutDown());
    // The Linux block held while connected and is lifted; the Windows one was already lifted.
    const QStringList lift =
        kind == Platform::CommandSet::Kind::Linux ? expected.lift : QStringList();
    QCOMPARE(fakes->calls().mid(before), QStringList{expected.remove} + lift);
    QVERIFY(!QFile::exists(manager->configFilePath()));
    QVERIFY(!manager->isKillSwitchActive());
    QTest::qWait(100);
    QCOMPARE(fakes->calls().size(), before + 1 + lift.size());
    QVERIFY(!manager->shutDown());
}

QTEST_GUILESS_MAIN(TestVpnManager)
#include "TestVpnManager.moc"
