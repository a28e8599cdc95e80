#include "vpn/VpnManager.h"

#include "platform/Privileges.h"
#include "platform/Resolvers.h"
#include "platform/StateDirectory.h"
#include "types/LogCategories.h"
#include "vpn/HelperTunnelTools.h"
#include "vpn/LocalTunnelTools.h"
#include "vpn/ServiceAddresses.h"
#include "vpn/WireGuardConfig.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHostAddress>
#include <QHostInfo>
#include <QStandardPaths>
#include <QTimer>

#include <utility>

namespace {

TunnelTools *toolsByRights(const Platform::CommandSet &commands, const QString &configPath)
{
    if (Platform::hasNetworkAdminRights())
        return VpnManager::localTools(commands, configPath);
    return new HelperTunnelTools();
}

VpnManager::ToolsFactory &toolsFactory()
{
    static VpnManager::ToolsFactory factory = toolsByRights;
    return factory;
}

} // namespace

void VpnManager::setToolsFactory(const ToolsFactory &factory)
{
    toolsFactory() = factory ? factory : toolsByRights;
}

TunnelTools *VpnManager::localTools(const Platform::CommandSet &commands, const QString &configPath)
{
    return new LocalTunnelTools(commands, configPath);
}

VpnManager::VpnManager(QObject *parent, const Platform::CommandSet &commands)
    : QObject(parent)
    , serviceAddresses(new ServiceAddresses(this))
    , commands(commands)
{
    // No safe folder, no path: an install then fails as one that cannot write its file.
    const QString configFolder = Platform::tunnelConfigurationFolder();
    if (!configFolder.isEmpty())
        configPath = configFolder + QStringLiteral("/") + tunnelName + QStringLiteral(".conf");
    // Left by a run that ended without removing its tunnel: it holds a private key. A tunnel
    // that outlived it is removed before the next one, by force where the file is needed.
    if (QFile::remove(configPath))
        qCDebug(lcVpn) << "A configuration file left by an earlier run was deleted";

    const bool nativeSet = commands.kind() == Platform::CommandSet::native().kind();
    tools = nativeSet ? toolsFactory()(commands, configPath) : localTools(commands, configPath);
    tools->setParent(this);
    connect(tools, &TunnelTools::installFinished, this, &VpnManager::processWgUpFinished);
    connect(tools, &TunnelTools::removalFinished, this, &VpnManager::removalFinished);
    connect(tools, &TunnelTools::transferRead, this, &VpnManager::transferAnswered);
    connect(tools, &TunnelTools::handshakesRead, this, &VpnManager::handshakesAnswered);
    connect(tools, &TunnelTools::killSwitchPut, this, &VpnManager::blockPut);
    connect(tools, &TunnelTools::killSwitchLifted, this, &VpnManager::blockLifted);
    connect(serviceAddresses, &ServiceAddresses::changed, this,
            &VpnManager::refreshActiveKillSwitch);
    // Files are replaced rather than written in place: their folders are watched.
    if (commands.killSwitchIsSelective()) {
        auto *resolverWatcher = new QFileSystemWatcher(this);
        for (const QString &file : Platform::resolverConfigurationFiles()) {
            // resolv.conf is often a link into the folder where a resolver manager writes.
            for (const QString &path : {file, QFileInfo(file).canonicalFilePath()}) {
                const QString folder = QFileInfo(path).path();
                if (!path.isEmpty() && QFileInfo::exists(folder) &&
                    !resolverWatcher->directories().contains(folder))
                    resolverWatcher->addPath(folder);
            }
        }
        connect(resolverWatcher, &QFileSystemWatcher::directoryChanged, this,
                &VpnManager::resolversMayHaveChanged);
    }
    giveUpTimer = new QTimer(this);
    giveUpTimer->setSingleShot(true);
    giveUpTimer->setInterval(timings.staleGiveUpMs);
    connect(giveUpTimer, &QTimer::timeout, this, &VpnManager::tunnelDead);
}

void VpnManager::setTimings(const Timings &newTimings)
{
    timings = newTimings;
    giveUpTimer->setInterval(timings.staleGiveUpMs);
    if (auto *local = qobject_cast<LocalTunnelTools *>(tools))
        local->setToolTimeout(timings.toolTimeoutMs);
}

void VpnManager::changeConnectionState(int newState, QByteArray configData)
{
    if (newState == ConnectionState::Disconnecting) {
        disconnectTunnel();
        return;
    }
    if (newState != ConnectionState::Connecting) {
        state = newState;
        configurationRequestPending = false;
        return;
    }
    const WireGuardConfig config = WireGuardConfig::read(configData);
    if (!config.isValid()) {
        // Refused before anything of it reaches the disk or a tool, not even the removal.
        qCDebug(lcVpn).noquote() << "WireGuard configuration refused:" << config.refusal();
        state = ConnectionState::Connecting;
        configurationRequestPending = false;
        finishStop(true);
        return;
    }
    connectTunnel(config);
}

void VpnManager::connectTunnel(const WireGuardConfig &config)
{
    state = ConnectionState::Connecting;
    configurationRequestPending = false;
    startTunnel(config);
}

void VpnManager::disconnectTunnel()
{
    state = ConnectionState::Disconnecting;
    configurationRequestPending = false;
    stopTunnel(false);
}

void VpnManager::startTunnel(const WireGuardConfig &config)
{
    // The removal would delete the new file and end the new tunnel's bookkeeping: it goes first.
    if (isRemovalUnderWay()) {
        qCDebug(lcVpn) << "WireGuard tunnel waits for the removal under way";
        startAfterRemoval = config;
        return;
    }
    if (!commands.killSwitchIsSelective() && blockWanted)
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
    // The attempt never runs unprotected: the block now lets this tunnel and its peers through,
    // and the tool gets the configuration once the firewall says so.
    if (killSwitchEnabled && commands.killSwitchIsSelective()) {
        configAwaitingBlock = config.fileText();
        activateKillSwitch();
        return;
    }
    handToTool(config.fileText());
}

// A block that cannot be put in force ends the attempt; the member is told why.
void VpnManager::installOnceBlockDecided()
{
    if (!configAwaitingBlock)
        return;
    const QByteArray configText = *std::exchange(configAwaitingBlock, std::nullopt);
    if (killSwitchEnabled && !killSwitchActive) {
        qCDebug(lcVpn) << "Not connecting: the kill switch is on and its block is not in force";
        tunnelInUse = false;
        tunnelPeers.clear();
        finishStop(true);
        return;
    }
    handToTool(configText);
}

void VpnManager::handToTool(const QByteArray &configText)
{
    if (!tools->install(configText)) {
        qCDebug(lcVpn) << "Failed to create WireGuard config file";
        stopTunnel(true);
    }
}

void VpnManager::processWgUpFinished(int exitCode, QString errorText)
{
    if (exitCode != 0) {
        qCDebug(lcVpn) << "WireGuard tunnel start failed with exit code" << exitCode << errorText;
        stopTunnel(true);
        return;
    }
    qCDebug(lcVpn) << "WireGuard tunnel is up";
    ++tunnelsStarted;
    state = ConnectionState::Connected;
    emit connectionStateChanged(state);
    failedStatusChecks = 0;
    lastPollReceived = lastPollSent = false;
    lastInterfaceCounters.reset();
    interfaceSentSinceReceived = false;
    transferBaseOutdated = false;
    tunnelUpSinceEpoch = QDateTime::currentSecsSinceEpoch();
    tunnelClock.start();
    lastReadingAtMs = 0;
    if (!commands.killSwitchIsSelective() && blockWanted)
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
    if (figuresShown)
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
    startAfterRemoval.reset();
    configAwaitingBlock.reset();
    stopTimers();
    setTunnelStale(false);
    pendingStops.append(failed);
    tools->remove();
}

void VpnManager::removalFinished(bool removed)
{
    if (pendingStops.isEmpty())
        return;
    // Only a tunnel this client handed over can be left up by a removal that failed; the
    // removal the disconnect sequence runs with nothing up fails harmlessly without a helper.
    lastRemovalFailed = !removed && tunnelInUse;
    const bool failed = pendingStops.takeFirst() || lastRemovalFailed;
    if (!startAfterRemoval) {
        finishStop(failed);
        return;
    }
    // A newer connection waits for this removal: the state and the block are that connection's.
    tunnelInUse = false;
    tunnelPeers.clear();
    if (!isRemovalUnderWay())
        startTunnel(*std::exchange(startAfterRemoval, std::nullopt));
}

void VpnManager::finishStop(bool failed)
{
    tunnelInUse = false;
    tunnelPeers.clear();
    state = failed ? ConnectionState::Error : ConnectionState::Disconnected;
    if (killSwitchEnabled && (!isBlockInForceOrComing() || commands.killSwitchIsSelective()))
        activateKillSwitch();
    else if (!killSwitchEnabled && blockWanted)
        deactivateKillSwitch();
    emit connectionStateChanged(state);
}

bool VpnManager::shutDown()
{
    stopTimers();
    giveUpTimer->stop();
    tunnelStale = false;
    pendingStops.clear();
    startAfterRemoval.reset();
    const bool tunnelWasUp = tunnelInUse;
    if (tunnelInUse && !tools->removeNow(timings.toolTimeoutMs))
        qCWarning(lcVpn) << "Quitting: the tunnel could not be removed";
    tunnelInUse = false;
    tunnelPeers.clear();
    state = ConnectionState::Disconnected;
    // Answers still on their way would note a block after this lift.
    disconnect(tools, nullptr, this, nullptr);
    if (blockWanted || killSwitchActive)
        liftBlockNow();
    return tunnelWasUp;
}

void VpnManager::setFiguresShown(bool shown)
{
    figuresShown = shown;
    if (!connectionTimer)
        return;
    if (!shown) {
        connectionTimer->stop();
        return;
    }
    if (state != ConnectionState::Connected || connectionTimer->isActive())
        return;
    connectionTimer->start(timings.clockTickMs);
    updateConnectionTimer();
    // The rates shown next are of one whole poll interval from a fresh base.
    if (transferBaseOutdated) {
        statusTimer->start(timings.statusPollMs);
        QTimer::singleShot(0, this, &VpnManager::checkConnectionStatus);
    }
}

void VpnManager::updateConnectionTimer()
{
    if (state == ConnectionState::Connected)
        emit connectionTimeUpdated(int(connectedTimer.elapsed() / 1000));
}
