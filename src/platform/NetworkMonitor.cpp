#include "platform/NetworkMonitor.h"

#include "platform/CommandSet.h"

#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#ifdef Q_OS_LINUX
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

QString readText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()) : QString();
}

bool countsAsNetwork(const QString &interface, const QString &ignoredInterface)
{
    return interface != QLatin1String("lo") && interface != ignoredInterface;
}

bool machineHasDefaultRoute()
{
    return NetworkMonitor::hasDefaultRoute(readText(QStringLiteral("/proc/net/route")),
                                           readText(QStringLiteral("/proc/net/ipv6_route")),
                                           QLatin1String(Platform::CommandSet::tunnelName));
}

} // namespace

NetworkMonitor::NetworkMonitor(QObject *parent)
    : QObject(parent)
    , settleTimer(new QTimer(this))
{
    settleTimer->setSingleShot(true);
    settleTimer->setInterval(300);
    connect(settleTimer, &QTimer::timeout, this, &NetworkMonitor::readRoutes);
#ifdef Q_OS_LINUX
    netlinkSocket = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE);
    if (netlinkSocket < 0)
        return;
    sockaddr_nl address = {};
    address.nl_family = AF_NETLINK;
    address.nl_groups = RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_ROUTE | RTMGRP_LINK;
    if (::bind(netlinkSocket, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(netlinkSocket);
        netlinkSocket = -1;
        return;
    }
    notifier = new QSocketNotifier(netlinkSocket, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &NetworkMonitor::drainMessages);
    online = machineHasDefaultRoute();
#endif
}

NetworkMonitor::~NetworkMonitor()
{
#ifdef Q_OS_LINUX
    if (netlinkSocket >= 0)
        ::close(netlinkSocket);
#endif
}

void NetworkMonitor::setSettleMs(int milliseconds)
{
    settleTimer->setInterval(milliseconds);
}

// The messages themselves are not read for their content: the table is read once they settle.
void NetworkMonitor::drainMessages()
{
#ifdef Q_OS_LINUX
    char buffer[8192];
    while (::recv(netlinkSocket, buffer, sizeof buffer, 0) > 0) {
    }
#endif
    settleTimer->start();
}

void NetworkMonitor::readRoutes()
{
    const bool nowOnline = machineHasDefaultRoute();
    // The new answer stands before anyone hears of the change.
    const bool wasOnline = online;
    online = nowOnline;
    emit routeChanged();
    if (online != wasOnline)
        emit onlineChanged(online);
}

// /proc/net/route: "Iface Destination Gateway ..." with hexadecimal fields, a default route has
// destination 00000000 and mask 00000000. /proc/net/ipv6_route: destination, its prefix length,
// ..., and the interface last; a default route is all zeros with prefix length 00.
bool NetworkMonitor::hasDefaultRoute(const QString &ipv4Routes, const QString &ipv6Routes,
                                     const QString &ignoredInterface)
{
    const QStringList ipv4Lines = ipv4Routes.split(QLatin1Char('\n'));
    for (int line = 1; line < ipv4Lines.size(); ++line) {
        const QStringList fields = ipv4Lines.at(line).split(QLatin1Char('\t'), Qt::SkipEmptyParts);
        if (fields.size() > 7 && fields.at(1) == QLatin1String("00000000") &&
            fields.at(7).trimmed() == QLatin1String("00000000") &&
            countsAsNetwork(fields.at(0).trimmed(), ignoredInterface))
            return true;
    }
    for (const QString &line : ipv6Routes.split(QLatin1Char('\n'))) {
        const QStringList fields = line.simplified().split(QLatin1Char(' '));
        if (fields.size() == 10 && fields.at(0) == QString(32, QLatin1Char('0')) &&
            fields.at(1) == QLatin1String("00") && countsAsNetwork(fields.at(9), ignoredInterface))
            return true;
    }
    return false;
}
