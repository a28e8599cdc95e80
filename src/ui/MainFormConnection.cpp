#include "ui/MainForm.h"

#include "ping/PingOutput.h"
#include "platform/NetworkMonitor.h"
#include "servers/RecomendedServerItem.h"
#include "servers/ServerListModel.h"
#include "servers/ServersWindow.h"
#include "storage/AppSettings.h"
#include "types/LogCategories.h"
#include "ui/AccountWindow.h"
#include "ui/SettingsWindow.h"
#include "vpn/VpnManager.h"
#include "vpn/WireGuardConfig.h"

#include <QDebug>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace {

QString probeHost(const ServerData &server)
{
    return server.serverIp.isEmpty() ? server.hostname : server.serverIp;
}

} // namespace

QVector<int> MainForm::favoriteServers() const
{
    return serverModel ? serverModel->favoriteServers() : QVector<int>();
}

void MainForm::sweepPings(const QVector<ServerData> &servers)
{
    pingCount = 0;
    QVector<QPair<int, QString>> requests;
    requests.reserve(servers.size());
    for (const ServerData &server : servers)
        requests.append({server.id, probeHost(server)});
    emit requestPings(requests);
}

void MainForm::markFavorites(const QVector<int> &ids)
{
    for (const int id : ids) {
        // A stale favourite names a server the list no longer has: nothing to mark.
        if (!serverModel->hasServer(id))
            continue;
        ServerData favorite = serverModel->serverById(id);
        favorite.isFavorite = true;
        serverModel->updateServer(favorite);
    }
}

void MainForm::setServers(const QVector<ServerData> &servers)
{
    signedIn = true;
    serverList = servers;
    const int lastServerId = AppSettings::value(AppSettings::LastServerId).toInt();
    sweepPings(servers);
    pingRefreshTimer->start();
    const bool lastServerListed =
        std::any_of(servers.begin(), servers.end(),
                    [lastServerId](const ServerData &s) { return s.id == lastServerId; });

    if (serverModel)
        serverModel->deleteLater();
    serverModel = new ServerListModel(servers, this);
    // The list is in latency order from the start, whether or not its page was opened yet.
    if (serversWindow)
        serversWindow->setModel(serverModel);
    else
        serverModel->sortServers(3);
    markFavorites(AppSettings::favoriteServerIds());
    // An empty list leaves no location current; connecting then shows an error.
    if (servers.isEmpty()) {
        currentServer = ServerData();
        labelServerName->clear();
    } else {
        setCurrentServer(lastServerListed ? lastServerId : servers.first().id);
    }
    updateRecommendedCards();
}

void MainForm::setFavoriteServers(const QVector<int> &favoriteServersIds)
{
    if (serverModel)
        markFavorites(favoriteServersIds);
    if (!AppSettings::switchState(AppSettings::AutoConnect))
        return;
    // One connection: at once when idle, after a removal under way, none while one is asked for.
    if (reconnectAfterStop)
        return;
    if (shownState == ConnectionState::Disconnecting)
        reconnectAfterStop = true;
    else if (shownState == ConnectionState::Disconnected || shownState == ConnectionState::Error)
        requestConnection(currentServer);
}

// Shows Connecting, readies the block for the request and asks the service for a configuration.
void MainForm::requestConnection(const ServerData &server)
{
    // Nothing to connect to: say so as any failed connection does.
    if (server.serverIp.isEmpty()) {
        setVpnConnectionState(ConnectionState::Error);
        return;
    }
    // With no network the request could only fail: it waits for the network to return.
    if (!networkMonitor->isOnline()) {
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

void MainForm::killSwitchSettled()
{
    if (const std::optional<ServerData> server = std::exchange(serverAwaitingBlock, std::nullopt))
        requestConfiguration(*server);
}

// A block that still fails ends the attempt as an error.
void MainForm::requestConfiguration(const ServerData &server)
{
    if (killSwitchEnabled && vpnManager->killSwitchFault() != VpnManager::KillSwitchFault::None) {
        qCDebug(lcUi) << "Not connecting: the kill switch is on and its block is not in force";
        setVpnConnectionState(ConnectionState::Error);
        return;
    }
    // A configuration is asked for only once no removal is under way.
    if (vpnManager->isRemovalUnderWay()) {
        reconnectAfterStop = true;
        return;
    }
    // The city came from the network: quoted, with any control character escaped.
    qCDebug(lcUi) << "Connecting to server" << server.id << server.city;
    setVpnConnectionState(ConnectionState::Connecting);
    vpnManager->prepareForConfigurationRequest();
    emit requestVpnConnect(server.serverIp);
}

void MainForm::tunnelStateChanged(int state)
{
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
    requestConnection(currentServer);
}

void MainForm::runDisconnectSequence()
{
    showMenu(false);
    setVpnConnectionState(ConnectionState::Disconnecting);
    emit changeConnectionState(ConnectionState::Disconnecting);
}

void MainForm::setCurrentServer(int id)
{
    const bool connected = vpnManager->connectionState() == ConnectionState::Connected;
    if (!connected && !pushButtonChangeConnectionState->isEnabled())
        return;
    if (!serverModel || !serverModel->hasServer(id))
        return;
    currentServer = serverModel->serverById(id);
    qCDebug(lcUi) << "Server chosen:" << currentServer.id << currentServer.city;
    showCurrentServer();
    if (connected) {
        disconnectRequested = true;
        reconnectAfterStop = true;
        emit changeConnectionState(ConnectionState::Disconnecting);
    } else {
        runDisconnectSequence();
    }
    AppSettings::setValue(AppSettings::LastServerId, currentServer.id);
}

void MainForm::showCurrentServer()
{
    emit currentServerChoosed(currentServer);
    labelServerName->setText(currentServer.city);
    cards[0]->setServer(currentServer);
    cards[0]->show();
}

void MainForm::chooseServer(int id, bool autoConnect)
{
    if (serversWindow)
        serversWindow->hide();
    // While a connection or disconnection is under way the choice is ignored, as the button is.
    if (shownState == ConnectionState::Connecting || shownState == ConnectionState::Disconnecting ||
        reconnectAfterStop)
        return;
    const bool wasConnected = vpnManager->connectionState() == ConnectionState::Connected;
    setCurrentServer(id);
    if (autoConnect && !wasConnected)
        requestConnection(currentServer);
}

void MainForm::on_pushButtonChangeConnectionState_clicked()
{
    switch (vpnManager->connectionState()) {
    case ConnectionState::Connected:
        qCDebug(lcUi) << "Disconnecting at the member's request";
        setVpnConnectionState(ConnectionState::Disconnecting);
        disconnectRequested = true;
        emit changeConnectionState(ConnectionState::Disconnecting);
        break;
    case ConnectionState::Disconnected:
    case ConnectionState::Error:
        requestConnection(currentServer);
        break;
    default:
        break;
    }
}

void MainForm::trayIconChangeConnectionStateCLicked()
{
    on_pushButtonChangeConnectionState_clicked();
}

void MainForm::setCurrentServerConfig(QByteArray configData)
{
    // A configuration that could run commands or is not WireGuard's is no configuration at all.
    const WireGuardConfig config = WireGuardConfig::read(configData);
    if (!config.isValid()) {
        qCDebug(lcUi).noquote() << "WireGuard configuration refused:" << config.refusal();
        onVpnConfigFailed();
        return;
    }
    configurationIssued = true;
    emit changeConnectionState(ConnectionState::Connecting, configData);
}

void MainForm::showError()
{
    fallbackAttempts = 0;
    setVpnConnectionState(ConnectionState::Error);
    vpnManager->setKillSwitchEnabled(killSwitchEnabled);
}

void MainForm::onVpnConfigFailed()
{
    // A request that failed because the network went is asked again once it returns.
    if (!networkMonitor->isOnline()) {
        reconnectWhenOnline = true;
        showError();
        return;
    }
    if (fallbackAttempts >= 3 || !serverModel) {
        showError();
        return;
    }
    const QVector<ServerData> candidates = fallbackCandidates();
    if (fallbackAttempts >= candidates.size()) {
        showError();
        return;
    }
    const ServerData next = candidates.at(fallbackAttempts++);
    qCDebug(lcUi) << "Auto-fallback attempt" << fallbackAttempts << "- trying server:" << next.city
                  << "(ping:" << next.ping << "ms)";
    currentServer = next;
    showCurrentServer();
    AppSettings::setValue(AppSettings::LastServerId, next.id);
    vpnManager->prepareForConfigurationRequest();
    emit requestVpnConnect(next.serverIp);
}

// Every server of the list, whatever the servers page filters or searches.
QVector<ServerData> MainForm::fallbackCandidates() const
{
    QVector<ServerData> candidates;
    for (const ServerData &listed : qAsConst(serverList)) {
        const ServerData server = serverModel->serverById(listed.id);
        if (ServerListModel::hasValidLatency(server) && server.id != currentServer.id)
            candidates.append(server);
    }
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const ServerData &a, const ServerData &b) { return a.ping < b.ping; });
    return candidates;
}

void MainForm::refreshPings()
{
    if (!serverModel || !signedIn)
        return;
    QVector<ServerData> rows;
    for (int row = 0; row < serverModel->rowCount(); ++row)
        rows.append(serverModel->data(serverModel->index(row, 0)).value<ServerData>());
    sweepPings(rows);
}

void MainForm::setServerPing(int id, int receivedPing)
{
    setServerPings({{id, receivedPing}});
}

// Every tenth result (fewer for a short list) completes a step of the sweep, told by pingDone;
// the list is sorted and the cards chosen again once per batch, however many steps it completes.
void MainForm::setServerPings(const QVector<Platform::LatencyResult> &results)
{
    if (!serverModel) {
        pingCount += results.size();
        return;
    }
    // An unreadable probe leaves the last figure, and a late result for a server no longer
    // listed changes nothing; both still count towards the sweep.
    QVector<Platform::LatencyResult> readable;
    readable.reserve(results.size());
    for (const Platform::LatencyResult &result : results) {
        if (result.ping != PingOutput::unreadable)
            readable.append(result);
    }
    serverModel->updateLatencies(readable);
    // The current server is the model's record, favourite mark and all, not only its latency.
    if (serverModel->hasServer(currentServer.id) &&
        std::any_of(readable.begin(), readable.end(),
                    [this](const auto &result) { return result.id == currentServer.id; })) {
        currentServer = serverModel->serverById(currentServer.id);
        cards[0]->setServer(currentServer);
    }

    const int threshold = std::min(std::max(serverModel->rowCount() - 1, 1), 10);
    pingCount += results.size();
    if (pingCount < threshold)
        return;
    const int steps = pingCount / threshold;
    pingCount %= threshold;
    for (int step = 0; step < steps; ++step)
        emit pingDone();
    serverModel->sortServers(3);
    updateRecommendedCards();
}

void MainForm::updateRecommendedCards()
{
    const QVector<int> recommended =
        serverModel ? serverModel->recommendedServers() : QVector<int>();
    QVector<ServerData> shown;
    if (currentServer.id > 0)
        shown.append(currentServer);
    for (int index = 0; index < recommended.size() && shown.size() < 3; ++index) {
        if (index == 0 && currentServer.id > 0)
            continue;
        if (serverModel->hasServer(recommended.at(index)))
            shown.append(serverModel->serverById(recommended.at(index)));
    }
    for (int card = 0; card < 3; ++card) {
        if (card < shown.size()) {
            cards[card]->setServer(shown.at(card));
            cards[card]->show();
        } else {
            cards[card]->hide();
        }
    }
}

void MainForm::storeFavorites()
{
    AppSettings::setFavoriteServerIds(serverModel->favoriteServers());
}

void MainForm::favoritesServersChanged()
{
    if (!serverModel)
        return;
    storeFavorites();
    emit requestUpdateServersFavoriteStates(serverModel->favoriteServers());
    updateRecommendedCards();
}

void MainForm::onRecommendedFavoriteToggled(int id, bool isFavorite)
{
    if (!serverModel || !serverModel->hasServer(id))
        return;
    ServerData server = serverModel->serverById(id);
    server.isFavorite = isFavorite;
    serverModel->updateServer(server);
    storeFavorites();
    updateRecommendedCards();
}

void MainForm::shutDown(int noticeTimeoutMs)
{
    reconnectAfterStop = false;
    if (!vpnManager->shutDown())
        return;
    // The disconnect notice is best effort: the member is leaving either way.
    QEventLoop waitForNotice;
    QTimer::singleShot(noticeTimeoutMs, &waitForNotice, &QEventLoop::quit);
    connect(this, &MainForm::vpnDisconnectNoticeAnswered, &waitForNotice, &QEventLoop::quit);
    emit requestVpnDisconnect();
    waitForNotice.exec();
}

void MainForm::logOut()
{
    reconnectAfterStop = false;
    reconnectWhenOnline = false;
    serverAwaitingBlock.reset();
    stopLatencyRefresh();
    runDisconnectSequence();
    hideWindows();
    emit logOutClicked();
}

void MainForm::on_pushButtonLogOut_clicked()
{
    logOut();
}
