#pragma once

#include <QObject>
#include <QString>

class QSocketNotifier;
class QTimer;

// Watches the machine's default route. On Linux the kernel's route messages (netlink) wake it,
// and once they settle it reads the main routing table: routeChanged for any change, and
// onlineChanged when a default route appears or the last one goes. Routes through the tunnel's
// own interface do not count as a network. Elsewhere the machine always counts as online.
class NetworkMonitor : public QObject {
    Q_OBJECT

public:
    explicit NetworkMonitor(QObject *parent = nullptr);
    ~NetworkMonitor() override;

    bool isOnline() const { return online; }
    // How long route messages must be quiet before the table is read again.
    void setSettleMs(int milliseconds);

    // Whether the kernel's route tables (the texts of /proc/net/route and /proc/net/ipv6_route)
    // hold a default route through an interface other than loopback and ignoredInterface.
    static bool hasDefaultRoute(const QString &ipv4Routes, const QString &ipv6Routes,
                                const QString &ignoredInterface);

signals:
    void routeChanged();
    void onlineChanged(bool online);

private:
    void readRoutes();
    void drainMessages();

    bool online = true;
    int netlinkSocket = -1;
    QSocketNotifier *notifier = nullptr;
    QTimer *settleTimer = nullptr;
};
