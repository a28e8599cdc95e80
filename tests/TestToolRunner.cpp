#include "FakePrograms.h"
#include "platform/ToolRunner.h"

#include <QtTest>

#include <algorithm>

#include <sys/resource.h>

// Tools run for their output from a thread of their own, as the latency sweep runs the ping tool.
class TestToolRunner : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void outputOfTheTool_data();
    void outputOfTheTool();
    void argumentsReachTheToolUnchanged();
    void manyRunAtOnce();
    void toolsStillRunningAreStoppedWithTheRunner();
    void toolsThatYieldRunBelowTheProgram_data();
    void toolsThatYieldRunBelowTheProgram();

private:
    // Runs in the runner's thread, as its owner does.
    void start(int id, const QStringList &arguments, int timeoutMs = 5000);

    std::unique_ptr<FakePrograms> fakes;
    QThread thread;
    ToolRunner *runner = nullptr;
};

void TestToolRunner::init()
{
    fakes = std::make_unique<FakePrograms>();
    runner = new ToolRunner;
    runner->moveToThread(&thread);
    connect(&thread, &QThread::finished, runner, &QObject::deleteLater);
    thread.start();
}

void TestToolRunner::cleanup()
{
    thread.quit();
    thread.wait();
    fakes.reset();
}

void TestToolRunner::start(int id, const QStringList &arguments, int timeoutMs)
{
    QMetaObject::invokeMethod(
        runner,
        [this, id, arguments, timeoutMs] {
            runner->run(id, {"ping", arguments}, timeoutMs);
        },
        Qt::QueuedConnection);
}

void TestToolRunner::outputOfTheTool_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("present");
    QTest::addColumn<QByteArray>("output");
    QTest::newRow("standard output") << "STDOUT"
                                     << "rtt 1/2/3\n"
                                     << true << QByteArray("rtt 1/2/3\n");
    QTest::newRow("output larger than a pipe holds")
        << "STDOUT" << QString(100000, 'x') << true << QByteArray(100000, 'x');
    QTest::newRow("standard error is not output") << "STDERR"
                                                  << "unknown host\n"
                                                  << true << QByteArray();
    QTest::newRow("a tool that hangs is stopped") << "HANG"
                                                  << "1" << true << QByteArray();
    QTest::newRow("a tool that is missing") << "STDOUT"
                                            << "x" << false << QByteArray();
}

void TestToolRunner::outputOfTheTool()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(bool, present);
    QFETCH(QByteArray, output);
    fakes->script("ping", key, value);
    if (!present)
        fakes->remove("ping");
    QSignalSpy finished(runner, &ToolRunner::finished);
    start(7, {"-c", "2"}, 1000);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 10000);
    QCOMPARE(finished.first().at(0).toInt(), 7);
    QCOMPARE(finished.first().at(1).toByteArray(), output);
}

void TestToolRunner::argumentsReachTheToolUnchanged()
{
    QSignalSpy finished(runner, &ToolRunner::finished);
    const QStringList arguments{"-n", "a b", "", "ünïcode", "$(touch x)"};
    start(1, arguments);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 10000);
    QCOMPARE(fakes->callsOf("ping"), QStringList{"ping\t" + arguments.join('\t')});
}

// Every tool is under way before any is done: none waits for another.
void TestToolRunner::manyRunAtOnce()
{
    QTemporaryDir gates;
    const QString gate = gates.filePath("open");
    fakes->script("ping", "WAIT_FOR", gate);
    fakes->script("ping", "STDOUT", "done\n");
    QSignalSpy finished(runner, &ToolRunner::finished);
    for (int id = 0; id < 20; ++id)
        start(id, {QString::number(id)});
    QTRY_COMPARE_WITH_TIMEOUT(fakes->callsOf("ping").size(), 20, 20000);
    QCOMPARE(finished.count(), 0);
    QFile(gate).open(QIODevice::WriteOnly);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 20, 20000);
    QSet<int> ids;
    for (const QList<QVariant> &answer : finished) {
        ids.insert(answer.at(0).toInt());
        QCOMPARE(answer.at(1).toByteArray(), QByteArray("done\n"));
    }
    QCOMPARE(ids.size(), 20);
}

// A runner that ends kills what still runs: waiting for it would never end.
void TestToolRunner::toolsStillRunningAreStoppedWithTheRunner()
{
    fakes->script("ping", "HANG", "1");
    start(1, {"-c", "2"}, 600000);
    QTRY_COMPARE_WITH_TIMEOUT(fakes->callsOf("ping").size(), 1, 10000);
    thread.quit();
    QVERIFY(thread.wait(60000));
}

void TestToolRunner::toolsThatYieldRunBelowTheProgram_data()
{
    QTest::addColumn<bool>("yield");
    QTest::newRow("yielding") << true;
    QTest::newRow("as the program") << false;
}

// The tool's own niceness, as nice(1) without arguments prints it.
void TestToolRunner::toolsThatYieldRunBelowTheProgram()
{
    QFETCH(bool, yield);
    QSignalSpy finished(runner, &ToolRunner::finished);
    QMetaObject::invokeMethod(
        runner,
        [this, yield] {
            runner->setToolsYield(yield);
            runner->run(1, {"/usr/bin/nice", {}}, 5000);
        },
        Qt::QueuedConnection);
    QVERIFY(finished.wait(5000));
    const int programNice = ::getpriority(PRIO_PROCESS, 0);
    const int expected = yield ? std::min(programNice + 10, 19) : programNice;
    QCOMPARE(finished.at(0).at(1).toByteArray().trimmed(), QByteArray::number(expected));
}

QTEST_GUILESS_MAIN(TestToolRunner)
#include "TestToolRunner.moc"
