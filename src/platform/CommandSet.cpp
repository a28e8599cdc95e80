#include "platform/CommandSet.h"

#include <QHostAddress>
#include <QtGlobal>

namespace Platform {

CommandSet CommandSet::native()
{
#ifdef Q_OS_WIN
    return windows();
#else
    return linux();
#endif
}

Invocation CommandSet::ping(const QString &host) const
{
    if (setKind == Kind::Windows)
        return {QStringLiteral("ping.exe"), {"-n", "2", "-w", "2000", host}};
    return {QStringLiteral("ping"), {"-n", "-c", "2", "-W", "2", host}};
}

} // namespace Platform

namespace Platform {

namespace {

const QString wireguard = QStringLiteral("wireguard.exe");
const QString netsh = QStringLiteral("netsh");
const QString nft = QStringLiteral("nft");

QStringList netshRule(const QString &action, const QString &rule)
{
    return {"advfirewall", "firewall", action, "rule", QStringLiteral("name=") + rule};
}

QString addressSet(const QStringList &addresses)
{
    return QStringLiteral("{ ") + addresses.join(QStringLiteral(", ")) + QStringLiteral(" }");
}

QString nftBlockTable(const QStringList &serviceAddresses)
{
    QStringList ipv4;
    QStringList ipv6;
    for (const QString &address : serviceAddresses) {
        const QHostAddress parsed(address);
        if (parsed.protocol() == QAbstractSocket::IPv4Protocol)
            ipv4 << parsed.toString();
        else if (parsed.protocol() == QAbstractSocket::IPv6Protocol)
            ipv6 << parsed.toString();
    }
    QString table = QStringLiteral("table inet %1 {\n"
                                   "  chain output {\n"
                                   "    type filter hook output priority 0; policy drop;\n"
                                   "    oifname \"lo\" accept\n"
                                   "    udp dport 53 accept\n"
                                   "    tcp dport 53 accept\n")
                        .arg(QLatin1String(CommandSet::killSwitchRule));
    if (!ipv4.isEmpty())
        table += QStringLiteral("    ip daddr %1 accept\n").arg(addressSet(ipv4));
    if (!ipv6.isEmpty())
        table += QStringLiteral("    ip6 daddr %1 accept\n").arg(addressSet(ipv6));
    return table + QStringLiteral("  }\n}\n");
}

} // namespace

Invocation CommandSet::installTunnel(const QString &configPath) const
{
    if (setKind == Kind::Windows)
        return {wireguard, {"/installtunnelservice", configPath}};
    return {QStringLiteral("wg-quick"), {"up", configPath}};
}

Invocation CommandSet::removeTunnel(const QString &configPath) const
{
    if (setKind == Kind::Windows)
        return {wireguard, {"/uninstalltunnelservice", QLatin1String(tunnelName)}};
    return {QStringLiteral("wg-quick"), {"down", configPath}};
}

Invocation CommandSet::tunnelTransfer() const
{
    const QString program =
        setKind == Kind::Windows ? QStringLiteral("wg.exe") : QStringLiteral("wg");
    return {program, {"show", QLatin1String(tunnelName), "transfer"}};
}

Invocation CommandSet::deleteKillSwitchBlock() const
{
    if (setKind == Kind::Windows)
        return {netsh, netshRule("delete", QLatin1String(killSwitchRule))};
    return {nft, {"delete", "table", "inet", QLatin1String(killSwitchRule)}};
}

Invocation CommandSet::deleteKillSwitchAllow() const
{
    if (setKind == Kind::Windows)
        return {netsh, netshRule("delete", QLatin1String(killSwitchAllowRule))};
    return {nft, {"delete", "table", "inet", QLatin1String(killSwitchAllowRule)}};
}

Invocation CommandSet::addKillSwitchBlock(const QStringList &serviceAddresses) const
{
    if (setKind == Kind::Windows)
        return {netsh, netshRule("add", QLatin1String(killSwitchRule)) +
                           QStringList{"dir=out", "action=block", "enable=yes", "profile=any"}};
    return {nft, {nftBlockTable(serviceAddresses)}};
}

} // namespace Platform
