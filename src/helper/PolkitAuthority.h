#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>

// polkit's subject, "(sa{sv})": a kind ("system-bus-name") and its details ({"name": ":1.42"}).
struct PolkitSubject {
    QString kind;
    QVariantMap details;
};
Q_DECLARE_METATYPE(PolkitSubject)

// polkit's answer, "(bba{ss})".
struct PolkitResult {
    bool isAuthorized = false;
    bool isChallenge = false;
    QMap<QString, QString> details;
};
Q_DECLARE_METATYPE(PolkitResult)

QDBusArgument &operator<<(QDBusArgument &argument, const PolkitSubject &subject);
const QDBusArgument &operator>>(const QDBusArgument &argument, PolkitSubject &subject);
QDBusArgument &operator<<(QDBusArgument &argument, const PolkitResult &result);
const QDBusArgument &operator>>(const QDBusArgument &argument, PolkitResult &result);

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
    QDBusConnection bus;
};
