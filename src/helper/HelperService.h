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
class HelperService final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.corvane.Helper1")

public:
    HelperService(const QDBusConnection &bus, const QString &runtimeDirectory, int idleExitMs,
                  QObject *parent = nullptr);

public slots:
    Q_SCRIPTABLE int Install(const QString &configuration, QString &errorText);
    Q_SCRIPTABLE void Remove();
    Q_SCRIPTABLE QString Transfer();
    Q_SCRIPTABLE QString Handshakes();
    Q_SCRIPTABLE void PutKillSwitch(const QStringList &services, bool tunnel,
                                    const QStringList &peerEndpoints);
    Q_SCRIPTABLE void LiftKillSwitch();

private:
    // Answers the call later: after polkit, then after the work.
    void authorizeThen(const std::function<void(const QDBusMessage &)> &work);
    void reply(const QDBusMessage &call, const QVariantList &values = {});
    void replyError(const QDBusMessage &call, const QString &name, const QString &text);
    void exitWhenIdle();

    QDBusConnection bus;
    PolkitAuthority *authority;
    LocalTunnelTools *tools;
    QTimer *idleTimer;
    QList<QDBusMessage> pendingInstalls;
    QList<QDBusMessage> pendingRemovals;
    bool tunnelUp = false;
    bool blockActive = false;
};
