#pragma once

#include "platform/CommandSet.h"
#include "platform/KernelInterfaces.h"
#include "types/ConnectionState.h"
#include "vpn/TunnelTools.h"
#include "vpn/WireGuardConfig.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>

#include <functional>
#include <optional>

class QFileSystemWatcher;
class QTimer;
class ServiceAddresses;

// Turns a WireGuard configuration into a running tunnel and removes it again, reports the time
// and traffic while it runs, and keeps the firewall kill switch.
class VpnManager : public QObject {
    Q_OBJECT

public:
    struct Timings {
        int statusPollMs = 3000;
        int clockTickMs = 1000;
        // How long the removal before an install and each traffic poll may block.
        int toolTimeoutMs = 5000;
        // WireGuard gives up on a session with no handshake for 180 s: sending into such a
        // session with nothing coming back means the server no longer answers.
        int staleHandshakeSeconds = 180;
        // A tunnel stale this much longer is given up for another server.
        int staleGiveUpMs = 30000;
    };

    // Makes the privileged half for a new controller: by default the tools themselves where the
    // program has the rights, else the system helper.
    using ToolsFactory =
        std::function<TunnelTools *(const Platform::CommandSet &, const QString &configPath)>;
    static void setToolsFactory(const ToolsFactory &factory);
    static TunnelTools *localTools(const Platform::CommandSet &commands, const QString &configPath);

    // The native command set goes through the tools factory; any other set (a test's choice)
    // always runs its tools directly.
    // Why the block is not in force although the switch is on; None while it is, or while the
    // switch is off.
    enum class KillSwitchFault { None, HelperMissing, PermissionRefused, FirewallRefused };
    Q_ENUM(KillSwitchFault)

    explicit VpnManager(QObject *parent = nullptr,
                        const Platform::CommandSet &commands = Platform::CommandSet::inUse());

    int connectionState() const { return state; }
    void setKillSwitchEnabled(bool enabled);
    // The client's own services (account and VPN API URLs), which the kill switch lets through.
    void setServiceUrls(const QStringList &urls);
    void deactivateKillSwitchIfActive();
    // Before asking the VPN API for a configuration: a block that lets the client's services
    // through stays; one that blocks everything is lifted until the home screen hands over the
    // configuration, stops, or puts the block back itself (setKillSwitchEnabled).
    void prepareForConfigurationRequest();
    // Around each sign-in request (brand lookup, login, token renewal): a block that blocks
    // everything is lifted while the request runs and put back once its reply is in.
    void beginServiceRequest();
    void endServiceRequest();
    // The member quits: removes a tunnel that may be up, deletes its configuration file and
    // lifts the block, waiting for each tool at most toolTimeoutMs. True when a tunnel was up.
    bool shutDown();

    void setTimings(const Timings &newTimings);
    // Whether a page shows the connection time and rates. The clock ticks only while it does;
    // shown again, it tells the time at once. Unseen, the traffic poll reads the kernel's
    // interface counters where it can instead of running the tunnel tool: enough to watch the
    // tunnel and its health, and nothing to spawn.
    void setFiguresShown(bool shown);
    QString configFilePath() const { return configPath; }
    // Whether the firewall confirmed the block the last answered step put; a step may be under way.
    bool isKillSwitchActive() const { return killSwitchActive; }
    // Whether a firewall step has not been answered yet; the fault then may still change.
    bool isKillSwitchChanging() const { return firewallStepsUnanswered > 0; }
    KillSwitchFault killSwitchFault() const { return blockFault; }
    // Whether a removal has not reported back yet; a connection asked for meanwhile waits for it.
    bool isRemovalUnderWay() const { return !pendingStops.isEmpty(); }
    // Whether a traffic or handshake reading has been asked of the tool and not answered yet.
    bool isReadingTunnel() const { return transferAskedFor || handshakesAskedFor; }
    // Whether the connected tunnel sends into a session the server no longer answers.
    bool isTunnelStale() const { return tunnelStale; }
    // Reads the handshakes at once rather than at the next poll (after a resume, a new route).
    void checkHealthNow();
    // The machine's route changed: the block in force takes the resolvers of now, the service
    // hosts are looked up again for it, and the tunnel's health is read at once.
    void networkChanged();
    // Why the last attempt could not even reach the tools (the helper missing or refusing).
    TunnelTools::Problem lastProblem() const { return tools->lastProblem(); }
    // The last stop could not remove the tunnel, by its tool or by force: it may still be up.
    bool removalFailed() const { return lastRemovalFailed; }

    // The time the bytes of the last updateDownloadSpeed and updateUploadSpeed were counted in.
    qint64 transferIntervalMs() const { return lastTransferIntervalMs; }

signals:
    // The bytes counted since the previous reading, over transferIntervalMs().
    void updateDownloadSpeed(quint64 bytesPerSec);
    void updateUploadSpeed(quint64 bytesPerSec);
    void connectionStateChanged(int state);
    void connectionTimeUpdated(int totalSeconds);
    void tunnelHealthChanged(bool stale);
    void killSwitchFaultChanged(VpnManager::KillSwitchFault fault);
    // Every firewall step asked for has been answered.
    void killSwitchSettled();
    // The tunnel stayed stale for staleGiveUpMs: its server no longer answers.
    void tunnelDead();

public slots:
    // Connecting reads and checks the configuration's bytes first; a refused one ends as Error.
    void changeConnectionState(int state, QByteArray configData = QByteArray());
    // Brings up a tunnel from a configuration already read and checked.
    void connectTunnel(const WireGuardConfig &config);
    void disconnectTunnel();

private slots:
    void processWgUpFinished(int exitCode, QString errorText);
    void checkConnectionStatus();
    void updateConnectionTimer();

private:
    void startTunnel(const WireGuardConfig &config);
    void resolvePeers(const WireGuardConfig &config, int attempt,
                      QVector<Platform::KillSwitchRules::Peer> resolved, int next);
    void installTunnel(const WireGuardConfig &config,
                       const QVector<Platform::KillSwitchRules::Peer> &peers);
    void stopTunnel(bool failed);
    void removalFinished(bool removed);
    void finishStop(bool failed);
    void startTimers();
    bool pollInterfaceCounters();
    void noteTraffic(bool received, bool sent);
    void updateHealth();
    void setTunnelStale(bool stale);
    void stopTimers();

    void activateKillSwitch();
    void deactivateKillSwitch();
    void putBlock();
    // For quitting: lifts the block before returning.
    void liftBlockNow();
    void blockPut(bool inForce);
    void blockLifted(bool lifted);
    void firewallAnswered();
    bool isBlockInForceOrComing() const
    {
        return blockWanted && (killSwitchActive || firewallStepsUnanswered > 0);
    }
    // Hands the configuration waiting for the block to the tool once the block is decided, or
    // ends the attempt where the switch is on and the block is not in force.
    void installOnceBlockDecided();
    void handToTool(const QByteArray &configText);
    // Notes a reading asked for now; false while one of its kind is still under way.
    bool askReading(std::optional<int> &askedFor);
    // Takes the answer to a reading in; true when it is of the tunnel connected now.
    bool takeReading(std::optional<int> &askedFor);
    void transferAnswered(const QString &output);
    void handshakesAnswered(const QString &output);
    // The block's fate after each attempt to put it in force; said once per change.
    void noteBlockAttempt(bool inForce);
    void setKillSwitchFault(KillSwitchFault fault);
    void refreshActiveKillSwitch();
    // The resolvers' files changed (a new lease, a VPN of another program): the block in force
    // takes the resolvers they name now, where those differ from the ones it lets through.
    void resolversMayHaveChanged();
    Platform::KillSwitchRules killSwitchRules();

    bool killSwitchEnabled = false;
    // Confirmed by the firewall's last answer.
    bool killSwitchActive = false;
    // What the last step asked for, answered or not.
    bool blockWanted = false;
    int firewallStepsUnanswered = 0;
    // The validated configuration of an attempt waiting for its block.
    std::optional<QByteArray> configAwaitingBlock;
    // One reading of each kind at a time, noted with the tunnel it was asked for: one asked for
    // before the tunnel changed is dropped.
    int tunnelsStarted = 0;
    std::optional<int> transferAskedFor;
    std::optional<int> handshakesAskedFor;
    // The resolvers the block in force was put with.
    QStringList blockResolvers;
    KillSwitchFault blockFault = KillSwitchFault::None;
    int state = ConnectionState::Disconnected;
    QTimer *statusTimer = nullptr;
    QElapsedTimer connectedTimer;
    // Since the tunnel came up: the rates are measured between the readings it times.
    QElapsedTimer tunnelClock;
    // When the reading under way and the last one taken in were asked for, on the tunnel's
    // clock.
    qint64 transferAskedAtMs = 0;
    qint64 lastReadingAtMs = 0;
    qint64 lastTransferIntervalMs = 0;
    QTimer *connectionTimer = nullptr;
    quint64 lastReceivedBytes = 0;
    quint64 lastSentBytes = 0;
    // What the last traffic poll saw move, for the health check.
    bool lastPollReceived = false;
    bool lastPollSent = false;
    qint64 tunnelUpSinceEpoch = 0;
    bool tunnelStale = false;
    QTimer *giveUpTimer = nullptr;
    bool figuresShown = true;
    std::optional<Platform::InterfaceCounters> lastInterfaceCounters;
    // Whether the interface sent anything since it last received, for the health check.
    bool interfaceSentSinceReceived = false;
    // The tool's counters moved unseen while the interface's were read: its next reading is only
    // a new base for the rates.
    bool transferBaseOutdated = false;
    const QString tunnelName = QLatin1String(Platform::CommandSet::tunnelName);
    QString configPath;
    int failedStatusChecks = 0;
    // A tunnel was handed to the tunnel tool and has not been removed since.
    bool tunnelInUse = false;
    // Whether each stop whose removal has not reported back yet was a failure, oldest first.
    QList<bool> pendingStops;
    // A configuration that came while a removal ran: installed once the last removal is done.
    std::optional<WireGuardConfig> startAfterRemoval;
    QVector<Platform::KillSwitchRules::Peer> tunnelPeers;
    // Counts connection starts, so that a late endpoint lookup of an earlier one is dropped.
    int connectAttempts = 0;
    bool lastRemovalFailed = false;
    int serviceRequestsInFlight = 0;
    // A configuration was asked for and the home screen has not answered with it yet: a sign-in
    // request that ends meanwhile leaves the lifted block lifted.
    bool configurationRequestPending = false;
    ServiceAddresses *serviceAddresses;

    Platform::CommandSet commands;
    TunnelTools *tools;
    Timings timings;
};
