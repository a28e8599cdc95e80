#pragma once

#include "vpn/TunnelTools.h"

#include <QDBusPendingCall>

#include <functional>
#include <optional>

class HelperProxy;
class QDBusMessage;

// Asks the system helper (corvane-helper, on the system bus) for every privileged step: the
// client of a member who has no rights of their own.
class HelperTunnelTools final : public TunnelTools {
    Q_OBJECT

public:
    explicit HelperTunnelTools(QObject *parent = nullptr);

    // An install may wait for the member to authenticate.
    static constexpr int installTimeoutMs = 120000;

    bool install(const QByteArray &configText) override;
    void remove() override;
    bool removeNow(int timeoutMs) override;
    void readTransfer(int timeoutMs) override;
    void readHandshakes(int timeoutMs) override;
    void putKillSwitch(const Platform::KillSwitchRules &rules) override;
    void liftKillSwitch() override;
    bool liftKillSwitchNow(int timeoutMs) override;

private:
    // One firewall call at a time: the helper authorises each call on its own, so a block asked
    // for before a lift could otherwise be put after it, while the member types a password.
    struct FirewallStep {
        const char *method;
        std::function<QDBusPendingCall()> call;
        void (TunnelTools::*answer)(bool);
    };
    void queueFirewallStep(const FirewallStep &step);
    void runNextFirewallStep();

    // Waits for the answer to a call the proxy made, as long as the proxy's time-out.
    QDBusMessage answerOf(const char *method, QDBusPendingCall pending);
    // The first text of an answer; empty when the call failed.
    QString textOf(const char *method, const QDBusMessage &reply);
    void whenAnswered(const QDBusPendingCall &pending,
                      const std::function<void(const QDBusMessage &)> &handle);
    // Notes why a call failed, with a log line that names it; true when it did not.
    bool noteOutcome(const char *method, const QDBusMessage &reply);
    // The proxy, with the time-out its next call waits.
    HelperProxy *helper(int timeoutMs);

    HelperProxy *proxy;
    QList<FirewallStep> firewallSteps;
    std::optional<QDBusPendingCall> firewallCallInFlight;
};
