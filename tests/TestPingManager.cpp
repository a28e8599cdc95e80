#include "FakePrograms.h"
#include "ping/PingManager.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <chrono>
#include <thread>

namespace {

const char iputilsOutput[] = "64 bytes from h: icmp_seq=1 ttl=64 time=20.1 ms\n"
                             "rtt min/avg/max/mdev = 20.1/23.4/26.7/3.3 ms\n";

// Collects the batches' results on this thread, and the threads that delivered them.
class Results : public QObject {
public:
    explicit Results(PingManager &manager)
    {
        connect(&manager, &PingManager::pingsReceived, this,
                [this](const QVector<Platform::LatencyResult> &results) {
                    ++batches;
                    deliveryThreads.append(QThread::currentThread());
                    for (const Platform::LatencyResult &result : results)
                        received.append({result.id, result.ping});
                });
    }
    int count() const { return received.size(); }
    bool waitFor(int results) const
    {
        return QTest::qWaitFor([&] { return count() >= results; }, 20000);
    }
    QVector<QPair<int, int>> received;
    int batches = 0;
    QVector<QThread *> deliveryThreads;
};

} // namespace

// Runs the manager against the fake ping programs (tests/fakes), which record their arguments.
class TestPingManager : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void linuxCommandLine();
    void windowsCommandLine();
    void fiftyRequestsAtOnce();
    void refusedHostGivesZeroWithoutRunningTheTool_data();
    void refusedHostGivesZeroWithoutRunningTheTool();
    void missingToolGivesZero();
    void probesRunAtMostTheCapAtOnceAndStopWithTheManager();
    void resultsReachTheReceiversThread();

private:
    QStringList loggedCalls() const { return fakes->calls(); }

    std::unique_ptr<FakePrograms> fakes;
};

void TestPingManager::initTestCase()
{
    PingManager::setDefaultMethod(PingManager::Method::Tool);
}

void TestPingManager::init()
{
    fakes = std::make_unique<FakePrograms>();
    fakes->script("ping", "STDOUT", iputilsOutput);
    fakes->script("ping.exe", "STDOUT", "Minimum = 10ms, Maximum = 14ms, Average = 12ms\r\n");
}

void TestPingManager::cleanup()
{
    fakes.reset();
}

void TestPingManager::linuxCommandLine()
{
    PingManager manager(nullptr, Platform::CommandSet::linux());
    Results results(manager);
    manager.requestPing(7, "vpn.example");
    QVERIFY(results.waitFor(1));
    QCOMPARE(results.received.first(), qMakePair(7, 23));
    QCOMPARE(loggedCalls(), QStringList{"ping\t-n\t-c\t2\t-W\t2\tvpn.example"});
}

void TestPingManager::windowsCommandLine()
{
    PingManager manager(nullptr, Platform::CommandSet::windows());
    Results results(manager);
    manager.requestPing(3, "198.51.100.7");
    QVERIFY(results.waitFor(1));
    QCOMPARE(results.received.first(), qMakePair(3, 12));
    QCOMPARE(loggedCalls(), QStringList{"ping.exe\t-n\t2\t-w\t2000\t198.51.100.7"});
}

void TestPingManager::fiftyRequestsAtOnce()
{
    // Each fake probe waits as many milliseconds as its host name says, so they finish out of
    // order.
    fakes->script("ping", "DELAY_FROM_LAST_ARG", "1");
    PingManager manager(nullptr, Platform::CommandSet::linux());
    Results results(manager);
    for (int id = 1; id <= 50; ++id)
        manager.requestPing(id, QStringLiteral("h%1.test").arg((id * 37) % 200));
    QTRY_COMPARE_WITH_TIMEOUT(results.count(), 50, 20000);
    QTest::qWait(100);
    QCOMPARE(results.count(), 50);
    QSet<int> ids;
    QVector<int> order;
    for (const auto &result : results.received) {
        ids.insert(result.first);
        order.append(result.first);
        QCOMPARE(result.second, 23);
    }
    QCOMPARE(ids.size(), 50);
    QCOMPARE(*std::min_element(ids.begin(), ids.end()), 1);
    QCOMPARE(*std::max_element(ids.begin(), ids.end()), 50);
    QVERIFY2(!std::is_sorted(order.begin(), order.end()), "results arrive in completion order");
    QCOMPARE(loggedCalls().size(), 50);
    // Handed over in batches, not one call a probe.
    QVERIFY2(results.batches < 25, qPrintable(QString::number(results.batches)));
}

void TestPingManager::refusedHostGivesZeroWithoutRunningTheTool_data()
{
    QTest::addColumn<QString>("host");
    QTest::newRow("-t") << "-t";
    QTest::newRow("-n 1") << "-n 1";
    QTest::newRow("blank") << "a b";
    QTest::newRow("empty") << "";
}

void TestPingManager::refusedHostGivesZeroWithoutRunningTheTool()
{
    QFETCH(QString, host);
    PingManager manager(nullptr, Platform::CommandSet::windows());
    Results results(manager);
    manager.requestPing(9, host);
    QVERIFY(results.waitFor(1));
    QCOMPARE(results.received.first(), qMakePair(9, 0));
    QVERIFY(loggedCalls().isEmpty());
}

void TestPingManager::missingToolGivesZero()
{
    fakes->remove("ping");
    PingManager manager(nullptr, Platform::CommandSet::linux());
    Results results(manager);
    manager.requestPing(4, "vpn.example");
    QVERIFY(results.waitFor(1));
    QCOMPARE(results.received.first(), qMakePair(4, 0));
}

// 64 probes run while 136 more wait. The probes wait at a gate: exactly the cap start, and no
// more however long they wait. The gate opens only after destruction has begun: the probes under
// way are stopped, the queued ones never start.
void TestPingManager::probesRunAtMostTheCapAtOnceAndStopWithTheManager()
{
    QTemporaryDir gates;
    const QString gate = gates.filePath("open");
    fakes->script("ping", "WAIT_FOR", gate);
    {
        PingManager manager(nullptr, Platform::CommandSet::linux());
        for (int id = 0; id < 200; ++id)
            manager.requestPing(id, "vpn.example");
        QTRY_COMPARE_WITH_TIMEOUT(loggedCalls().size(), PingManager::maxConcurrentProbes, 60000);
        QTest::qWait(300);
        QCOMPARE(loggedCalls().size(), PingManager::maxConcurrentProbes);
        // Opened from another thread while this one is inside the destructor.
        std::thread opener([gate] {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            QFile(gate).open(QIODevice::WriteOnly);
        });
        opener.detach();
    }
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(gate), 5000);
    QTest::qWait(300);
    QCOMPARE(loggedCalls().size(), PingManager::maxConcurrentProbes);
}

void TestPingManager::resultsReachTheReceiversThread()
{
    PingManager manager(nullptr, Platform::CommandSet::linux());
    Results results(manager);
    for (int id = 0; id < 5; ++id)
        manager.requestPing(id, "vpn.example");
    QVERIFY(results.waitFor(5));
    for (QThread *thread : results.deliveryThreads)
        QCOMPARE(thread, QThread::currentThread());
}

QTEST_GUILESS_MAIN(TestPingManager)
#include "TestPingManager.moc"
