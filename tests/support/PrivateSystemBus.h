#pragma once

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// A private dbus-daemon shaped like the system bus, with a stand-in polkit authority on it and,
// when asked, the helper activatable from the build tree. Sets DBUS_SYSTEM_BUS_ADDRESS for this
// process (and so for what it starts); must come before the first use of the system bus.
class PrivateSystemBus final {
public:
    enum class Helper { Activatable, Missing };
    // Fakes: the helper inherits this process's environment (the fakes' scripts) and runs its
    // tools from this process's PATH. System: as the real system bus starts it, with an empty
    // environment, so it runs the system's own tools.
    enum class Tools { Fakes, System };

    explicit PrivateSystemBus(Helper helper = Helper::Activatable, Tools tools = Tools::Fakes);
    ~PrivateSystemBus();

    bool isRunning() const
    {
        return !busAddress.isEmpty() && authority.state() == QProcess::Running;
    }
    QString address() const { return busAddress; }
    QString log() const;

    void setPolkitAnswer(bool authorized);
    // One action answered otherwise than the rest, after delayMs where given.
    void setPolkitAnswer(bool authorized, const QString &action, bool actionAuthorized,
                         int delayMs = 0);
    // One "action<TAB>subject kind<TAB>subject name<TAB>flags" line per check so far.
    QStringList polkitChecks() const;
    // The process that owns the helper's name, 0 when none does.
    qint64 helperProcessId() const;

private:
    QTemporaryDir scratch;
    QProcess daemon;
    QProcess authority;
    QString busAddress;
};
