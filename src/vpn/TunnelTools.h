#pragma once

#include "platform/CommandSet.h"

#include <QByteArray>
#include <QObject>
#include <QString>

// The privileged half of the tunnel: everything that needs the right to change the machine's
// network. The client runs the tools itself when it has that right (LocalTunnelTools) and asks
// the system helper otherwise (HelperTunnelTools); the tunnel controller does not know which.
class TunnelTools : public QObject {
    Q_OBJECT

public:
    // Why a call could not be made at all, beyond what the tools themselves say.
    enum class Problem { None, HelperMissing, PermissionRefused };

    using QObject::QObject;

    // Puts a validated configuration where the tunnel tool reads it, removes an old tunnel of
    // the same name and starts the install; installFinished tells how it went. False when the
    // configuration could not be put in place (nothing was started then).
    virtual bool install(const QByteArray &configText) = 0;
    // Removes the tunnel and the file with its private key; removalFinished follows, saying
    // whether the tunnel is gone (a tool that failed is not taken at its word either way).
    virtual void remove() = 0;
    // The same, waiting at most timeoutMs, for quitting; true when the tunnel is gone.
    virtual bool removeNow(int timeoutMs) = 0;
    // The transfer counters as the tool prints them; empty when there is no tunnel.
    virtual QString transfer(int timeoutMs) = 0;
    // The peers' latest handshakes as the tool prints them; empty when there is no tunnel.
    virtual QString handshakes(int timeoutMs) = 0;
    // Puts the block in place of any block there is; true when it is in force.
    virtual bool putKillSwitch(const Platform::KillSwitchRules &rules) = 0;
    virtual bool liftKillSwitch() = 0;

    Problem lastProblem() const { return problem; }

signals:
    void installFinished(int exitCode, QString errorText);
    void removalFinished(bool removed);

protected:
    Problem problem = Problem::None;
};
