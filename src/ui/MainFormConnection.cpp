#include "ui/MainForm.h"

#include "ping/PingOutput.h"
#include "platform/NetworkMonitor.h"
#include "platform/SleepMonitor.h"
#include "servers/RecomendedServerItem.h"
#include "servers/ServerListModel.h"
#include "servers/ServersWindow.h"
#include "storage/AppSettings.h"

#include <QLabel>

#include <algorithm>

void MainForm::createConnectionController()
{
    connection = new ConnectionController(vpnManager, new NetworkMonitor(this),
                                          new SleepMonitor(this), this);
    connection->setServerLookup([this](int id) -> std::optional<ServerData> {
        if (!serverModel || !serverModel->hasServer(id))
            return std::nullopt;
        return serverModel->serverById(id);
    });
    connect(connection, &ConnectionController::stateChanged, this, &MainForm::showConnectionState);
    connect(connection, &ConnectionController::currentServerChanged, this,
            &MainForm::showCurrentServer);
    connect(connection, &ConnectionController::linkConditionChanged, this,
            &MainForm::presentLinkCondition);
    connect(connection, &ConnectionController::requestPings, this,
            [this](const QVector<QPair<int, QString>> &requests) {
                pingCount = 0;
                emit requestPings(requests);
            });
    connect(connection, &ConnectionController::requestVpnConnect, this,
            &MainForm::requestVpnConnect);
    connect(connection, &ConnectionController::requestVpnDisconnect, this,
            &MainForm::requestVpnDisconnect);
    connect(connection, &ConnectionController::serverAbandoned, this, &MainForm::serverAbandoned);
    connect(this, &MainForm::vpnDisconnectNoticeAnswered, connection,
            &ConnectionController::disconnectNoticeAnswered);
}

QVector<int> MainForm::favoriteServers() const
{
    return serverModel ? serverModel->favoriteServers() : QVector<int>();
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
    if (serverModel)
        serverModel->deleteLater();
    serverModel = new ServerListModel(servers, this);
    // The list is in latency order from the start, whether or not its page was opened yet.
    if (serversWindow)
        serversWindow->setModel(serverModel);
    else
        serverModel->sortServers(3);
    markFavorites(AppSettings::favoriteServerIds());
    connection->setServers(servers);
    updateRecommendedCards();
}

void MainForm::setFavoriteServers(const QVector<int> &favoriteServersIds)
{
    if (serverModel)
        markFavorites(favoriteServersIds);
    connection->favoritesArrived();
}

void MainForm::setCurrentServer(int id)
{
    connection->setCurrentServer(id);
}

void MainForm::showCurrentServer(const ServerData &server)
{
    // An empty list leaves no location current.
    if (server.id <= 0) {
        labelServerName->clear();
        return;
    }
    emit currentServerChoosed(server);
    labelServerName->setText(server.city);
    cards[0]->setServer(server);
    cards[0]->show();
}

void MainForm::chooseServer(int id, bool autoConnect)
{
    if (serversWindow)
        serversWindow->hide();
    connection->chooseServer(id, autoConnect);
}

void MainForm::on_pushButtonChangeConnectionState_clicked()
{
    connection->toggleConnection();
}

void MainForm::trayIconChangeConnectionStateCLicked()
{
    connection->toggleConnection();
}

void MainForm::setCurrentServerConfig(QByteArray configData)
{
    connection->configurationReceived(configData);
}

void MainForm::onVpnConfigFailed()
{
    connection->configurationFailed();
}

void MainForm::refreshPings()
{
    connection->refreshLatencies();
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
    const int currentId = connection->currentServer().id;
    if (serverModel->hasServer(currentId) &&
        std::any_of(readable.begin(), readable.end(),
                    [currentId](const auto &result) { return result.id == currentId; })) {
        connection->refreshCurrentServer();
        cards[0]->setServer(connection->currentServer());
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
    const ServerData current = connection->currentServer();
    const QVector<int> recommended =
        serverModel ? serverModel->recommendedServers() : QVector<int>();
    QVector<ServerData> shown;
    if (current.id > 0)
        shown.append(current);
    for (int index = 0; index < recommended.size() && shown.size() < 3; ++index) {
        if (index == 0 && current.id > 0)
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
    connection->shutDown(noticeTimeoutMs);
}

void MainForm::logOut()
{
    connection->logOut();
    showMenu(false);
    hideWindows();
    emit logOutClicked();
}

void MainForm::on_pushButtonLogOut_clicked()
{
    logOut();
}

void MainForm::presentLinkCondition(ConnectionState::LinkCondition condition)
{
    showStatePill();
    emit linkConditionChanged(int(condition));
}
