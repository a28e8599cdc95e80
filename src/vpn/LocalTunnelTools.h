#pragma once

#include "vpn/TunnelTools.h"

class QProcess;
class ToolRunner;

// Runs the command set's tools itself: for a client with the rights, and inside the helper.
class LocalTunnelTools final : public TunnelTools {
    Q_OBJECT

public:
    LocalTunnelTools(const Platform::CommandSet &commands, const QString &configPath,
                     QObject *parent = nullptr);

    // How long the removal before an install, a traffic poll and a firewall call may block.
    void setToolTimeout(int milliseconds) { toolTimeoutMs = milliseconds; }

    bool install(const QByteArray &configText) override;
    void remove() override;
    bool removeNow(int timeoutMs) override;
    void readTransfer(int timeoutMs) override;
    void readHandshakes(int timeoutMs) override;
    void putKillSwitch(const Platform::KillSwitchRules &rules) override;
    void liftKillSwitch() override;
    bool liftKillSwitchNow(int timeoutMs) override;

    // The same steps run to their end, for the helper, which answers each call in turn.
    QString transferNow(int timeoutMs);
    QString handshakesNow(int timeoutMs);
    bool putKillSwitchNow(const Platform::KillSwitchRules &rules);

private:
    void finishInstall(int exitCode);
    void finishRemoval(QProcess *removal);
    bool confirmRemoval(bool toolSucceeded);
    bool runFirewall(const QVector<Platform::Invocation> &invocations, int timeoutMs) const;

    Platform::CommandSet commands;
    QString configPath;
    int toolTimeoutMs = 5000;
    // The readings of transfer and handshakes, without waiting for the tool.
    ToolRunner *readings;
    // Kept after it finishes, so that its standard error can be read.
    QProcess *tunnelProcess = nullptr;
};
