#include "storage/DiagnosticLog.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QStringList received;

void collect(QtMsgType, const QMessageLogContext &, const QString &message)
{
    received << message;
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

// The log a member sends to support: lines with their time, two capped files, and the usual
// handler still served.
class TestDiagnosticLog : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void defaultsToTheStateFolder();
    void linesCarryTheirTimeAndReachThePreviousHandler();
    void keepsTwoFilesOfAtMostAMebibyte();
    void onlyItsOwnerReadsIt();
    void aMessageCannotForgeALine();

private:
    QTemporaryDir folder;
    QString path;
};

void TestDiagnosticLog::init()
{
    received.clear();
    path = folder.filePath("state/corvane/corvane.log");
    QFile::remove(path);
    QFile::remove(path + ".1");
    qInstallMessageHandler(collect);
    DiagnosticLog::install(path);
}

void TestDiagnosticLog::cleanup()
{
    DiagnosticLog::uninstall();
    qInstallMessageHandler(nullptr);
}

void TestDiagnosticLog::defaultsToTheStateFolder()
{
    qputenv("XDG_STATE_HOME", "/var/tmp/corvane-state");
    QCOMPARE(DiagnosticLog::defaultFilePath(),
             QStringLiteral("/var/tmp/corvane-state/corvane/corvane.log"));
    QCOMPARE(DiagnosticLog::filePath(), path);
}

void TestDiagnosticLog::linesCarryTheirTimeAndReachThePreviousHandler()
{
    qDebug() << "WireGuard tunnel is up";
    qWarning() << "nft failed";
    const QStringList lines = QString::fromUtf8(contents(path)).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    const QRegularExpression stamped(
        R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}\S* (debug|warning) .+$)");
    for (const QString &line : lines)
        QVERIFY2(stamped.match(line).hasMatch(), qPrintable(line));
    QVERIFY(lines.first().endsWith("debug WireGuard tunnel is up"));
    QCOMPARE(received, QStringList({"WireGuard tunnel is up", "nft failed"}));
}

void TestDiagnosticLog::keepsTwoFilesOfAtMostAMebibyte()
{
    const QString line(1000, QLatin1Char('x'));
    for (int i = 0; i < 2500; ++i)
        qDebug().noquote() << line;
    QVERIFY(QFile::exists(path + ".1"));
    QVERIFY(QFileInfo(path).size() <= DiagnosticLog::maximumFileBytes);
    QVERIFY(QFileInfo(path + ".1").size() <= DiagnosticLog::maximumFileBytes);
    QVERIFY(QFileInfo(path + ".1").size() > DiagnosticLog::maximumFileBytes - 2000);
    QVERIFY(!QFile::exists(path + ".2"));
}

void TestDiagnosticLog::onlyItsOwnerReadsIt()
{
    qDebug() << "Signing in";
    QCOMPARE(int(QFileInfo(path).permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther)),
             0);
    QCOMPARE(int(QFileInfo(QFileInfo(path).path()).permissions() &
                 (QFileDevice::ExeGroup | QFileDevice::ExeOther | QFileDevice::ReadGroup |
                  QFileDevice::ReadOther)),
             0);
}

// A value from the network with a line break in it stays inside its own record.
void TestDiagnosticLog::aMessageCannotForgeALine()
{
    qDebug().noquote()
        << "VPN connect API returned status: x\n2030-01-01T00:00:00.000 debug forged";
    const QStringList lines = QString::fromUtf8(contents(path)).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 1);
    QVERIFY(lines.first().endsWith("status: x\\n2030-01-01T00:00:00.000 debug forged"));
}

QTEST_GUILESS_MAIN(TestDiagnosticLog)
#include "TestDiagnosticLog.moc"
