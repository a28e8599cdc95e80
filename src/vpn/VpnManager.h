#pragma once

#include "platform/CommandSet.h"
#include "vpn/ConnectionState.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QProcess>

class QTimer;

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
    };

    explicit VpnManager(QObject *parent = nullptr,
                        const Platform::CommandSet &commands = Platform::CommandSet::native());

    int connectionState() const { return state; }
    void setKillSwitchEnabled(bool enabled);
    void deactivateKillSwitchIfActive();

    void setTimings(const Timings &newTimings) { timings = newTimings; }
    QString configFilePath() const { return configPath; }
    bool isKillSwitchActive() const { return killSwitchActive; }

signals:
    void updateDownloadSpeed(quint64 bytesPerSec);
    void updateUploadSpeed(quint64 bytesPerSec);
    void connectionStateChanged(int state);
    void connectionTimeUpdated(int totalSeconds);

public slots:
    void changeConnectionState(int state, QByteArray configData = QByteArray());

private slots:
    void processWgUpFinished(int exitCode, QProcess::ExitStatus exitStatus);
    void checkConnectionStatus();
    void updateConnectionTimer();

private:
    void startTunnel(const QByteArray &configData);
    void stopTunnel(bool failed);
    void finishStop(bool failed);
    bool writeConfigFile(const QByteArray &configData);
    void startTimers();
    void stopTimers();

    void activateKillSwitch();
    void deactivateKillSwitch();
    void removeKillSwitchRules();
    static bool runNetsh(const Platform::Invocation &invocation);
    static QStringList serviceAddresses();

    bool killSwitchEnabled = false;
    bool killSwitchActive = false;
    int state = ConnectionState::Disconnected;
    QProcess *tunnelProcess = nullptr;
    QTimer *statusTimer = nullptr;
    QElapsedTimer connectedTimer;
    QTimer *connectionTimer = nullptr;
    quint64 lastReceivedBytes = 0;
    quint64 lastSentBytes = 0;
    const QString tunnelName = QLatin1String(Platform::CommandSet::tunnelName);
    QString configPath;
    int failedStatusChecks = 0;

    Platform::CommandSet commands;
    Timings timings;
};
