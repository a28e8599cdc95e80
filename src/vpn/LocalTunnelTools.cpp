#include "vpn/LocalTunnelTools.h"

#include "platform/PrivateFile.h"
#include "platform/ToolRunner.h"
#include "types/LogCategories.h"

#include <QDebug>
#include <QFile>
#include <QProcess>

namespace {

// Runs a tool to its end, waiting at most timeoutMs; its standard output.
QByteArray runAndWait(const Platform::Invocation &invocation, int timeoutMs)
{
    QProcess process;
    process.start(invocation.program, invocation.arguments);
    process.waitForFinished(timeoutMs);
    return process.readAllStandardOutput();
}

enum Reading { transferReading, handshakesReading };

bool exitedWell(const QProcess &process)
{
    return process.state() == QProcess::NotRunning && process.error() != QProcess::FailedToStart &&
           process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

} // namespace

LocalTunnelTools::LocalTunnelTools(const Platform::CommandSet &commands, const QString &configPath,
                                   QObject *parent)
    : TunnelTools(parent)
    , commands(commands)
    , configPath(configPath)
    , readings(new ToolRunner(this))
{
    connect(readings, &ToolRunner::finished, this, [this](int reading, const QByteArray &output) {
        if (reading == transferReading)
            emit transferRead(QString::fromUtf8(output));
        else
            emit handshakesRead(QString::fromUtf8(output));
    });
}

bool LocalTunnelTools::install(const QByteArray &configText)
{
    switch (Platform::writePrivateFile(configPath, configText)) {
    case Platform::PrivateFileResult::Written:
        break;
    case Platform::PrivateFileResult::CannotOpen:
        qCDebug(lcVpn) << "Cannot open config file for writing:" << configPath;
        return false;
    case Platform::PrivateFileResult::WriteFailed:
        return false;
    }

    if (tunnelProcess)
        tunnelProcess->deleteLater();
    tunnelProcess = new QProcess(this);
    connect(tunnelProcess, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            &LocalTunnelTools::finishInstall);
    // A tool that cannot be started at all never finishes; count it as a failed install.
    connect(tunnelProcess, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            finishInstall(-1);
    });

    // A tunnel of the same name left from an earlier run goes first; its result does not matter.
    if (commands.tunnelMayExist())
        runAndWait(commands.removeTunnel(configPath), toolTimeoutMs);

    const Platform::Invocation install = commands.installTunnel(configPath);
    tunnelProcess->start(install.program, install.arguments);
    return true;
}

void LocalTunnelTools::finishInstall(int exitCode)
{
    const QString errorText = QString::fromUtf8(tunnelProcess->readAllStandardError());
    emit installFinished(exitCode, errorText);
}

void LocalTunnelTools::remove()
{
    auto *removal = new QProcess(this);
    connect(removal, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            [this, removal] { finishRemoval(removal); });
    // A removal that cannot be started still completes.
    connect(removal, &QProcess::errorOccurred, this, [this, removal](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            finishRemoval(removal);
    });
    const Platform::Invocation invocation = commands.removeTunnel(configPath);
    removal->start(invocation.program, invocation.arguments);
}

void LocalTunnelTools::finishRemoval(QProcess *removal)
{
    removal->deleteLater();
    emit removalFinished(confirmRemoval(exitedWell(*removal)));
}

// A tool that failed is followed by the removal by force; the tunnel counts as gone only where
// the system no longer shows it. The file holds the private key: it goes in any case.
bool LocalTunnelTools::confirmRemoval(bool toolSucceeded)
{
    QFile::remove(configPath);
    if (!toolSucceeded) {
        qCWarning(lcVpn) << "The tunnel tool could not remove the tunnel; removing it by force";
        for (const Platform::Invocation &invocation : commands.forceTunnelRemoval())
            runAndWait(invocation, toolTimeoutMs);
    }
    const bool removed =
        commands.forceTunnelRemoval().isEmpty() ? toolSucceeded : !commands.tunnelMayExist();
    if (!removed)
        qCWarning(lcVpn) << "The tunnel could not be removed";
    return removed;
}

bool LocalTunnelTools::removeNow(int timeoutMs)
{
    // A stop under way must not report back once this removal has run.
    for (QProcess *process : findChildren<QProcess *>())
        disconnect(process, nullptr, this, nullptr);
    if (tunnelProcess && tunnelProcess->state() != QProcess::NotRunning)
        tunnelProcess->waitForFinished(timeoutMs);
    const Platform::Invocation removal = commands.removeTunnel(configPath);
    QProcess process;
    process.start(removal.program, removal.arguments);
    process.waitForFinished(timeoutMs);
    return confirmRemoval(exitedWell(process));
}

void LocalTunnelTools::readTransfer(int timeoutMs)
{
    readings->run(transferReading, commands.tunnelTransfer(), timeoutMs);
}

void LocalTunnelTools::readHandshakes(int timeoutMs)
{
    readings->run(handshakesReading, commands.tunnelHandshakes(), timeoutMs);
}

QString LocalTunnelTools::transferNow(int timeoutMs)
{
    return QString::fromUtf8(runAndWait(commands.tunnelTransfer(), timeoutMs));
}

QString LocalTunnelTools::handshakesNow(int timeoutMs)
{
    return QString::fromUtf8(runAndWait(commands.tunnelHandshakes(), timeoutMs));
}

// The firewall steps run to their end before the call returns: a block that stops everything
// must be gone before the request that follows its lifting leaves, and an elevated client waits
// for no one's answer but the firewall's.
void LocalTunnelTools::putKillSwitch(const Platform::KillSwitchRules &rules)
{
    emit killSwitchPut(putKillSwitchNow(rules));
}

void LocalTunnelTools::liftKillSwitch()
{
    emit killSwitchLifted(liftKillSwitchNow(toolTimeoutMs));
}

bool LocalTunnelTools::putKillSwitchNow(const Platform::KillSwitchRules &rules)
{
    return runFirewall(commands.putKillSwitch(rules), toolTimeoutMs);
}

bool LocalTunnelTools::liftKillSwitchNow(int timeoutMs)
{
    return runFirewall(commands.liftKillSwitch(), timeoutMs);
}

// Runs each firewall call in order; the block's fate is the last call's. A failure is logged
// once with the tool's own message.
bool LocalTunnelTools::runFirewall(const QVector<Platform::Invocation> &invocations,
                                   int timeoutMs) const
{
    bool succeeded = false;
    for (const Platform::Invocation &invocation : invocations) {
        QProcess process;
        process.start(invocation.program, invocation.arguments);
        int exitCode = -2;
        if (process.waitForStarted(timeoutMs)) {
            process.waitForFinished(timeoutMs);
            exitCode = process.exitStatus() == QProcess::NormalExit &&
                               process.state() == QProcess::NotRunning
                           ? process.exitCode()
                           : -1;
        }
        succeeded = exitCode == 0;
        if (succeeded)
            continue;
        qCDebug(lcVpn).noquote()
            << invocation.program + QStringLiteral(" failed") << exitCode
            << invocation.arguments.join(QLatin1Char(' '))
            << QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
    }
    return succeeded;
}
