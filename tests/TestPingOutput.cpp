#include "ping/PingOutput.h"

#include <QtTest>

namespace {

const char windowsFull[] = "\r\nPinging 198.51.100.7 with 32 bytes of data:\r\n"
                           "Reply from 198.51.100.7: bytes=32 time=11ms TTL=57\r\n"
                           "Reply from 198.51.100.7: bytes=32 time=13ms TTL=57\r\n\r\n"
                           "Ping statistics for 198.51.100.7:\r\n"
                           "    Packets: Sent = 2, Received = 2, Lost = 0 (0% loss),\r\n"
                           "Approximate round trip times in milli-seconds:\r\n"
                           "    Minimum = 10ms, Maximum = 14ms, Average = 12ms\r\n";

const char windowsTimedOut[] = "\r\nPinging 198.51.100.9 with 32 bytes of data:\r\n"
                               "Request timed out.\r\nRequest timed out.\r\n\r\n"
                               "Ping statistics for 198.51.100.9:\r\n"
                               "    Packets: Sent = 2, Received = 0, Lost = 2 (100% loss),\r\n";

const char iputilsFull[] = "PING 127.0.0.1 (127.0.0.1) 56(84) bytes of data.\n"
                           "64 bytes from 127.0.0.1: icmp_seq=1 ttl=64 time=0.484 ms\n"
                           "64 bytes from 127.0.0.1: icmp_seq=2 ttl=64 time=3.104 ms\n\n"
                           "--- 127.0.0.1 ping statistics ---\n"
                           "2 packets transmitted, 2 received, 0% packet loss, time 1001ms\n"
                           "rtt min/avg/max/mdev = 0.484/1.794/3.104/1.310 ms\n";

const char iputilsSubMillisecond[] =
    "PING 127.0.0.1 (127.0.0.1) 56(84) bytes of data.\n"
    "64 bytes from 127.0.0.1: icmp_seq=1 ttl=64 time=0.031 ms\n"
    "64 bytes from 127.0.0.1: icmp_seq=2 ttl=64 time=0.045 ms\n\n"
    "--- 127.0.0.1 ping statistics ---\n"
    "2 packets transmitted, 2 received, 0% packet loss, time 1010ms\n"
    "rtt min/avg/max/mdev = 0.031/0.038/0.045/0.007 ms\n";

const char iputilsUnreachable[] = "PING 198.51.100.9 (198.51.100.9) 56(84) bytes of data.\n"
                                  "From 10.0.0.1 icmp_seq=1 Destination Host Unreachable\n\n"
                                  "--- 198.51.100.9 ping statistics ---\n"
                                  "2 packets transmitted, 0 received, +1 errors, 100% packet loss, "
                                  "time 1002ms\n";

const char iputilsRepliesOnly[] = "64 bytes from 10.0.0.1: icmp_seq=1 ttl=64 time=20.4 ms\n"
                                  "64 bytes from 10.0.0.1: icmp_seq=2 ttl=64 time=21.2 ms\n";

} // namespace

class TestPingOutput : public QObject {
    Q_OBJECT

private slots:
    void averageMs_data();
    void averageMs();
    void plainHost_data();
    void plainHost();
};

void TestPingOutput::averageMs_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<int>("milliseconds");
    QTest::newRow("Windows summary wins over the replies") << windowsFull << 12;
    QTest::newRow("Windows replies 10 and 13, no summary")
        << "Reply from h: bytes=32 time=10ms TTL=57\r\nReply from h: bytes=32 time=13ms TTL=57\r\n"
        << 12;
    QTest::newRow("Windows time<1ms") << "Reply from h: bytes=32 time<1ms TTL=128\r\n" << 1;
    QTest::newRow("Windows average 0 means below 1 ms")
        << "Minimum = 0ms, Maximum = 0ms, Average = 0ms" << 1;
    QTest::newRow("Windows timed out") << windowsTimedOut << 0;
    QTest::newRow("Windows average spelled Avg") << "Min = 5ms, Max = 9ms, Avg = 7ms" << 7;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("iputils summary 1.794") << iputilsFull << 2;
    QTest::newRow("iputils sub-millisecond") << iputilsSubMillisecond << 1;
    QTest::newRow("iputils unreachable, 'time 1002ms' is no reply") << iputilsUnreachable << 0;
    QTest::newRow("iputils replies only, 20.8 rounds up") << iputilsRepliesOnly << 21;
    QTest::newRow("busybox round-trip summary") << "round-trip min/avg/max = 4.1/4.5/4.9 ms\n" << 5;
    QTest::newRow("half rounds up") << "time=2.5 ms\n" << 3;
    QTest::newRow("average out of range") << "rtt min/avg/max/mdev = 1/100000000000/3/1 ms\n"
                                          << PingOutput::unreadable;
    QTest::newRow("Windows average too long for a number")
        << "Minimum = 1ms, Maximum = 2ms, Average = 99999999999999999999ms"
        << PingOutput::unreadable;
    QTest::newRow("reply beyond any wait") << "time=90000 ms\n" << PingOutput::unreadable;
    QTest::newRow("unknown language") << "Antwort von h: Bytes=32 Zeit=10ms TTL=57" << 0;
}

void TestPingOutput::averageMs()
{
    QFETCH(QString, output);
    QTEST(PingOutput::averageMs(output), "milliseconds");
}

void TestPingOutput::plainHost_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("plain");
    QTest::newRow("name") << "de-frankfurt.vpn.corvane.example" << true;
    QTest::newRow("single label") << "localhost" << true;
    QTest::newRow("trailing dot") << "vpn.example." << true;
    QTest::newRow("IPv4") << "198.51.100.7" << true;
    QTest::newRow("IPv6") << "2001:db8::1" << true;
    QTest::newRow("IPv6 loopback") << "::1" << true;
    QTest::newRow("option -t") << "-t" << false;
    QTest::newRow("option with value") << "-n 1" << false;
    QTest::newRow("label starting with a dash") << "-evil.example" << false;
    QTest::newRow("label ending with a dash") << "evil-.example" << false;
    QTest::newRow("blank inside") << "vpn example" << false;
    QTest::newRow("line break") << "vpn.example\n" << false;
    QTest::newRow("tab") << "vpn\t.example" << false;
    QTest::newRow("shell signs") << "vpn.example;reboot" << false;
    QTest::newRow("empty label") << "vpn..example" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("too long") << QString(254, 'a') << false;
    QTest::newRow("leading blank") << " 1.2.3.4" << false;
    QTest::newRow("trailing blank") << "1.2.3.4 " << false;
    QTest::newRow("scope with line break and option") << "fe80::1%\n-t" << false;
    QTest::newRow("scope suffix") << "fe80::1%eth0" << false;
}

void TestPingOutput::plainHost()
{
    QFETCH(QString, host);
    QTEST(PingOutput::isPlainHost(host), "plain");
}

QTEST_GUILESS_MAIN(TestPingOutput)
#include "TestPingOutput.moc"
