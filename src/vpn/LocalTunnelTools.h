#pragma once

#include "vpn/TunnelTools.h"

class QProcess;

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
    QString transfer(int timeoutMs) override;
    QString handshakes(int timeoutMs) override;
    bool putKillSwitch(const Platform::KillSwitchRules &rules) override;
    bool liftKillSwitch() override;

private:
    void finishInstall(int exitCode);
    void finishRemoval(QProcess *removal);
    bool confirmRemoval(bool toolSucceeded);
    bool runFirewall(const QVector<Platform::Invocation> &invocations) const;

    Platform::CommandSet commands;
    QString configPath;
    int toolTimeoutMs = 5000;
    // Kept after it finishes, so that its standard error can be read.
    QProcess *tunnelProcess = nullptr;
};
