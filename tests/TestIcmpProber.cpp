#include "FakePrograms.h"
#include "ping/IcmpProber.h"
#include "ping/PingManager.h"

#include <QFile>
#include <QtTest>

namespace {

// Collects the prober's batches on this thread.
class Batches : public QObject {
public:
    explicit Batches(QObject *source)
    {
        if (auto *prober = qobject_cast<IcmpProber *>(source))
            connect(prober, &IcmpProber::measured, this, &Batches::take);
        else if (auto *manager = qobject_cast<PingManager *>(source))
            connect(manager, &PingManager::pingsReceived, this, &Batches::take);
    }
    QHash<int, int> results;
    int batches = 0;

private:
    void take(const QVector<Platform::LatencyResult> &batch)
    {
        ++batches;
        for (const Platform::LatencyResult &result : batch)
            results.insert(result.id, result.ping);
    }
};

bool setPingGroups(const QByteArray &range)
{
    QFile file(QStringLiteral("/proc/sys/net/ipv4/ping_group_range"));
    return file.open(QIODevice::WriteOnly) && file.write(range + "\n") > 0;
}

} // namespace

// ICMP echo through datagram sockets, in a namespace of the test's own where only loopback
// answers (tests/helpers/with-icmp-namespace).
class TestIcmpProber : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void everyLoopbackHostAnswers();
    void silentHostsGiveZeroAfterTheWait();
    void pingManagerProbesWithoutTheTool_data();
    void pingManagerProbesWithoutTheTool();
};

void TestIcmpProber::initTestCase()
{
    QVERIFY2(IcmpProber().isOpen(), "run through tests/helpers/with-icmp-namespace");
}

// Hundreds of hosts at once, IPv4 and IPv6: each answers, at least 1 ms, in a few batches.
void TestIcmpProber::everyLoopbackHostAnswers()
{
    IcmpProber prober;
    Batches batches(&prober);
    for (int id = 1; id <= 500; ++id)
        prober.probe(id, QStringLiteral("127.0.%1.%2").arg(id / 250).arg(id % 250 + 1));
    prober.probe(501, QStringLiteral("::1"));
    QTRY_COMPARE_WITH_TIMEOUT(batches.results.size(), 501, 5000);
    for (auto it = batches.results.cbegin(); it != batches.results.cend(); ++it)
        QVERIFY2(it.value() >= 1 && it.value() < 1000, qPrintable(QString::number(it.key())));
    QVERIFY2(batches.batches <= 10, qPrintable(QString::number(batches.batches)));
}

// A host that never answers (no route here) is 0 once its last echo has waited replyWaitMs;
// an address that is not one is 0 at once; both beside hosts that answer.
void TestIcmpProber::silentHostsGiveZeroAfterTheWait()
{
    IcmpProber prober;
    IcmpProber::Timing timing;
    timing.replyWaitMs = 300;
    timing.echoIntervalMs = 100;
    prober.setTiming(timing);
    Batches batches(&prober);
    QElapsedTimer elapsed;
    elapsed.start();
    prober.probe(1, QStringLiteral("192.0.2.55"));
    prober.probe(2, QStringLiteral("127.0.0.1"));
    prober.probe(3, QStringLiteral("not an address"));
    QTRY_COMPARE_WITH_TIMEOUT(batches.results.size(), 3, 5000);
    QCOMPARE(batches.results.value(1), 0);
    QVERIFY(batches.results.value(2) >= 1);
    QCOMPARE(batches.results.value(3), 0);
    QVERIFY2(elapsed.elapsed() >= 400, "the silent host waited for both echoes");
}

void TestIcmpProber::pingManagerProbesWithoutTheTool_data()
{
    QTest::addColumn<QByteArray>("pingGroups");
    QTest::addColumn<bool>("icmp");
    QTest::newRow("sockets allowed") << QByteArray("0 2147483647") << true;
    QTest::newRow("sockets not allowed: the tool") << QByteArray("1 0") << false;
}

// Where the sockets are allowed no ping process runs; where they are not, the tool does.
void TestIcmpProber::pingManagerProbesWithoutTheTool()
{
    QFETCH(QByteArray, pingGroups);
    QFETCH(bool, icmp);
    QVERIFY(setPingGroups(pingGroups));
    FakePrograms fakes;
    fakes.script("ping", "STDOUT", "rtt min/avg/max/mdev = 7/7/7/0 ms\n");
    {
        PingManager manager(nullptr, Platform::CommandSet::linux());
        QCOMPARE(manager.usesIcmpSockets(), icmp);
        Batches batches(&manager);
        for (int id = 1; id <= 20; ++id)
            manager.requestPing(id, QStringLiteral("127.0.0.%1").arg(id));
        QTRY_COMPARE_WITH_TIMEOUT(batches.results.size(), 20, 10000);
        // A loopback echo takes a millisecond or two, as the machine is loaded; the tool says 7.
        if (icmp)
            QVERIFY(batches.results.value(1) > 0);
        else
            QCOMPARE(batches.results.value(1), 7);
        QCOMPARE(fakes.calls().size(), icmp ? 0 : 20);
    }
    QVERIFY(setPingGroups("0 2147483647"));
}

QTEST_GUILESS_MAIN(TestIcmpProber)
#include "TestIcmpProber.moc"
