#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QList>
#include <QObject>
#include <QStringList>

#include <functional>

class LocalTunnelTools;
class PolkitAuthority;
class QTimer;

// The helper's bus object: the tunnel and the kill switch for a client without rights, each
// call authorised by polkit first. No method takes a command, a path, a file or an interface
// name: the configuration is read and refused like the client does, the interface is always
// vpn_wg0 and the file lives in the helper's own root-only runtime folder.
// Its methods are the interface of org.corvane.Helper1.xml, reached through the adaptor
// generated from that file; each answers its call itself, later (QDBusContext).
class HelperService final : public QObject, protected QDBusContext {
    Q_OBJECT

public:
    HelperService(const QDBusConnection &bus, const QString &runtimeDirectory, int idleExitMs,
                  QObject *parent = nullptr);

    int Install(const QString &configuration, QString &errorText);
    void Remove();
    QString Transfer();
    QString Handshakes();
    void PutKillSwitch(const QStringList &services, bool tunnel, const QStringList &peerEndpoints);
    void LiftKillSwitch();

private:
    // What a call asks of polkit.
    enum class Access { Manage, Lift, Read };

    // Answers the call later: after polkit, then after the work, which gets the caller's user.
    void authorizeThen(Access access, const std::function<void(const QDBusMessage &, int)> &work);
    // The tunnel or the block belongs to this user now, or to nobody once both are gone.
    void noteOwner(int uid);
    void reply(const QDBusMessage &call, const QVariantList &values = {});
    void replyError(const QDBusMessage &call, const QString &name, const QString &text);
    void exitWhenIdle();

    QDBusConnection bus;
    PolkitAuthority *authority;
    LocalTunnelTools *tools;
    QTimer *idleTimer;
    struct PendingInstall {
        QDBusMessage call;
        int uid;
    };
    QList<PendingInstall> pendingInstalls;
    QList<QDBusMessage> pendingRemovals;
    bool tunnelUp = false;
    bool blockActive = false;
    int ownerUid = -1;
    // Calls waiting for polkit's answer (perhaps for a password): the helper stays for them.
    int authorizationsInFlight = 0;
};
