#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

namespace Platform {

// One run of an outside program: its bare name and one list element per argument.
struct Invocation {
    QString program;
    QStringList arguments;
};

// What a selective block lets through besides loopback and the link's own upkeep (neighbour
// discovery, router solicitation, DHCP).
struct KillSwitchRules {
    struct Peer {
        QString address;
        quint16 port = 0;
    };
    // The client's own services, reachable whatever the block: over TCP to their ports, and
    // only for ownerUid's programs where one is given.
    QVector<Peer> services;
    int ownerUid = -1;
    // DNS (port 53) is let through to these resolvers only, and only while there is no tunnel:
    // then DNS goes through it.
    QStringList resolvers;
    // With a tunnel: traffic through its interface, and to its peers' endpoints over UDP.
    QString tunnelInterface;
    QVector<Peer> peers;
};

// The outside programs of one operating system and how they are called. The system's own set
// is the default; tests pick either set to run it against fake or real programs.
class CommandSet final {
public:
    enum class Kind { Windows, Linux };

    static CommandSet native();
    // The set the client's controllers take by default: the system's own, unless another was
    // chosen for this run (a test proving the other system's command lines).
    static CommandSet inUse();
    static void use(Kind kind);
    static CommandSet windows() { return CommandSet(Kind::Windows); }
    static CommandSet linux() { return CommandSet(Kind::Linux); }

    Kind kind() const { return setKind; }

    static constexpr const char *tunnelName = "vpn_wg0";
    static constexpr const char *killSwitchRule = "VPNKillSwitch";
    static constexpr const char *killSwitchAllowRule = "VPNKillSwitchAllow";

    // Two echo requests, each waited for at most two seconds.
    Invocation ping(const QString &host) const;

    // The tunnel is named after its configuration file's base name, vpn_wg0.
    Invocation installTunnel(const QString &configPath) const;
    Invocation removeTunnel(const QString &configPath) const;
    // Whether a tunnel may be there to remove: on Linux only while the kernel shows its
    // interface; a Windows tunnel service cannot be told so cheaply.
    bool tunnelMayExist() const;
    // What removes the tunnel when its tool could not: on Linux the interface itself and the
    // resolvers wg-quick registered for it (under either name resolvconf may have given them);
    // nothing on Windows, where only the tunnel service can remove its tunnel.
    QVector<Invocation> forceTunnelRemoval() const;
    // One line per peer: public key, received bytes, sent bytes, separated by tabs.
    Invocation tunnelTransfer() const;
    // One line per peer: public key and the time of its latest handshake in seconds since the
    // epoch (0 for none yet), separated by a tab.
    Invocation tunnelHandshakes() const;

    // Whether the block names what it lets through (Linux: the services, the resolvers and a
    // tunnel), so that it never needs lifting; the Windows rule blocks everything, and is lifted
    // for the client's own requests and while a tunnel is up.
    bool killSwitchIsSelective() const { return setKind == Kind::Linux; }
    // Puts the block in place of any block there is. Run in order; the last run's success is
    // the block's.
    QVector<Invocation> putKillSwitch(const KillSwitchRules &rules) const;
    // Deletes the block and the allow rule that goes with it; deleting what is not there is no
    // error on Linux.
    QVector<Invocation> liftKillSwitch() const;

private:
    explicit CommandSet(Kind kind)
        : setKind(kind)
    {}
    QString wgProgram() const
    {
        return setKind == Kind::Windows ? QStringLiteral("wg.exe") : QStringLiteral("wg");
    }

    Kind setKind;
};

} // namespace Platform
