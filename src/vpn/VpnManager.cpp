#include "vpn/VpnManager.h"

#include "platform/PrivateFile.h"
#include "vpn/ServiceAddresses.h"
#include "vpn/WireGuardConfig.h"

#include <QDebug>
#include <QDir>
#include <QHostAddress>
#include <QHostInfo>
#include <QStandardPaths>
#include <QTimer>

VpnManager::VpnManager(QObject *parent, const Platform::CommandSet &commands)
    : QObject(parent)
    , serviceAddresses(new ServiceAddresses(this))
    , commands(commands)
{
    connect(serviceAddresses, &ServiceAddresses::changed, this,
            &VpnManager::refreshActiveKillSwitch);
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
    const WireGuardConfig config = WireGuardConfig::read(configData);
    if (!config.isValid()) {
        // Refused before anything of it reaches the disk or a tool, not even the removal.
        qDebug().noquote() << "WireGuard configuration refused:" << config.refusal();
        finishStop(true);
        return;
    }
    if (!commands.killSwitchIsSelective() && killSwitchActive)
        deactivateKillSwitch();
    lastReceivedBytes = 0;
    lastSentBytes = 0;
    resolvePeers(config, ++connectAttempts, {}, 0);
}

// The kill switch lets the tunnel's peers through by address: endpoint names are looked up first,
// without blocking; addresses go straight on.
void VpnManager::resolvePeers(const WireGuardConfig &config, int attempt,
                              QVector<Platform::KillSwitchRules::Peer> resolved, int next)
{
    const QVector<WireGuardConfig::Endpoint> endpoints = config.endpoints();
    for (; next < endpoints.size(); ++next) {
        const WireGuardConfig::Endpoint &endpoint = endpoints.at(next);
        if (QHostAddress(endpoint.host).isNull())
            break;
        resolved.append({QHostAddress(endpoint.host).toString(), endpoint.port});
    }
    if (next == endpoints.size()) {
        installTunnel(config, resolved);
        return;
    }
    const WireGuardConfig::Endpoint endpoint = endpoints.at(next);
    QHostInfo::lookupHost(endpoint.host, this, [=](const QHostInfo &answer) mutable {
        if (attempt != connectAttempts || state != ConnectionState::Connecting)
            return;
        for (const QHostAddress &address : answer.addresses())
            resolved.append({address.toString(), endpoint.port});
        resolvePeers(config, attempt, resolved, next + 1);
    });
}

void VpnManager::installTunnel(const WireGuardConfig &config,
                               const QVector<Platform::KillSwitchRules::Peer> &peers)
{
    tunnelInUse = true;
    tunnelPeers = peers;
    // The attempt never runs unprotected: the block now lets this tunnel and its peers through.
    if (killSwitchEnabled && commands.killSwitchIsSelective())
        activateKillSwitch();
    if (!writeConfigFile(config.fileText())) {
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
    switch (Platform::writePrivateFile(configPath, configData)) {
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
    if (!commands.killSwitchIsSelective() && killSwitchActive)
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
    // The file holds the private key; the tunnel it started is gone.
    QFile::remove(configPath);
    tunnelInUse = false;
    tunnelPeers.clear();
    state = failed ? ConnectionState::Error : ConnectionState::Disconnected;
    if (killSwitchEnabled && (!killSwitchActive || commands.killSwitchIsSelective()))
        activateKillSwitch();
    else if (!killSwitchEnabled && killSwitchActive)
        deactivateKillSwitch();
    emit connectionStateChanged(state);
}

bool VpnManager::shutDown()
{
    stopTimers();
    // A stop under way must not put the block back once the member has quit.
    for (QProcess *process : findChildren<QProcess *>())
        disconnect(process, nullptr, this, nullptr);
    if (tunnelProcess && tunnelProcess->state() != QProcess::NotRunning)
        tunnelProcess->waitForFinished(timings.toolTimeoutMs);
    const bool tunnelWasUp = tunnelInUse;
    if (tunnelInUse) {
        const Platform::Invocation invocation = commands.removeTunnel(configPath);
        QProcess removal;
        removal.start(invocation.program, invocation.arguments);
        removal.waitForFinished(timings.toolTimeoutMs);
    }
    QFile::remove(configPath);
    tunnelInUse = false;
    tunnelPeers.clear();
    state = ConnectionState::Disconnected;
    if (killSwitchActive)
        deactivateKillSwitch();
    return tunnelWasUp;
}

void VpnManager::updateConnectionTimer()
{
    if (state == ConnectionState::Connected)
        emit connectionTimeUpdated(int(connectedTimer.elapsed() / 1000));
}
