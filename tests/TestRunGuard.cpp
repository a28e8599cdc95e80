#include "app/RunGuard.h"
#include "platform/ActivationChannelName.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include <unistd.h>
#include <vector>

namespace {

const QString baseKey = QStringLiteral("VPN_APP_EXAMPLE_NAME_RunGuard");
// The key of the program run by this test's user.
const QString guardKey = Platform::instanceGuardKey(baseKey);
const uint otherUid = 65534;
const int startTimeoutMs = 10000;
// How long a started copy must stay alive to count as the one that runs; a copy that loses the
// guard exits within milliseconds.
const int settleMs = 1500;

} // namespace

class TestRunGuard : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void derivedNamesAreHexAndDistinct();
    void derivedNamesAreTheSameInEveryProcess();
    void guardInOneProcessIsSeenByAnother();
    void secondStartExitsAtOnceAndFirstGoesOn();
    void secondStartShowsTheRunningWindow();
    void startAfterKilledHolderRuns();
    void tenSimultaneousStartsLeaveOneRunning();
    void guardsOfOtherUsersNeverStopAStart();

private:
    std::unique_ptr<QProcess> startProgram(const QStringList &arguments = {},
                                           const QString &runAs = QString());
    bool staysRunning(QProcess &process);
    void expectQuietZeroExit(QProcess &process);

    // Every guard of these tests lives under a private temporary folder, so a copy of Corvane
    // that a developer runs meanwhile is never touched.
    std::unique_ptr<QTemporaryDir> ipcDir;
    std::vector<std::unique_ptr<QProcess>> processes;
};

void TestRunGuard::init()
{
    ipcDir = std::make_unique<QTemporaryDir>();
    QVERIFY(ipcDir->isValid());
    qputenv("TMPDIR", ipcDir->path().toLocal8Bit());
}

void TestRunGuard::cleanup()
{
    for (auto &process : processes) {
        process->kill();
        process->waitForFinished();
    }
    processes.clear();
    // Let a fresh guard drop any segment a killed copy left behind.
    RunGuard sweeper(guardKey);
    ipcDir.reset();
}

std::unique_ptr<QProcess> TestRunGuard::startProgram(const QStringList &arguments,
                                                     const QString &runAs)
{
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("TMPDIR"), ipcDir->path());
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), ipcDir->path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), ipcDir->path() + "/config");
    // No outside program is found: the copies started here touch no firewall or tunnel.
    environment.insert(QStringLiteral("PATH"), ipcDir->path());
    environment.insert(QStringLiteral("CORVANE_ACCOUNT_API_URL"),
                       QStringLiteral("http://127.0.0.1:9/graphql"));
    environment.insert(QStringLiteral("CORVANE_VPN_API_URL"), QStringLiteral("http://127.0.0.1:9"));
    process->setProcessEnvironment(environment);
    if (runAs.isEmpty()) {
        process->start(QStringLiteral(CORVANE_EXECUTABLE), arguments);
        return process;
    }
    process->start(QStringLiteral("setpriv"),
                   QStringList{"--reuid", runAs, "--regid", runAs, "--clear-groups",
                               QStringLiteral(CORVANE_EXECUTABLE)} +
                       arguments);
    return process;
}

bool TestRunGuard::staysRunning(QProcess &process)
{
    return process.waitForStarted(startTimeoutMs) && !process.waitForFinished(settleMs) &&
           process.state() == QProcess::Running;
}

void TestRunGuard::expectQuietZeroExit(QProcess &process)
{
    QVERIFY(process.waitForFinished(startTimeoutMs));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    QCOMPARE(process.readAllStandardOutput(), QByteArray());
}

void TestRunGuard::derivedNamesAreHexAndDistinct()
{
    RunGuard guard(guardKey);
    const QRegularExpression hex40(QStringLiteral("^[0-9a-f]{40}$"));
    QVERIFY(hex40.match(guard.semaphoreName()).hasMatch());
    QVERIFY(hex40.match(guard.segmentName()).hasMatch());
    QVERIFY(guard.semaphoreName() != guard.segmentName());
    QCOMPARE(guard.semaphoreName(), RunGuard::deriveGuardKey(guardKey, "_memLockKey"));
    QCOMPARE(guard.segmentName(), RunGuard::deriveGuardKey(guardKey, "_sharedmemKey"));
    // SHA-1 of the key bytes followed by the salt bytes.
    QCOMPARE(RunGuard::deriveGuardKey("ab", "c"),
             QStringLiteral("a9993e364706816aba3e25717850c26c9cd0d89d"));
}

void TestRunGuard::derivedNamesAreTheSameInEveryProcess()
{
    RunGuard guard(guardKey);
    const QByteArray expected =
        (guard.semaphoreName() + '\n' + guard.segmentName() + '\n').toUtf8();
    for (int run = 0; run < 2; ++run) {
        QProcess printer;
        printer.start(QStringLiteral(PRINT_GUARD_NAMES), QStringList());
        QVERIFY(printer.waitForFinished(startTimeoutMs));
        QCOMPARE(printer.readAllStandardOutput(), expected);
    }
}

void TestRunGuard::guardInOneProcessIsSeenByAnother()
{
    RunGuard holder(guardKey);
    QVERIFY(holder.tryToAcquire());
    QVERIFY(!holder.isAnotherInstanceRunning());

    auto program = startProgram();
    expectQuietZeroExit(*program);

    holder.release();
    auto next = startProgram();
    QVERIFY(staysRunning(*next));
    processes.push_back(std::move(next));
    QVERIFY(holder.isAnotherInstanceRunning());
    QVERIFY(!holder.tryToAcquire());
}

void TestRunGuard::secondStartExitsAtOnceAndFirstGoesOn()
{
    auto first = startProgram();
    QVERIFY(staysRunning(*first));

    auto second = startProgram();
    expectQuietZeroExit(*second);

    QCOMPARE(first->state(), QProcess::Running);
    processes.push_back(std::move(first));
}

// The first copy lives in the tray; a second launch asks it for its window, then exits.
void TestRunGuard::secondStartShowsTheRunningWindow()
{
    const QString settings = ipcDir->path() + "/config/Ostrel Limited/Corvane.conf";
    QVERIFY(QDir().mkpath(QFileInfo(settings).path()));
    QFile file(settings);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[data1]\n0=true\n");
    file.close();
    auto first = startProgram({"--hidden"});
    QVERIFY(staysRunning(*first));
    first->readAllStandardError();

    auto second = startProgram();
    expectQuietZeroExit(*second);
    QByteArray log;
    QTRY_VERIFY_WITH_TIMEOUT((log += first->readAllStandardError(),
                              log.contains("A second launch asked for the window")),
                             5000);
    QCOMPARE(first->state(), QProcess::Running);
    processes.push_back(std::move(first));
}

void TestRunGuard::startAfterKilledHolderRuns()
{
    auto first = startProgram();
    QVERIFY(staysRunning(*first));
    first->kill();
    QVERIFY(first->waitForFinished(startTimeoutMs));
    QCOMPARE(first->exitStatus(), QProcess::CrashExit);

    auto next = startProgram();
    QVERIFY(staysRunning(*next));
    auto blocked = startProgram();
    expectQuietZeroExit(*blocked);
    processes.push_back(std::move(next));
}

void TestRunGuard::tenSimultaneousStartsLeaveOneRunning()
{
    for (int i = 0; i < 10; ++i)
        processes.push_back(startProgram());
    for (auto &process : processes)
        QVERIFY(process->waitForStarted(startTimeoutMs));

    int exitedQuietly = 0;
    QTRY_VERIFY_WITH_TIMEOUT(
        std::count_if(processes.begin(), processes.end(),
                      [](const auto &p) { return p->state() == QProcess::NotRunning; }) == 9,
        startTimeoutMs * 2);
    QTest::qWait(settleMs);
    for (auto &process : processes) {
        if (process->state() != QProcess::NotRunning)
            continue;
        QCOMPARE(process->exitStatus(), QProcess::NormalExit);
        QCOMPARE(process->exitCode(), 0);
        ++exitedQuietly;
    }
    QCOMPARE(exitedQuietly, 9);
}

// Guard objects of another user (here root's own guard, and objects under the member's name that
// root made and only root may open) neither stop a member's start nor make it silent: the
// member's copy runs, and says when it runs unguarded.
void TestRunGuard::guardsOfOtherUsersNeverStopAStart()
{
    if (::geteuid() != 0)
        QSKIP("needs root to create another user's guard objects");
    QVERIFY(
        QFile::setPermissions(ipcDir->path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                                  QFileDevice::WriteOther | QFileDevice::ExeOther));
    RunGuard rootsCopy(guardKey);
    QVERIFY(rootsCopy.tryToAcquire());
    RunGuard plantedForTheMember(baseKey + QStringLiteral("_%1").arg(otherUid));
    QVERIFY(plantedForTheMember.tryToAcquire());

    auto member = startProgram({}, QString::number(otherUid));
    QVERIFY(staysRunning(*member));
    QByteArray log;
    QTRY_VERIFY_WITH_TIMEOUT((log += member->readAllStandardError(),
                              log.contains("The single-instance guard cannot be taken")),
                             5000);
    processes.push_back(std::move(member));

    plantedForTheMember.release();
    RunGuard sweeper(baseKey + QStringLiteral("_%1").arg(otherUid));
}

QTEST_GUILESS_MAIN(TestRunGuard)
#include "TestRunGuard.moc"
