#include "controllers/ConnectionController.h"

#include "platform/NetworkMonitor.h"
#include "platform/SleepMonitor.h"
#include "storage/AppSettings.h"
#include "types/LogCategories.h"
#include "vpn/VpnManager.h"
#include "vpn/WireGuardConfig.h"

#include <QDebug>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace {

QString probeHost(const ServerData &server)
{
    return server.serverIp.isEmpty() ? server.hostname : server.serverIp;
}

constexpr int maxFallbackAttempts = 3;

} // namespace

ConnectionController::ConnectionController(VpnManager *tunnel, NetworkMonitor *network,
                                           SleepMonitor *sleep, QObject *parent)
    : QObject(parent)
    , vpnManager(tunnel)
    , networkMonitor(network)
    , pingRefreshTimer(new QTimer(this))
    , online(network->isOnline())
{
    pingRefreshTimer->setInterval(300000);
    connect(pingRefreshTimer, &QTimer::timeout, this, &ConnectionController::refreshLatencies);
    connect(vpnManager, &VpnManager::connectionStateChanged, this,
            &ConnectionController::tunnelStateChanged);
    connect(vpnManager, &VpnManager::killSwitchSettled, this,
            &ConnectionController::killSwitchSettled);
    connect(vpnManager, &VpnManager::tunnelHealthChanged, this,
            &ConnectionController::presentLinkCondition);
    connect(vpnManager, &VpnManager::tunnelDead, this, &ConnectionController::leaveDeadServer);
    connect(network, &NetworkMonitor::routeChanged, this, &ConnectionController::networkChanged);
    connect(network, &NetworkMonitor::onlineChanged, this, &ConnectionController::onlineChanged);
    connect(sleep, &SleepMonitor::resumed, this, &ConnectionController::resumeAfterSleep);
}

ConnectionState::LinkCondition ConnectionController::linkCondition() const
{
    if (!online)
        return ConnectionState::LinkCondition::NoNetwork;
    if (connectionState == State::Connected && vpnManager->isTunnelStale())
        return ConnectionState::LinkCondition::Unstable;
    return ConnectionState::LinkCondition::Normal;
}

void ConnectionController::setLatencyRefreshInterval(int milliseconds)
{
    pingRefreshTimer->setInterval(milliseconds);
}

void ConnectionController::showState(State state)
{
    connectionState = state;
    emit stateChanged(state);
    if (state == State::Connected)
        fallbackAttempts = 0;
    if (state == State::Disconnected && std::exchange(disconnectRequested, false))
        emit requestVpnDisconnect();
}

void ConnectionController::setServers(const QVector<ServerData> &servers)
{
    signedIn = true;
    serverList = servers;
    sweep();
    pingRefreshTimer->start();
    // An empty list leaves no location current; connecting then shows an error.
    if (servers.isEmpty()) {
        current = ServerData();
        emit currentServerChanged(current);
        return;
    }
    const int lastServerId = AppSettings::value(AppSettings::LastServerId).toInt();
    const bool lastServerListed =
        std::any_of(servers.begin(), servers.end(),
                    [lastServerId](const ServerData &s) { return s.id == lastServerId; });
    setCurrentServer(lastServerListed ? lastServerId : servers.first().id);
}

void ConnectionController::favoritesArrived()
{
    // Signed out, nothing connects by itself, whatever late reply comes.
    if (!signedIn || !AppSettings::switchState(AppSettings::AutoConnect))
        return;
    // One connection: at once when idle, after a removal under way, none while one is asked for.
    if (reconnectAfterStop)
        return;
    if (connectionState == State::Disconnecting)
        reconnectAfterStop = true;
    else if (isIdle())
        requestConnection(current);
}

void ConnectionController::setCurrentServer(int id)
{
    const bool connected = vpnManager->connectionState() == ConnectionState::Connected;
    if (!connected && isChanging())
        return;
    const std::optional<ServerData> server = listed(id);
    if (!server)
        return;
    current = *server;
    qCDebug(lcUi) << "Server chosen:" << current.id << current.city;
    emit currentServerChanged(current);
    if (connected)
        disconnectForNewServer();
    else
        runDisconnectSequence();
    rememberLocation(current.id);
}

void ConnectionController::chooseServer(int id, bool autoConnect)
{
    // While a connection or disconnection is under way the choice is ignored, as the button is.
    if (isChanging() || reconnectAfterStop)
        return;
    const bool wasConnected = vpnManager->connectionState() == ConnectionState::Connected;
    setCurrentServer(id);
    if (autoConnect && !wasConnected)
        requestConnection(current);
}

void ConnectionController::toggleConnection()
{
    switch (vpnManager->connectionState()) {
    case ConnectionState::Connected:
        qCDebug(lcUi) << "Disconnecting at the member's request";
        showState(State::Disconnecting);
        disconnectRequested = true;
        vpnManager->disconnectTunnel();
        break;
    case ConnectionState::Disconnected:
    case ConnectionState::Error:
        requestConnection(current);
        break;
    default:
        break;
    }
}

void ConnectionController::setKillSwitchEnabled(bool enabled)
{
    killSwitchEnabled = enabled;
    vpnManager->setKillSwitchEnabled(enabled);
}

void ConnectionController::requestConnection(const ServerData &server)
{
    // Nothing to connect to: say so as any failed connection does.
    if (server.serverIp.isEmpty()) {
        showState(State::Error);
        return;
    }
    // With no network the request could only fail: it waits for the network to return.
    if (!online) {
        reconnectWhenOnline = true;
        presentLinkCondition();
        return;
    }
    // With the switch on, a connection is made only under a block in force: it is tried once
    // more, and the attempt goes on once the firewall has answered.
    if (killSwitchEnabled && vpnManager->killSwitchFault() != VpnManager::KillSwitchFault::None) {
        vpnManager->setKillSwitchEnabled(true);
        if (vpnManager->isKillSwitchChanging()) {
            serverAwaitingBlock = server;
            return;
        }
    }
    requestConfiguration(server);
}

void ConnectionController::killSwitchSettled()
{
    if (const std::optional<ServerData> server = std::exchange(serverAwaitingBlock, std::nullopt))
        requestConfiguration(*server);
}

// A block that still fails ends the attempt as an error.
void ConnectionController::requestConfiguration(const ServerData &server)
{
    if (killSwitchEnabled && vpnManager->killSwitchFault() != VpnManager::KillSwitchFault::None) {
        qCDebug(lcUi) << "Not connecting: the kill switch is on and its block is not in force";
        showState(State::Error);
        return;
    }
    // A configuration is asked for only once no removal is under way.
    if (vpnManager->isRemovalUnderWay()) {
        reconnectAfterStop = true;
        return;
    }
    // The city came from the network: quoted, with any control character escaped.
    qCDebug(lcUi) << "Connecting to server" << server.id << server.city;
    showState(State::Connecting);
    askForConfiguration(server);
}

void ConnectionController::askForConfiguration(const ServerData &server)
{
    vpnManager->prepareForConfigurationRequest();
    emit requestVpnConnect(server.serverIp);
}

void ConnectionController::configurationReceived(const QByteArray &configData)
{
    // A configuration that could run commands or is not WireGuard's is no configuration at all.
    const WireGuardConfig config = WireGuardConfig::read(configData);
    if (!config.isValid()) {
        qCDebug(lcUi).noquote() << "WireGuard configuration refused:" << config.refusal();
        configurationFailed();
        return;
    }
    configurationIssued = true;
    vpnManager->connectTunnel(config);
}

void ConnectionController::configurationFailed()
{
    // A request that failed because the network went is asked again once it returns.
    if (!online) {
        reconnectWhenOnline = true;
        showError();
        return;
    }
    const QVector<ServerData> candidates = fallbackCandidates();
    if (fallbackAttempts >= maxFallbackAttempts || fallbackAttempts >= candidates.size()) {
        showError();
        return;
    }
    const ServerData next = candidates.at(fallbackAttempts++);
    qCDebug(lcUi) << "Auto-fallback attempt" << fallbackAttempts << "- trying server:" << next.city
                  << "(ping:" << next.ping << "ms)";
    current = next;
    emit currentServerChanged(current);
    rememberLocation(next.id);
    askForConfiguration(next);
}

void ConnectionController::rememberLocation(int id)
{
    QTimer::singleShot(0, this, [id] { AppSettings::setValue(AppSettings::LastServerId, id); });
}

void ConnectionController::showError()
{
    fallbackAttempts = 0;
    showState(State::Error);
    vpnManager->setKillSwitchEnabled(killSwitchEnabled);
}

void ConnectionController::tunnelStateChanged(int state)
{
    showState(State(state));
    // A tunnel that never came up leaves nothing issued on the service: it hears at once, as it
    // would of a disconnect. Once up, the tunnel's own stop tells it.
    if (std::exchange(configurationIssued, false) && state != ConnectionState::Connected) {
        qCDebug(lcUi)
            << "The tunnel did not come up: the service is told to withdraw its configuration";
        emit requestVpnDisconnect();
    }
    if (state == ConnectionState::Connected || !reconnectAfterStop)
        return;
    reconnectAfterStop = false;
    requestConnection(current);
}

void ConnectionController::disconnectForNewServer()
{
    disconnectRequested = true;
    reconnectAfterStop = true;
    vpnManager->disconnectTunnel();
}

void ConnectionController::runDisconnectSequence()
{
    showState(State::Disconnecting);
    vpnManager->disconnectTunnel();
}

// Every server of the list, whatever the servers page filters or searches.
QVector<ServerData> ConnectionController::fallbackCandidates() const
{
    QVector<ServerData> candidates;
    for (const ServerData &entry : serverList) {
        const std::optional<ServerData> server = listed(entry.id);
        if (server && server->hasValidLatency() && server->id != current.id)
            candidates.append(*server);
    }
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const ServerData &a, const ServerData &b) { return a.ping < b.ping; });
    return candidates;
}

std::optional<ServerData> ConnectionController::listed(int id) const
{
    return serverLookup ? serverLookup(id) : std::nullopt;
}

void ConnectionController::refreshCurrentServer()
{
    if (const std::optional<ServerData> server = listed(current.id))
        current = *server;
}

void ConnectionController::sweep()
{
    QVector<QPair<int, QString>> requests;
    requests.reserve(serverList.size());
    for (const ServerData &server : qAsConst(serverList))
        requests.append({server.id, probeHost(server)});
    emit requestPings(requests);
}

void ConnectionController::refreshLatencies()
{
    if (signedIn)
        sweep();
}

void ConnectionController::stopLatencyRefresh()
{
    signedIn = false;
    pingRefreshTimer->stop();
}

void ConnectionController::logOut()
{
    reconnectAfterStop = false;
    reconnectWhenOnline = false;
    serverAwaitingBlock.reset();
    stopLatencyRefresh();
    runDisconnectSequence();
}

void ConnectionController::shutDown(int noticeTimeoutMs)
{
    reconnectAfterStop = false;
    if (!vpnManager->shutDown())
        return;
    // The disconnect notice is best effort: the member is leaving either way.
    QEventLoop waitForNotice;
    QTimer::singleShot(noticeTimeoutMs, &waitForNotice, &QEventLoop::quit);
    connect(this, &ConnectionController::disconnectNoticeAnswered, &waitForNotice,
            &QEventLoop::quit);
    emit requestVpnDisconnect();
    waitForNotice.exec();
}

// The server stopped answering: the connection moves to the fastest other server, as a failed
// request does. The member's own choice stays the location offered next time.
void ConnectionController::leaveDeadServer()
{
    if (connectionState != State::Connected || !online)
        return;
    const QVector<ServerData> candidates = fallbackCandidates();
    if (candidates.isEmpty())
        return;
    const ServerData next = candidates.first();
    qCDebug(lcUi) << "Server stopped answering:" << current.name << "- switching to" << next.name;
    emit serverAbandoned(current.name, next.name);
    current = next;
    emit currentServerChanged(current);
    disconnectForNewServer();
}

void ConnectionController::presentLinkCondition()
{
    emit linkConditionChanged(linkCondition());
}

// Every listed server is measured again, as when the list arrived: the machine may be on
// another network now.
void ConnectionController::resumeAfterSleep()
{
    vpnManager->checkHealthNow();
    refreshLatencies();
}

void ConnectionController::networkChanged()
{
    // The monitor's answer stands before it tells of the route: a route that brings the network
    // back counts here, although onlineChanged comes after.
    if (!networkMonitor->isOnline())
        return;
    vpnManager->networkChanged();
    refreshLatencies();
}

void ConnectionController::onlineChanged(bool isOnline)
{
    online = isOnline;
    if (!online) {
        qCDebug(lcUi) << "No network";
        reconnectWhenOnline = reconnectWhenOnline || connectionState == State::Connected ||
                              connectionState == State::Connecting;
        presentLinkCondition();
        return;
    }
    qCDebug(lcUi) << "Network is back";
    presentLinkCondition();
    if (std::exchange(reconnectWhenOnline, false) && signedIn && isIdle())
        requestConnection(current);
}
