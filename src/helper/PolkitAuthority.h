#pragma once

#include "helper/PolkitTypes.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <functional>

class PolkitAuthorityProxy;

// Asks polkit's authority (org.freedesktop.PolicyKit1 on the same bus) whether a caller, named
// by its unique bus name, may take an action; the member may be asked to authenticate.
class PolkitAuthority final : public QObject {
    Q_OBJECT

public:
    explicit PolkitAuthority(const QDBusConnection &bus, QObject *parent = nullptr);

    static void registerTypes();
    enum class Interaction { Allowed, None };

    // Calls decide(true) only when polkit says yes; no answer, an error or a no is false. With
    // Interaction::None the member is never asked for a password.
    void check(const QString &busName, const QString &action, Interaction interaction,
               const std::function<void(bool)> &decide);

private:
    PolkitAuthorityProxy *authority;
};
