#include "FakePrograms.h"
#include "platform/ProcessOutput.h"

#include <QtTest>

// A tool run for its output from a worker thread, as the latency sweep runs the ping tool.
class TestProcessOutput : public QObject {
    Q_OBJECT

private slots:
    void outputOfTheTool_data();
    void outputOfTheTool();
    void argumentsReachTheToolUnchanged();
};

void TestProcessOutput::outputOfTheTool_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("present");
    QTest::addColumn<QByteArray>("output");
    QTest::newRow("standard output") << "STDOUT"
                                     << "rtt 1/2/3\n"
                                     << true << QByteArray("rtt 1/2/3\n");
    QTest::newRow("standard error is not output") << "STDERR"
                                                  << "unknown host\n"
                                                  << true << QByteArray();
    QTest::newRow("a tool that hangs is stopped") << "HANG"
                                                  << "1" << true << QByteArray();
    QTest::newRow("a tool that is missing") << "STDOUT"
                                            << "x" << false << QByteArray();
}

void TestProcessOutput::outputOfTheTool()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(bool, present);
    QFETCH(QByteArray, output);
    FakePrograms fakes;
    fakes.script("ping", key, value);
    if (!present)
        fakes.remove("ping");
    QCOMPARE(Platform::runForOutput({"ping", {"-c", "2"}}, 1000), output);
}

void TestProcessOutput::argumentsReachTheToolUnchanged()
{
    FakePrograms fakes;
    const QStringList arguments{"-n", "a b", "", "ünïcode", "$(touch x)"};
    Platform::runForOutput({"ping", arguments}, 5000);
    QCOMPARE(fakes.callsOf("ping"), QStringList{"ping\t" + arguments.join('\t')});
}

QTEST_GUILESS_MAIN(TestProcessOutput)
#include "TestProcessOutput.moc"
