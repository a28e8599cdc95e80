#include "vpn/VpnManager.h"

#include "platform/PrivateFile.h"

#include <QDebug>
#include <QDir>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTimer>

VpnManager::VpnManager(QObject *parent, const Platform::CommandSet &commands)
    : QObject(parent)
    , commands(commands)
{
    const QString dataDir = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    configPath = dataDir + QStringLiteral("/") + tunnelName + QStringLiteral(".conf");
    QDir().mkpath(dataDir);
}

void VpnManager::changeConnectionState(int newState, QByteArray configData)
{
    state = newState;
    if (state == ConnectionState::Connecting)
        startTunnel(configData);
    if (state == ConnectionState::Disconnecting)
        stopTunnel(false);
}

void VpnManager::startTunnel(const QByteArray &configData)
{
    if (killSwitchActive)
        deactivateKillSwitch();
    lastReceivedBytes = 0;
    lastSentBytes = 0;
    if (!writeConfigFile(configData)) {
        qDebug() << "Failed to create WireGuard config file";
        stopTunnel(true);
        return;
    }

    if (tunnelProcess)
        tunnelProcess->deleteLater();
    tunnelProcess = new QProcess(this);
    connect(tunnelProcess, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            &VpnManager::processWgUpFinished);
    // A tool that cannot be started at all never finishes; count it as a failed install.
    connect(tunnelProcess, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            processWgUpFinished(-1, QProcess::CrashExit);
    });

    {
        const Platform::Invocation removal = commands.removeTunnel(configPath);
        QProcess oldTunnelRemoval;
        oldTunnelRemoval.start(removal.program, removal.arguments);
        oldTunnelRemoval.waitForFinished(timings.toolTimeoutMs);
    }

    const Platform::Invocation install = commands.installTunnel(configPath);
    tunnelProcess->start(install.program, install.arguments);
}

bool VpnManager::writeConfigFile(const QByteArray &configData)
{
    QString text = QString::fromUtf8(configData);
    static const QRegularExpression mtuLine(QStringLiteral("\nMTU[^\n]*"));
    text.replace(mtuLine, QStringLiteral("\nMTU = 1420"));
    switch (Platform::writePrivateFile(configPath, text.toUtf8())) {
    case Platform::PrivateFileResult::Written:
        return true;
    case Platform::PrivateFileResult::CannotOpen:
        qDebug() << "Cannot open config file for writing:" << configPath;
        return false;
    case Platform::PrivateFileResult::WriteFailed:
        return false;
    }
    return false;
}

void VpnManager::processWgUpFinished(int exitCode, QProcess::ExitStatus)
{
    if (exitCode != 0) {
        const QString errorText =
            tunnelProcess ? QString::fromUtf8(tunnelProcess->readAllStandardError()) : QString();
        qDebug() << "WireGuard tunnel start failed with exit code" << exitCode << errorText;
        stopTunnel(true);
        return;
    }
    qDebug() << "WireGuard tunnel is up";
    state = ConnectionState::Connected;
    emit connectionStateChanged(state);
    failedStatusChecks = 0;
    if (killSwitchActive)
        deactivateKillSwitch();
    startTimers();
}

void VpnManager::startTimers()
{
    connectedTimer.start();
    if (!connectionTimer) {
        connectionTimer = new QTimer(this);
        connect(connectionTimer, &QTimer::timeout, this, &VpnManager::updateConnectionTimer);
    }
    connectionTimer->start(timings.clockTickMs);
    if (!statusTimer) {
        statusTimer = new QTimer(this);
        connect(statusTimer, &QTimer::timeout, this, &VpnManager::checkConnectionStatus);
    }
    statusTimer->start(timings.statusPollMs);
}

void VpnManager::stopTimers()
{
    if (statusTimer)
        statusTimer->stop();
    if (connectionTimer)
        connectionTimer->stop();
}

void VpnManager::stopTunnel(bool failed)
{
    stopTimers();
    auto *removal = new QProcess(this);
    connect(removal, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            [this, removal, failed] {
                removal->deleteLater();
                finishStop(failed);
            });
    // A removal that cannot be started still completes the stop.
    connect(removal, &QProcess::errorOccurred, this,
            [this, removal, failed](QProcess::ProcessError error) {
                if (error != QProcess::FailedToStart)
                    return;
                removal->deleteLater();
                finishStop(failed);
            });
    const Platform::Invocation invocation = commands.removeTunnel(configPath);
    removal->start(invocation.program, invocation.arguments);
}

void VpnManager::finishStop(bool failed)
{
    if (!failed) {
        state = ConnectionState::Disconnected;
        if (killSwitchEnabled && !killSwitchActive)
            activateKillSwitch();
        else if (!killSwitchEnabled && killSwitchActive)
            deactivateKillSwitch();
    } else {
        state = ConnectionState::Error;
        if (killSwitchEnabled && !killSwitchActive)
            activateKillSwitch();
    }
    emit connectionStateChanged(state);
}

void VpnManager::updateConnectionTimer()
{
    if (state == ConnectionState::Connected)
        emit connectionTimeUpdated(int(connectedTimer.elapsed() / 1000));
}
