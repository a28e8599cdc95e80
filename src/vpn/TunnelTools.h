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
    // Reads the transfer counters; transferRead gives them as the tool prints them, empty when
    // there is no tunnel or the tool took longer than timeoutMs.
    virtual void readTransfer(int timeoutMs) = 0;
    // Reads the peers' latest handshakes; handshakesRead gives them, empty as above.
    virtual void readHandshakes(int timeoutMs) = 0;
    // Puts the block in place of any block there is; killSwitchPut says whether it is in force.
    // Firewall steps are carried out and answered in the order they were asked for.
    virtual void putKillSwitch(const Platform::KillSwitchRules &rules) = 0;
    // Lifts the block; killSwitchLifted says whether it is gone.
    virtual void liftKillSwitch() = 0;
    // The same, after any step under way, waiting at most timeoutMs, for quitting.
    virtual bool liftKillSwitchNow(int timeoutMs) = 0;

    Problem lastProblem() const { return problem; }

signals:
    void installFinished(int exitCode, QString errorText);
    void removalFinished(bool removed);
    void transferRead(QString output);
    void handshakesRead(QString output);
    void killSwitchPut(bool inForce);
    void killSwitchLifted(bool lifted);

protected:
    Problem problem = Problem::None;
};
