#pragma once

#include "vpn/TunnelTools.h"

#include <functional>

class HelperProxy;
class QDBusMessage;
class QDBusPendingCall;

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
    QString transfer(int timeoutMs) override;
    QString handshakes(int timeoutMs) override;
    bool putKillSwitch(const Platform::KillSwitchRules &rules) override;
    bool liftKillSwitch() override;

private:
    // Waits at most timeoutMs for the answer to a call the proxy made.
    QDBusMessage answerOf(const char *method, QDBusPendingCall pending);
    // The first text of a call answered at once; empty when it fails.
    QString textOf(const char *method, const QDBusPendingCall &pending);
    void whenAnswered(const QDBusPendingCall &pending,
                      const std::function<void(const QDBusMessage &)> &handle);
    // Notes why a call failed, with a log line that names it; true when it did not.
    bool noteOutcome(const char *method, const QDBusMessage &reply);
    // The proxy, with the time-out its next call waits.
    HelperProxy *helper(int timeoutMs);

    HelperProxy *proxy;
};
