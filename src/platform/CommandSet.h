#pragma once

#include <QString>
#include <QStringList>

namespace Platform {

// One run of an outside program: its bare name and one list element per argument.
struct Invocation {
    QString program;
    QStringList arguments;
};

// The outside programs of one operating system and how they are called. The system's own set
// is the default; tests pick either set to run it against fake or real programs.
class CommandSet final {
public:
    enum class Kind { Windows, Linux };

    static CommandSet native();
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
    // One line per peer: public key, received bytes, sent bytes, separated by tabs.
    Invocation tunnelTransfer() const;

    // The outbound block and the allow rule that is deleted with it.
    Invocation deleteKillSwitchBlock() const;
    Invocation deleteKillSwitchAllow() const;
    // Blocks all outbound traffic but loopback, DNS and the given service addresses (the
    // Windows rule blocks everything and takes no addresses).
    Invocation addKillSwitchBlock(const QStringList &serviceAddresses) const;

private:
    explicit CommandSet(Kind kind)
        : setKind(kind)
    {}

    Kind setKind;
};

} // namespace Platform
