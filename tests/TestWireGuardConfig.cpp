#include "SampleConfig.h"
#include "vpn/WireGuardConfig.h"

#include <QtTest>

namespace {

const QByteArray privateKey = "PrivateKey = cHJpdmF0ZSBrZXkgZm9yIGNvcnZhbmUgdGVzdHMgMDE=\n";
const QByteArray peer = "[Peer]\nPublicKey = cHVibGljIGtleSBvZiB0aGUgY29ydmFuZSBwZWVyIDE=\n"
                        "AllowedIPs = 0.0.0.0/0, ::/0\nEndpoint = 192.0.2.1:51820\n";

QByteArray withInterfaceLine(const QByteArray &line)
{
    return "[Interface]\n" + privateKey + line + "\n" + peer;
}

} // namespace

// The configuration comes from the network: what may pass, and what is refused and why.
class TestWireGuardConfig : public QObject {
    Q_OBJECT

private slots:
    void readsOrRefuses_data();
    void readsOrRefuses();
    void endpoints_data();
    void endpoints();
    void refusalNamesNoValue();
};

void TestWireGuardConfig::readsOrRefuses_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("refusal"); // empty: accepted

    for (const char *hook : {"PreUp", "PostUp", "PreDown", "PostDown"})
        QTest::newRow(hook) << withInterfaceLine(QByteArray(hook) + " = touch /tmp/x")
                            << QString("line 3 carries %1").arg(hook);
    QTest::newRow("hook in other case")
        << withInterfaceLine("postup=id") << "line 3 carries postup";
    QTest::newRow("hook in the peer section") << sampleConfig() + "PostDown = rm -rf /\n"
                                              << "line 10 carries PostDown";
    QTest::newRow("SaveConfig") << withInterfaceLine("SaveConfig = true")
                                << "line 3 carries SaveConfig";
    QTest::newRow("Table") << withInterfaceLine("Table = off") << "line 3 carries Table";
    // wg-quick reads the mark as a routing table number: Table by another name.
    QTest::newRow("FwMark") << withInterfaceLine("FwMark = 0xca6c") << "line 3 carries FwMark";
    QTest::newRow("NUL hiding a hook")
        << sampleConfig() + QByteArray("# ") + '\0' + "\nPostUp = touch /tmp/x\n"
        << "the text holds a NUL";
    for (const char *network :
         {"127.0.0.1/32", "::1/128", "224.0.0.0/4", "ff02::1", "169.254.0.0/16", "fe80::/10"}) {
        QTest::newRow(qPrintable(QStringLiteral("Address %1").arg(network)))
            << withInterfaceLine("Address = " + QByteArray(network))
            << "line 3 has an invalid Address";
        QTest::newRow(qPrintable(QStringLiteral("AllowedIPs %1").arg(network)))
            << "[Interface]\n" + privateKey +
                   "[Peer]\nPublicKey = cHVibGljIGtleSBvZiB0aGUgY29ydmFuZSBwZWVyIDE=\n"
                   "AllowedIPs = 10.0.0.0/8, " +
                   network + "\n"
            << "line 5 has an invalid AllowedIPs";
    }
    QTest::newRow("unknown key") << withInterfaceLine("Colour = blue")
                                 << "line 3 carries an unknown key";
    QTest::newRow("peer key in the interface")
        << withInterfaceLine("Endpoint = 192.0.2.1:1") << "line 3 carries an unknown key";
    QTest::newRow("no private key")
        << "[Interface]\nAddress = 10.0.0.2/32\n" + peer << "the interface has no private key";
    QTest::newRow("no peer") << "[Interface]\n" + privateKey << "there is no peer";
    QTest::newRow("peer without public key")
        << "[Interface]\n" + privateKey + "[Peer]\nAllowedIPs = 10.0.0.1/32\n"
        << "a peer has no public key";
    QTest::newRow("key outside a section")
        << "MTU = 1280\n" + sampleConfig() << "line 1 stands outside a section";
    QTest::newRow("unknown section") << sampleConfig() + "[Script]\n"
                                     << "line 10 opens an unknown section";
    QTest::newRow("second interface") << sampleConfig() + "[Interface]\n"
                                      << "line 10 opens a second interface";
    QTest::newRow("line without a value")
        << withInterfaceLine("MTU") << "line 3 is not a key and a value";
    QTest::newRow("key too short")
        << "[Interface]\nPrivateKey = a2V5\n" + peer << "line 2 has an invalid PrivateKey";
    QTest::newRow("address with a shell word")
        << withInterfaceLine("Address = 10.0.0.2/32 $(reboot)") << "line 3 has an invalid Address";
    QTest::newRow("address glob") << withInterfaceLine("Address = *")
                                  << "line 3 has an invalid Address";
    QTest::newRow("prefix too long")
        << withInterfaceLine("Address = 10.0.0.2/33") << "line 3 has an invalid Address";
    QTest::newRow("DNS with a semicolon")
        << withInterfaceLine("DNS = 1.1.1.1; id") << "line 3 has an invalid DNS";
    QTest::newRow("endpoint without port")
        << "[Interface]\n" + privateKey +
               "[Peer]\nPublicKey = cHVibGljIGtleSBvZiB0aGUgY29ydmFuZSBwZWVyIDE=\nEndpoint = "
               "192.0.2.1\n"
        << "line 5 has an invalid Endpoint";
    QTest::newRow("control character")
        << withInterfaceLine("MTU = 1280\x1b[2J") << "line 3 holds a control character";
    QTest::newRow("too long") << sampleConfig() + QByteArray(70000, '#') << "the text is too long";

    QTest::newRow("sample") << sampleConfig() << "";
    QTest::newRow("CRLF") << sampleConfig().replace("\n", "\r\n") << "";
    QTest::newRow("comments and blanks")
        << "# served by the VPN API\n\n[Interface] # the client\n" + privateKey +
               "  Address = 10.0.0.2/32   # ours\n" + peer
        << "";
    QTest::newRow("IPv6 addresses and endpoint")
        << "[Interface]\n" + privateKey +
               "Address = 10.0.0.2/32, fd00::2/128\nDNS = 2001:db8::53, 192.0.2.53, corp.example\n"
               "[Peer]\nPublicKey = cHVibGljIGtleSBvZiB0aGUgY29ydmFuZSBwZWVyIDE=\n"
               "AllowedIPs = ::/0\nEndpoint = [2001:db8::1]:51820\n"
        << "";
    QTest::newRow("PresharedKey and keepalive")
        << sampleConfig() + "PresharedKey = cHJlc2hhcmVkIGtleSBmb3IgY29ydmFuZSB0ZXN0cyE=\n"
                            "PersistentKeepalive = 25\n"
        << "";
    QTest::newRow("several peers")
        << sampleConfig() + "[Peer]\nPublicKey = c2Vjb25kIHB1YmxpYyBrZXkgb2YgYSBwZWVyIDAwMDA=\n"
                            "AllowedIPs = 10.66.67.0/24\nEndpoint = vpn.example:51821\n"
        << "";
    QTest::newRow("listen port") << withInterfaceLine("ListenPort = 51000") << "";
}

void TestWireGuardConfig::readsOrRefuses()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, refusal);
    const WireGuardConfig config = WireGuardConfig::read(text);
    QCOMPARE(config.refusal(), refusal);
    QCOMPARE(config.isValid(), refusal.isEmpty());
}

void TestWireGuardConfig::endpoints_data()
{
    QTest::addColumn<QByteArray>("endpoint");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::newRow("IPv4") << QByteArray("192.0.2.1:51820") << "192.0.2.1" << 51820;
    QTest::newRow("IPv6") << QByteArray("[2001:db8::1]:443") << "2001:db8::1" << 443;
    QTest::newRow("name") << QByteArray("vpn.example:1") << "vpn.example" << 1;
}

void TestWireGuardConfig::endpoints()
{
    QFETCH(QByteArray, endpoint);
    const WireGuardConfig config = WireGuardConfig::read(sampleConfig(endpoint));
    QVERIFY2(config.isValid(), qPrintable(config.refusal()));
    QCOMPARE(config.endpoints().size(), 1);
    QTEST(config.endpoints().first().host, "host");
    QTEST(int(config.endpoints().first().port), "port");
}

void TestWireGuardConfig::refusalNamesNoValue()
{
    const WireGuardConfig config =
        WireGuardConfig::read("[Interface]\nPrivateKey = secret-value\n" + peer);
    QVERIFY(!config.isValid());
    QVERIFY(!config.refusal().contains("secret"));
    QVERIFY(config.endpoints().isEmpty());
}

QTEST_GUILESS_MAIN(TestWireGuardConfig)
#include "TestWireGuardConfig.moc"
