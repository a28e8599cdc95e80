#include "ClientSetUp.h"
#include "RealSystem.h"
#include "vpn/VpnManager.h"

#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtTest>

#include <memory>

// A real WireGuard tunnel and a real nftables kill switch, inside the client namespace that
// tests/helpers/with-tunnel-namespaces prepares; CTest runs it only as root.
class TestVpnManagerRealTunnel : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void tunnelCarriesTrafficAndComesDown();
    void tunnelDeletedFromOutsideEndsInError_data();
    void tunnelDeletedFromOutsideEndsInError();
    void unseenRatesReadTheInterfaceNotTheTool();
    void tunnelLeftByAnEarlierRunIsReplaced();
    void dnsLinesConnectWithoutTouchingTheHostResolver();
    void killSwitchLetsOnlyServicesResolverAndTunnelThrough();
    void neighbourDiscoveryPassesTheBlock();
    void forwardedTrafficIsBlocked();

private:
    bool connectTunnel();
    static QString environment(const char *name) { return qEnvironmentVariable(name); }
    static bool interfaceExists() { return runProgram("ip", {"link", "show", "vpn_wg0"}) == 0; }
    static bool blockTableExists();
    static bool reachable(const QString &address);
    static bool dnsAnswered(const QString &address);

    QByteArray config;
    std::unique_ptr<VpnManager> manager;
    QTemporaryDir runtimeFolder;
};

bool TestVpnManagerRealTunnel::blockTableExists()
{
    QByteArray tables;
    runProgram("nft", {"list", "tables"}, &tables);
    return tables.contains("inet VPNKillSwitch");
}

bool TestVpnManagerRealTunnel::reachable(const QString &address)
{
    return tcpReachable(address, quint16(environment("CORVANE_SERVICE_PORT").toUInt()));
}

// A datagram to port 53 that the listener there echoes back.
bool TestVpnManagerRealTunnel::dnsAnswered(const QString &address)
{
    QUdpSocket socket;
    socket.writeDatagram(QByteArray("corvane"), QHostAddress(address), 53);
    return socket.waitForReadyRead(1000);
}

void TestVpnManagerRealTunnel::initTestCase()
{
    QFile file(environment("CORVANE_TUNNEL_CONFIG"));
    QVERIFY2(file.open(QIODevice::ReadOnly), "run through tests/helpers/with-tunnel-namespaces");
    config = file.readAll();
    QVERIFY(config.contains("MTU = 1280"));
}

void TestVpnManagerRealTunnel::init()
{
    keepRuntimeFilesUnder(runtimeFolder);
    manager = std::make_unique<VpnManager>(nullptr, Platform::CommandSet::linux());
    manager->setServiceUrls(
        {environment("CORVANE_ACCOUNT_API_URL"), environment("CORVANE_VPN_API_URL")});
    VpnManager::Timings fast;
    fast.statusPollMs = 250;
    manager->setTimings(fast);
}

void TestVpnManagerRealTunnel::cleanup()
{
    const QString configFile = manager->configFilePath();
    manager.reset();
    runProgram("wg-quick", {"down", configFile});
    // A tunnel whose configuration file is already gone.
    runProgram("ip", {"link", "delete", "vpn_wg0"});
    runProgram("nft", {"delete", "table", "inet", "VPNKillSwitch"});
}

bool TestVpnManagerRealTunnel::connectTunnel()
{
    QSignalSpy states(manager.get(), &VpnManager::connectionStateChanged);
    manager->changeConnectionState(ConnectionState::Connecting, config);
    return states.wait(30000) && states.last().at(0).toInt() == ConnectionState::Connected;
}

void TestVpnManagerRealTunnel::tunnelCarriesTrafficAndComesDown()
{
    quint64 downloaded = 0;
    quint64 uploaded = 0;
    connect(manager.get(), &VpnManager::updateDownloadSpeed, this,
            [&](quint64 v) { downloaded += v; });
    connect(manager.get(), &VpnManager::updateUploadSpeed, this, [&](quint64 v) { uploaded += v; });
    QVERIFY(connectTunnel());
    QVERIFY(interfaceExists());
    QByteArray mtu;
    runProgram("ip", {"-o", "link", "show", "vpn_wg0"}, &mtu);
    QVERIFY2(mtu.contains("mtu 1420"), mtu.constData());

    QCOMPARE(runProgram("ping", {"-n", "-c", "3", "-i", "0.2", "-W", "2",
                                 environment("CORVANE_TUNNEL_PEER_ADDRESS")}),
             0);
    // The rates add up to the counters WireGuard itself reports.
    QByteArray transfer;
    runProgram("wg", {"show", "vpn_wg0", "transfer"}, &transfer);
    const QList<QByteArray> fields = transfer.trimmed().split('\t');
    QCOMPARE(fields.size(), 3);
    const quint64 received = fields.at(1).toULongLong();
    const quint64 sent = fields.at(2).toULongLong();
    QVERIFY(received > 3 * 84 && sent > 3 * 84);
    QTRY_VERIFY_WITH_TIMEOUT(downloaded >= received && uploaded >= sent, 5000);

    QSignalSpy states(manager.get(), &VpnManager::connectionStateChanged);
    manager->changeConnectionState(ConnectionState::Disconnecting);
    QVERIFY(states.wait(20000));
    QCOMPARE(states.last().at(0).toInt(), int(ConnectionState::Disconnected));
    QVERIFY(!interfaceExists());
}

// wg-quick hands DNS lines to resolvconf; in the namespace that writes the namespace's own
// resolv.conf (/etc/netns), never the machine's.
void TestVpnManagerRealTunnel::dnsLinesConnectWithoutTouchingTheHostResolver()
{
    const auto hostResolver = [] {
        QFile file("/proc/1/root/etc/resolv.conf");
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("unreadable");
    };
    const QByteArray before = hostResolver();
    config.replace("MTU = 1280", "MTU = 1280\nDNS = 10.66.66.1");
    QVERIFY(connectTunnel());
    QFile own("/etc/resolv.conf");
    QVERIFY(own.open(QIODevice::ReadOnly));
    QVERIFY(own.readAll().contains("nameserver 10.66.66.1"));
    QCOMPARE(hostResolver(), before);

    QSignalSpy states(manager.get(), &VpnManager::connectionStateChanged);
    manager->changeConnectionState(ConnectionState::Disconnecting);
    QVERIFY(states.wait(20000));
    QCOMPARE(states.last().at(0).toInt(), int(ConnectionState::Disconnected));
    QCOMPARE(hostResolver(), before);
    config.replace("\nDNS = 10.66.66.1", "");
}

void TestVpnManagerRealTunnel::tunnelDeletedFromOutsideEndsInError_data()
{
    QTest::addColumn<bool>("figuresShown");
    QTest::newRow("rates shown") << true;
    QTest::newRow("rates unseen") << false;
}

void TestVpnManagerRealTunnel::tunnelDeletedFromOutsideEndsInError()
{
    QFETCH(bool, figuresShown);
    manager->setFiguresShown(figuresShown);
    QVERIFY(connectTunnel());
    QSignalSpy states(manager.get(), &VpnManager::connectionStateChanged);
    QCOMPARE(runProgram("ip", {"link", "delete", "vpn_wg0"}), 0);
    QVERIFY(states.wait(10000));
    QCOMPARE(states.count(), 1);
    QCOMPARE(states.first().at(0).toInt(), int(ConnectionState::Error));
}

// While no page shows the rates, the poll reads the interface's counters and runs no wg; shown
// again, the rates start from a fresh base instead of adding up everything sent meanwhile.
void TestVpnManagerRealTunnel::unseenRatesReadTheInterfaceNotTheTool()
{
    QTemporaryDir wrapperDir;
    const QString log = wrapperDir.filePath("wg.log");
    QFile wrapper(wrapperDir.filePath("wg"));
    QVERIFY(wrapper.open(QIODevice::WriteOnly));
    wrapper.write("#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" + log.toUtf8() + "'\nexec '" +
                  QStandardPaths::findExecutable("wg").toUtf8() + "' \"$@\"\n");
    wrapper.close();
    wrapper.setPermissions(wrapper.permissions() | QFileDevice::ExeOwner);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", wrapperDir.path().toUtf8() + ':' + path);
    const auto toolPolls = [&log] {
        QFile file(log);
        return file.open(QIODevice::ReadOnly) ? file.readAll().count("show vpn_wg0 transfer") : 0;
    };
    QVector<quint64> rates;
    connect(manager.get(), &VpnManager::updateDownloadSpeed, this,
            [&rates](quint64 bytes) { rates.append(bytes); });

    QVERIFY(connectTunnel());
    QTRY_VERIFY_WITH_TIMEOUT(toolPolls() > 0, 2000);
    manager->setFiguresShown(false);
    QTest::qWait(300);
    const int polledBeforeHiding = toolPolls();
    rates.clear();
    QCOMPARE(runProgram("ping", {"-n", "-c", "5", "-i", "0.2", "-W", "2",
                                 environment("CORVANE_TUNNEL_PEER_ADDRESS")}),
             0);
    QTest::qWait(1000);
    QCOMPARE(toolPolls(), polledBeforeHiding);
    QVERIFY(rates.isEmpty());
    QCOMPARE(manager->connectionState(), int(ConnectionState::Connected));

    manager->setFiguresShown(true);
    QTRY_VERIFY_WITH_TIMEOUT(rates.size() >= 2, 3000);
    qputenv("PATH", path);
    QVERIFY(toolPolls() > polledBeforeHiding);
    // Five echoes are over 5 * 84 bytes; nothing crossed the tunnel since it was shown.
    for (quint64 bytes : qAsConst(rates))
        QVERIFY2(bytes < 84, QByteArray::number(bytes).constData());
}

// A vpn_wg0 the client did not bring up in this run (an earlier run's, left by a crash) is
// removed before the new one is installed; the install alone would find the name taken.
void TestVpnManagerRealTunnel::tunnelLeftByAnEarlierRunIsReplaced()
{
    QTemporaryDir earlier;
    QFile leftover(earlier.filePath("vpn_wg0.conf"));
    QVERIFY(leftover.open(QIODevice::WriteOnly));
    leftover.write(config);
    leftover.close();
    QCOMPARE(runProgram("wg-quick", {"up", leftover.fileName()}), 0);
    QVERIFY(interfaceExists());

    QVERIFY(connectTunnel());
    QCOMPARE(runProgram("ping",
                        {"-n", "-c", "1", "-W", "2", environment("CORVANE_TUNNEL_PEER_ADDRESS")}),
             0);
}

void TestVpnManagerRealTunnel::killSwitchLetsOnlyServicesResolverAndTunnelThrough()
{
    const QString service = environment("CORVANE_SERVICE_ADDRESS");
    const QString other = environment("CORVANE_OTHER_ADDRESS");
    const QString resolver = environment("CORVANE_RESOLVER_ADDRESS");
    const quint16 servicePort = quint16(environment("CORVANE_SERVICE_PORT").toUInt());
    QVERIFY(reachable(service));
    QVERIFY(reachable(other));
    QVERIFY(dnsAnswered(resolver));
    QVERIFY(dnsAnswered(other));
    QVERIFY(tcpLeaves(service, servicePort + 1));
    QVERIFY(reachableByAnotherUser(service, servicePort));

    // No tunnel: the services and the configured resolver only, the services on their port and
    // for this user alone.
    manager->setKillSwitchEnabled(true);
    QVERIFY(manager->isKillSwitchActive());
    QVERIFY(blockTableExists());
    QVERIFY(reachable(service));
    QVERIFY(!reachable(other));
    QVERIFY(dnsAnswered(resolver));
    QVERIFY(!dnsAnswered(other));
    QVERIFY(!tcpLeaves(service, servicePort + 1));
    QVERIFY(!reachableByAnotherUser(service, servicePort));

    // Connected: the tunnel carries traffic, nothing leaves beside it.
    QVERIFY(connectTunnel());
    QVERIFY(blockTableExists());
    QCOMPARE(runProgram("ping",
                        {"-n", "-c", "1", "-W", "2", environment("CORVANE_TUNNEL_PEER_ADDRESS")}),
             0);
    QVERIFY(!reachable(other));
    QVERIFY(!dnsAnswered(other));
    QVERIFY(reachable(service));
    // DNS goes through the tunnel now: the LAN resolver hears nothing.
    QVERIFY(!dnsAnswered(resolver));

    // The tunnel process dies: nothing leaves while the polls notice.
    QSignalSpy states(manager.get(), &VpnManager::connectionStateChanged);
    QCOMPARE(runProgram("pkill", {"-KILL", "-f", "^wireguard-go vpn_wg0"}), 0);
    QVERIFY(!reachable(other));
    QVERIFY(states.wait(10000));
    QCOMPARE(states.first().at(0).toInt(), int(ConnectionState::Error));
    QVERIFY(blockTableExists());
    QVERIFY(!reachable(other));
    QVERIFY(reachable(service));

    manager->setKillSwitchEnabled(false);
    QVERIFY(!blockTableExists());
    QVERIFY(reachable(other));
}

// The block keeps the link up: asked by the server for this machine's address, the machine's
// neighbour advertisement leaves, so the server comes to know it (its echo reply does not).
void TestVpnManagerRealTunnel::neighbourDiscoveryPassesTheBlock()
{
    const QString server = environment("CORVANE_SERVER_NAMESPACE");
    QByteArray clientLink;
    runProgram("ip", {"-o", "-6", "address", "show", "scope", "link"}, &clientLink);
    const QStringList fields = QString::fromUtf8(clientLink).simplified().split(' ');
    const int inet6 = fields.indexOf("inet6");
    if (inet6 < 1)
        QSKIP("no IPv6 link-local address on the test link");
    const QString address = fields.at(inet6 + 1).section('/', 0, 0);
    QByteArray serverLinks;
    runProgram("ip", {"-n", server, "-o", "link", "show"}, &serverLinks);
    const QRegularExpression veth("\\d+: (cvs\\d+)[@:]");
    const QString serverInterface = veth.match(QString::fromUtf8(serverLinks)).captured(1);
    QVERIFY2(!serverInterface.isEmpty(), serverLinks.constData());

    manager->setKillSwitchEnabled(true);
    QVERIFY(blockTableExists());
    runProgram("ip", {"-n", server, "neigh", "flush", "dev", serverInterface});
    runProgram("ip", {"netns", "exec", server, "ping", "-6", "-n", "-c", "1", "-W", "1",
                      address + "%" + serverInterface});
    QByteArray neighbour;
    runProgram("ip", {"-n", server, "-6", "neigh", "show", address, "dev", serverInterface},
               &neighbour);
    QVERIFY2(neighbour.contains("lladdr"), neighbour.constData());
}

// A guest (a container, a virtual machine) routed through this machine: its traffic passes while
// the switch is off and is dropped while the block is in force.
void TestVpnManagerRealTunnel::forwardedTrafficIsBlocked()
{
    const QString server = environment("CORVANE_SERVER_NAMESPACE");
    const QString guest = server + QStringLiteral("g");
    const QString other = environment("CORVANE_OTHER_ADDRESS");
    const QString port = environment("CORVANE_SERVICE_PORT");
    const auto guestReaches = [&] {
        return runProgram("ip", {"netns", "exec", guest, "/usr/bin/python3", "-c",
                                 "import socket, sys\n"
                                 "socket.create_connection((sys.argv[1], int(sys.argv[2])), 2)",
                                 other, port}) == 0;
    };
    QCOMPARE(runProgram("ip", {"netns", "add", guest}), 0);
    const auto removeGuest = qScopeGuard([&] {
        runProgram("ip", {"netns", "delete", guest});
        runProgram("ip", {"-n", server, "route", "delete", "198.51.100.0/30"});
    });
    for (const QStringList &step :
         QList<QStringList>{{"link", "add", "cvgh", "type", "veth", "peer", "name", "cvgg"},
                            {"link", "set", "cvgg", "netns", guest},
                            {"address", "add", "198.51.100.1/30", "dev", "cvgh"},
                            {"link", "set", "cvgh", "up"},
                            {"-n", guest, "address", "add", "198.51.100.2/30", "dev", "cvgg"},
                            {"-n", guest, "link", "set", "cvgg", "up"},
                            {"-n", guest, "route", "add", "default", "via", "198.51.100.1"},
                            {"-n", server, "route", "add", "198.51.100.0/30", "via", "192.0.2.2"}})
        QCOMPARE(runProgram("ip", step), 0);
    QCOMPARE(runProgram("sysctl", {"-q", "-w", "net.ipv4.ip_forward=1"}), 0);
    QVERIFY(guestReaches());

    manager->setKillSwitchEnabled(true);
    QVERIFY(blockTableExists());
    QVERIFY(!guestReaches());
    manager->setKillSwitchEnabled(false);
    QVERIFY(guestReaches());
}

QTEST_GUILESS_MAIN(TestVpnManagerRealTunnel)
#include "TestVpnManagerRealTunnel.moc"
