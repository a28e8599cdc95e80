#include "platform/CommandSet.h"
#include "platform/Resolvers.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

namespace {

Platform::KillSwitchRules tunnelRules()
{
    Platform::KillSwitchRules rules;
    rules.services = {
        {"192.0.2.10", 443}, {"2001:db8::10", 443}, {"not an address", 443}, {"192.0.2.11", 8000}};
    rules.ownerUid = 1000;
    rules.resolvers = QStringList{"192.0.2.53", "2001:db8::53"};
    rules.tunnelInterface = "vpn_wg0";
    rules.peers = {{"198.51.100.7", 51820}, {"2001:db8::7", 443}};
    return rules;
}

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &text)
{
    QFile file(dir.filePath(name));
    file.open(QIODevice::WriteOnly);
    file.write(text);
    return file.fileName();
}

} // namespace

// The Linux kill switch as nft reads it, and the resolvers it lets DNS reach.
class TestCommandSet : public QObject {
    Q_OBJECT

private slots:
    void linuxTunnelRules();
    void linuxBlockWithoutTunnel();
    void realNftAcceptsTheScripts();
    void resolversFromTheConfiguredFiles();
};

void TestCommandSet::linuxTunnelRules()
{
    const QVector<Platform::Invocation> put =
        Platform::CommandSet::linux().putKillSwitch(tunnelRules());
    QCOMPARE(put.size(), 1);
    QCOMPARE(put.first().program, QStringLiteral("nft"));
    QCOMPARE(put.first().arguments.size(), 1);
    const QString script = put.first().arguments.first();
    QVERIFY2(script.startsWith("table inet VPNKillSwitch\ndelete table inet VPNKillSwitch\n"),
             qPrintable(script));
    for (const char *line :
         {"type filter hook output priority 0; policy drop;", "oifname \"lo\" accept",
          "icmpv6 type { nd-router-solicit, nd-neighbor-solicit, nd-neighbor-advert } accept",
          "udp sport 68 udp dport 67 accept", "udp sport 546 udp dport 547 accept",
          "ip daddr { 192.0.2.10 } tcp dport 443 meta skuid 1000 accept",
          "ip6 daddr { 2001:db8::10 } tcp dport 443 meta skuid 1000 accept",
          "ip daddr { 192.0.2.11 } tcp dport 8000 meta skuid 1000 accept",
          "ip daddr 198.51.100.7 udp dport 51820 accept",
          "ip6 daddr 2001:db8::7 udp dport 443 accept"})
        QVERIFY2(script.contains(line), line);
    QVERIFY(!script.contains("not an address"));
    // While connected DNS goes through the tunnel, and so does forwarded traffic.
    QVERIFY(!script.contains("dport 53"));
    const QString forward = script.section("chain forward {", 1);
    QVERIFY(forward.contains("type filter hook forward priority 0; policy drop;"));
    QVERIFY(forward.contains("oifname \"vpn_wg0\" accept"));
    QVERIFY(script.section("chain forward {", 0, 0).contains("oifname \"vpn_wg0\" accept"));
}

void TestCommandSet::linuxBlockWithoutTunnel()
{
    Platform::KillSwitchRules rules = tunnelRules();
    rules.tunnelInterface.clear();
    rules.peers.clear();
    rules.ownerUid = -1;
    const QString script =
        Platform::CommandSet::linux().putKillSwitch(rules).first().arguments.first();
    QVERIFY(!script.contains("vpn_wg0"));
    QVERIFY(!script.contains("skuid"));
    for (const char *line : {"ip daddr { 192.0.2.53 } udp dport 53 accept",
                             "ip daddr { 192.0.2.53 } tcp dport 53 accept",
                             "ip6 daddr { 2001:db8::53 } udp dport 53 accept"})
        QVERIFY2(script.contains(line), line);
    QVERIFY(script.section("chain forward {", 1).contains("policy drop;\n  }"));
}

// nft's own check mode parses each script against the kernel without changing anything.
void TestCommandSet::realNftAcceptsTheScripts()
{
    if (::geteuid() != 0 || QStandardPaths::findExecutable("nft").isEmpty())
        QSKIP("needs root and nft");
    const Platform::CommandSet linux = Platform::CommandSet::linux();
    for (const QVector<Platform::Invocation> &calls :
         {linux.putKillSwitch(tunnelRules()), linux.putKillSwitch({}), linux.liftKillSwitch()}) {
        QProcess nft;
        nft.start("nft", QStringList{"--check"} + calls.first().arguments);
        QVERIFY(nft.waitForFinished(10000));
        QVERIFY2(nft.exitCode() == 0, nft.readAllStandardError().constData());
    }
}

void TestCommandSet::resolversFromTheConfiguredFiles()
{
    QTemporaryDir dir;
    const QString system = writeFile(dir, "resolv.conf",
                                     "# generated\nnameserver 127.0.0.53\noptions edns0\n"
                                     "search example\nnameserver  192.0.2.53 \n");
    const QString upstream = writeFile(dir, "upstream.conf",
                                       "nameserver 192.0.2.53\nnameserver 2001:db8::53\n"
                                       "nameserver fe80::1%eth0\nnameserver dns.example\n"
                                       "nameserver 192.0.2.54 trailing\n#nameserver 192.0.2.55\n");
    QCOMPARE(Platform::configuredResolvers({system, upstream, dir.filePath("missing")}),
             QStringList({"127.0.0.53", "192.0.2.53", "2001:db8::53"}));
}

QTEST_GUILESS_MAIN(TestCommandSet)
#include "TestCommandSet.moc"
