#include "ui/MainForm.h"

#include "platform/NetworkMonitor.h"
#include "platform/SleepMonitor.h"
#include "types/LogCategories.h"
#include "vpn/VpnManager.h"

#include <QDebug>

void MainForm::watchConnectionHealth()
{
    networkMonitor = new NetworkMonitor(this);
    sleepMonitor = new SleepMonitor(this);
    connect(vpnManager, &VpnManager::tunnelHealthChanged, this, &MainForm::presentLinkCondition);
    connect(vpnManager, &VpnManager::tunnelDead, this, &MainForm::leaveDeadServer);
    connect(networkMonitor, &NetworkMonitor::routeChanged, this, &MainForm::networkChanged);
    connect(networkMonitor, &NetworkMonitor::onlineChanged, this, &MainForm::onlineChanged);
    connect(sleepMonitor, &SleepMonitor::resumed, this, &MainForm::resumeAfterSleep);
}

ConnectionState::LinkCondition MainForm::linkCondition() const
{
    if (!networkMonitor->isOnline())
        return ConnectionState::LinkCondition::NoNetwork;
    if (shownState == ConnectionState::Connected && vpnManager->isTunnelStale())
        return ConnectionState::LinkCondition::Unstable;
    return ConnectionState::LinkCondition::Normal;
}

void MainForm::presentLinkCondition()
{
    showStatePill();
    emit linkConditionChanged(int(linkCondition()));
}

// The server stopped answering: the connection moves to the fastest other server, as a failed
// request does. The member's own choice stays the location offered next time.
void MainForm::leaveDeadServer()
{
    if (shownState != ConnectionState::Connected || !serverModel || !networkMonitor->isOnline())
        return;
    const QVector<ServerData> candidates = fallbackCandidates();
    if (candidates.isEmpty())
        return;
    const ServerData next = candidates.first();
    qCDebug(lcUi) << "Server stopped answering:" << currentServer.name << "- switching to"
                  << next.name;
    emit serverAbandoned(currentServer.name, next.name);
    currentServer = next;
    showCurrentServer();
    disconnectRequested = true;
    reconnectAfterStop = true;
    emit changeConnectionState(ConnectionState::Disconnecting);
}

// Every listed server is measured again, as when the list arrived: the machine may be on
// another network now.
void MainForm::sweepAgain()
{
    if (serverModel && signedIn)
        sweepPings(serverList);
}

void MainForm::resumeAfterSleep()
{
    vpnManager->checkHealthNow();
    sweepAgain();
}

void MainForm::networkChanged()
{
    if (!networkMonitor->isOnline())
        return;
    vpnManager->networkChanged();
    sweepAgain();
}

void MainForm::onlineChanged(bool online)
{
    if (!online) {
        qCDebug(lcUi) << "No network";
        reconnectWhenOnline = reconnectWhenOnline || shownState == ConnectionState::Connected ||
                              shownState == ConnectionState::Connecting;
        presentLinkCondition();
        return;
    }
    qCDebug(lcUi) << "Network is back";
    presentLinkCondition();
    const bool reconnect = reconnectWhenOnline;
    reconnectWhenOnline = false;
    if (reconnect && signedIn &&
        (shownState == ConnectionState::Disconnected || shownState == ConnectionState::Error))
        requestConnection(currentServer);
}
