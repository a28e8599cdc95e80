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

    // Two echo requests, each waited for at most two seconds.
    Invocation ping(const QString &host) const;

private:
    explicit CommandSet(Kind kind)
        : setKind(kind)
    {}

    Kind setKind;
};

} // namespace Platform
