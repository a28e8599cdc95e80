#include "platform/CommandSet.h"

#include "platform/KernelInterfaces.h"

#include <QDir>
#include <QHostAddress>
#include <QMap>
#include <QtGlobal>

#include <optional>

namespace Platform {

CommandSet CommandSet::native()
{
#ifdef Q_OS_WIN
    return windows();
#else
    return linux();
#endif
}

namespace {

std::optional<CommandSet::Kind> &chosenKind()
{
    static std::optional<CommandSet::Kind> kind;
    return kind;
}

} // namespace

CommandSet CommandSet::inUse()
{
    return chosenKind() ? CommandSet(*chosenKind()) : native();
}

void CommandSet::use(Kind kind)
{
    chosenKind() = kind;
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

// Splits addresses into the nft families "ip" and "ip6"; anything else is dropped.
QMap<QString, QStringList> byFamily(const QStringList &addresses)
{
    QMap<QString, QStringList> families;
    for (const QString &address : addresses) {
        const QHostAddress parsed(address);
        if (parsed.protocol() == QAbstractSocket::IPv4Protocol)
            families[QStringLiteral("ip")] << parsed.toString();
        else if (parsed.protocol() == QAbstractSocket::IPv6Protocol && parsed.scopeId().isEmpty())
            families[QStringLiteral("ip6")] << parsed.toString();
    }
    return families;
}

// Adding an empty table before deleting it makes the delete succeed whether or not the table
// was there, so lifting and replacing never fail on a missing table.
QString idempotentDelete(const char *table)
{
    return QStringLiteral("table inet %1\ndelete table inet %1\n").arg(QLatin1String(table));
}

// One nft transaction: the old block goes and the new one is in force at once, with no moment
// in between when traffic could pass.
QString serviceRules(const KillSwitchRules &rules)
{
    QMap<quint16, QStringList> addressesByPort;
    for (const KillSwitchRules::Peer &service : rules.services)
        addressesByPort[service.port] << service.address;
    const QString owner =
        rules.ownerUid >= 0 ? QStringLiteral(" meta skuid %1").arg(rules.ownerUid) : QString();
    QString text;
    for (auto port = addressesByPort.cbegin(); port != addressesByPort.cend(); ++port) {
        const QMap<QString, QStringList> families = byFamily(*port);
        for (auto family = families.cbegin(); family != families.cend(); ++family)
            text += QStringLiteral("    %1 daddr %2 tcp dport %3%4 accept\n")
                        .arg(family.key(), addressSet(*family))
                        .arg(port.key())
                        .arg(owner);
    }
    return text;
}

QString nftBlockScript(const KillSwitchRules &rules)
{
    const bool tunnel = !rules.tunnelInterface.isEmpty();
    // The link itself stays up: neighbour discovery, router solicitation, DHCP for IPv4 and 6.
    QString chain = QStringLiteral(
        "    type filter hook output priority 0; policy drop;\n"
        "    oifname \"lo\" accept\n"
        "    icmpv6 type { nd-router-solicit, nd-neighbor-solicit, nd-neighbor-advert } accept\n"
        "    udp sport 68 udp dport 67 accept\n"
        "    udp sport 546 udp dport 547 accept\n");
    chain += serviceRules(rules);
    const QMap<QString, QStringList> resolvers = byFamily(tunnel ? QStringList() : rules.resolvers);
    for (auto family = resolvers.cbegin(); family != resolvers.cend(); ++family) {
        for (const char *protocol : {"udp", "tcp"})
            chain += QStringLiteral("    %1 daddr %2 %3 dport 53 accept\n")
                         .arg(family.key(), addressSet(*family), QLatin1String(protocol));
    }
    // Forwarded traffic (containers, virtual machines) leaves through the tunnel or not at all.
    QString forward = QStringLiteral("    type filter hook forward priority 0; policy drop;\n");
    if (tunnel) {
        chain += QStringLiteral("    oifname \"%1\" accept\n").arg(rules.tunnelInterface);
        forward += QStringLiteral("    oifname \"%1\" accept\n").arg(rules.tunnelInterface);
    }
    for (const KillSwitchRules::Peer &peer : rules.peers) {
        const QMap<QString, QStringList> endpoint = byFamily({peer.address});
        for (auto family = endpoint.cbegin(); family != endpoint.cend(); ++family)
            chain += QStringLiteral("    %1 daddr %2 udp dport %3 accept\n")
                         .arg(family.key(), family->first())
                         .arg(peer.port);
    }
    return idempotentDelete(CommandSet::killSwitchRule) +
           QStringLiteral("table inet %1 {\n  chain output {\n%2  }\n  chain forward {\n%3  }\n}\n")
               .arg(QLatin1String(CommandSet::killSwitchRule), chain, forward);
}

} // namespace

Invocation CommandSet::installTunnel(const QString &configPath) const
{
    // Qt's paths use '/', and a Windows tool is handed the path as Windows writes it.
    if (setKind == Kind::Windows)
        return {wireguard, {"/installtunnelservice", QDir::toNativeSeparators(configPath)}};
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
    return {wgProgram(), {"show", QLatin1String(tunnelName), "transfer"}};
}

Invocation CommandSet::tunnelHandshakes() const
{
    return {wgProgram(), {"show", QLatin1String(tunnelName), "latest-handshakes"}};
}

QVector<Invocation> CommandSet::liftKillSwitch() const
{
    if (setKind == Kind::Windows)
        return {{netsh, netshRule("delete", QLatin1String(killSwitchRule))},
                {netsh, netshRule("delete", QLatin1String(killSwitchAllowRule))}};
    return {{nft, {idempotentDelete(killSwitchRule) + idempotentDelete(killSwitchAllowRule)}}};
}

QVector<Invocation> CommandSet::putKillSwitch(const KillSwitchRules &rules) const
{
    if (setKind == Kind::Windows)
        return liftKillSwitch() +
               QVector<Invocation>{{netsh, netshRule("add", QLatin1String(killSwitchRule)) +
                                               QStringList{"dir=out", "action=block", "enable=yes",
                                                           "profile=any"}}};
    return {{nft, {nftBlockScript(rules)}}};
}

bool CommandSet::tunnelMayExist() const
{
    return setKind == Kind::Windows || mayHaveInterface(QLatin1String(tunnelName));
}

QVector<Invocation> CommandSet::forceTunnelRemoval() const
{
    if (setKind == Kind::Windows)
        return {};
    const QString name = QLatin1String(tunnelName);
    return {{QStringLiteral("ip"), {"link", "delete", "dev", name}},
            {QStringLiteral("resolvconf"), {"-d", name, "-f"}},
            {QStringLiteral("resolvconf"), {"-d", QStringLiteral("tun.") + name, "-f"}}};
}

} // namespace Platform
