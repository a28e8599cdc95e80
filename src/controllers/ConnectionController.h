#pragma once

#include "types/ConnectionState.h"
#include "types/ServerData.h"

#include <QByteArray>
#include <QObject>
#include <QPair>
#include <QString>
#include <QVector>

#include <functional>
#include <optional>

class NetworkMonitor;
class QTimer;
class SleepMonitor;
class VpnManager;

// Decides where and when the member is connected: the location in use, one configuration request
// for each intent, the fallback to other servers when one cannot be had, the reconnect after a
// location change, the auto-connect, the reactions to the network, to sleep and to a server that
// stopped answering, and when latencies are measured. It holds the connection's state, the only
// copy of it; the home page and the tray show it.
class ConnectionController final : public QObject {
    Q_OBJECT

public:
    enum class State : int {
        Connected = ConnectionState::Connected,
        Disconnected = ConnectionState::Disconnected,
        Connecting = ConnectionState::Connecting,
        Disconnecting = ConnectionState::Disconnecting,
        Error = ConnectionState::Error,
    };
    Q_ENUM(State)

    // The listed record of a server as it is now (latency, favourite mark), or none for an id the
    // list lacks.
    using ServerLookup = std::function<std::optional<ServerData>(int id)>;

    // The tunnel and the monitors stay their owner's.
    ConnectionController(VpnManager *tunnel, NetworkMonitor *network, SleepMonitor *sleep,
                         QObject *parent = nullptr);

    State state() const { return connectionState; }
    const QVector<ServerData> &servers() const { return serverList; }
    ServerData currentServer() const { return current; }
    bool isKillSwitchEnabled() const { return killSwitchEnabled; }
    ConnectionState::LinkCondition linkCondition() const;

    void setServerLookup(const ServerLookup &lookup) { serverLookup = lookup; }
    // Every five minutes by default; settable so a test need not wait.
    void setLatencyRefreshInterval(int milliseconds);

    // A new server list: its latencies are measured, and the location used last time (or the
    // list's first) becomes current.
    void setServers(const QVector<ServerData> &servers);
    // The favourites arrived: with auto-connect on, the member is connected.
    void favoritesArrived();
    // The member picked a location on the home page's cards or by its id.
    void setCurrentServer(int id);
    // The member picked a location on the servers page, connecting at once if asked to.
    void chooseServer(int id, bool autoConnect);
    // The connect button and the tray's entry: connects, or disconnects a connected tunnel.
    void toggleConnection();
    void setKillSwitchEnabled(bool enabled);
    // The service's answer to a configuration request.
    void configurationReceived(const QByteArray &configData);
    void configurationFailed();
    // The listed record of the current server changed (a new latency, a favourite mark).
    void refreshCurrentServer();
    // Every listed server is measured again, while signed in.
    void refreshLatencies();
    // Shows a state: the view follows it, and a member's disconnect is told to the service once
    // the tunnel is gone.
    void showState(State state);
    // The member signed out: the tunnel goes, and nothing is measured or connected by itself
    // until the next server list.
    void logOut();
    void stopLatencyRefresh();
    // The member quits on purpose: the tunnel goes, the service hears of it (waiting at most
    // noticeTimeoutMs for its answer) and the block is lifted.
    void shutDown(int noticeTimeoutMs);

signals:
    void stateChanged(ConnectionController::State state);
    void currentServerChanged(const ServerData &server);
    void linkConditionChanged(ConnectionState::LinkCondition condition);
    // One sweep: server id and the host to probe, each.
    void requestPings(const QVector<QPair<int, QString>> &requests);
    void requestVpnConnect(const QString &serverIp);
    void requestVpnDisconnect();
    // The service answered the disconnect notice.
    void disconnectNoticeAnswered();
    // The connection left a server that stopped answering for another.
    void serverAbandoned(const QString &from, const QString &to);

private:
    void tunnelStateChanged(int state);
    void chooseCurrent(const ServerData &server);
    // Shows Connecting, readies the block for the request and asks for a configuration.
    void requestConnection(const ServerData &server);
    void requestConfiguration(const ServerData &server);
    void askForConfiguration(const ServerData &server);
    // The firewall answered every step asked of it.
    void killSwitchSettled();
    void disconnectForNewServer();
    void runDisconnectSequence();
    void showError();
    // In a turn of its own: the write waits for the disk, and the turn that chose the location
    // has the page to update already.
    void rememberLocation(int id);
    // Every listed server with a latency, but the current one, fastest first.
    QVector<ServerData> fallbackCandidates() const;
    std::optional<ServerData> listed(int id) const;
    void sweep();
    void leaveDeadServer();
    void networkChanged();
    void onlineChanged(bool isOnline);
    void resumeAfterSleep();
    void presentLinkCondition();
    bool isIdle() const
    {
        return connectionState == State::Disconnected || connectionState == State::Error;
    }
    bool isChanging() const
    {
        return connectionState == State::Connecting || connectionState == State::Disconnecting;
    }

    VpnManager *vpnManager;
    NetworkMonitor *networkMonitor;
    ServerLookup serverLookup;
    State connectionState = State::Disconnected;
    ServerData current;
    QVector<ServerData> serverList;
    QTimer *pingRefreshTimer;
    // As the network monitor last told it.
    bool online = true;
    // Between a server list and the log-out.
    bool signedIn = false;
    bool killSwitchEnabled = false;
    // The member disconnected: the service hears of it once the tunnel is gone.
    bool disconnectRequested = false;
    // Auto-fallback attempts since the last success; at most three.
    int fallbackAttempts = 0;
    // A location change while connected: the new connection is asked for once the old tunnel
    // has been removed.
    bool reconnectAfterStop = false;
    // A member who was connected (or connecting) when the network went is connected again
    // once it returns.
    bool reconnectWhenOnline = false;
    // The service issued a configuration for a tunnel that has not come up yet.
    bool configurationIssued = false;
    // Asked for while the firewall had not answered the block's new attempt.
    std::optional<ServerData> serverAwaitingBlock;
};
