#include "PrivateSystemBus.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <signal.h>

namespace {

constexpr int startTimeoutMs = 10000;

// The bus's configuration, with the helper's activation file in a folder of its own when the
// helper is to be found.
QString writeConfiguration(const QTemporaryDir &scratch, PrivateSystemBus::Helper helper,
                           PrivateSystemBus::Tools tools)
{
    QFile base(QStringLiteral(CORVANE_SYSTEM_BUS_CONFIG));
    base.open(QIODevice::ReadOnly);
    QString config = QString::fromUtf8(base.readAll());
    if (helper == PrivateSystemBus::Helper::Activatable) {
        const QString services = scratch.filePath(QStringLiteral("services"));
        QDir().mkpath(services);
        QString exec = QStringLiteral(CORVANE_HELPER_PROGRAM " --idle-exit-seconds 1");
        if (tools == PrivateSystemBus::Tools::Fakes)
            exec += QStringLiteral(" --tool-path ") + qEnvironmentVariable("PATH");
        QFile service(services + QStringLiteral("/org.corvane.Helper1.service"));
        service.open(QIODevice::WriteOnly);
        service.write(QStringLiteral("[D-BUS Service]\nName=org.corvane.Helper1\nExec=%1\n"
                                     "User=root\n")
                          .arg(exec)
                          .toUtf8());
        config.replace(QStringLiteral("<!-- HELPER SERVICE DIR -->"),
                       QStringLiteral("<servicedir>%1</servicedir>").arg(services));
    }
    const QString path = scratch.filePath(QStringLiteral("system-bus.conf"));
    QFile written(path);
    written.open(QIODevice::WriteOnly);
    written.write(config.toUtf8());
    return path;
}

} // namespace

PrivateSystemBus::PrivateSystemBus(Helper helper, Tools tools)
{
    const QString config = writeConfiguration(scratch, helper, tools);
    qputenv("FAKE_POLKIT_ANSWER_FILE", scratch.filePath("polkit-answer").toLocal8Bit());
    qputenv("FAKE_POLKIT_LOG", scratch.filePath("polkit.log").toLocal8Bit());
    setPolkitAnswer(true);

    daemon.setProcessChannelMode(QProcess::SeparateChannels);
    // By full path: a test may have left only fake programs on PATH.
    const QStringList systemFolders{QStringLiteral("/usr/bin"), QStringLiteral("/bin")};
    QStringList command{
        QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"), systemFolders),
        QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
        QStringLiteral("--print-address=1"), QStringLiteral("--nopidfile")};
    // What the bus starts inherits its environment: none at all, as the system bus gives. Qt 5
    // starts a program with an empty environment as with an inherited one, so env clears it.
    if (tools == Tools::System)
        command = QStringList{QStandardPaths::findExecutable(QStringLiteral("env"), systemFolders),
                              QStringLiteral("-i")} +
                  command;
    daemon.start(command.first(), command.mid(1));
    if (!daemon.waitForStarted(startTimeoutMs) || !daemon.waitForReadyRead(startTimeoutMs))
        return;
    busAddress = QString::fromUtf8(daemon.readLine()).trimmed();
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", busAddress.toUtf8());

    authority.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    authority.start(QStringLiteral(FAKE_POLKIT_PROGRAM), QStringList());
    if (!authority.waitForReadyRead(startTimeoutMs))
        authority.kill();
}

PrivateSystemBus::~PrivateSystemBus()
{
    // The bus going away does not end the helper: end it first.
    if (const qint64 helper = helperProcessId())
        ::kill(pid_t(helper), SIGTERM);
    for (QProcess *process : {&authority, &daemon}) {
        process->terminate();
        if (!process->waitForFinished(3000))
            process->kill();
        process->waitForFinished(3000);
    }
}

QString PrivateSystemBus::log() const
{
    return QString::fromUtf8(const_cast<QProcess &>(daemon).readAllStandardError());
}

void PrivateSystemBus::setPolkitAnswer(bool authorized)
{
    QFile answer(scratch.filePath("polkit-answer"));
    answer.open(QIODevice::WriteOnly | QIODevice::Truncate);
    answer.write(authorized ? "yes\n" : "no\n");
}

void PrivateSystemBus::setPolkitAnswer(bool authorized, const QString &action,
                                       bool actionAuthorized, int delayMs)
{
    setPolkitAnswer(authorized);
    QFile answer(scratch.filePath("polkit-answer"));
    answer.open(QIODevice::Append);
    answer.write(QStringLiteral("%1 %2 %3\n")
                     .arg(action, actionAuthorized ? "yes" : "no")
                     .arg(delayMs)
                     .toUtf8());
}

QStringList PrivateSystemBus::polkitChecks() const
{
    QFile log(scratch.filePath("polkit.log"));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(log.readAll()).split('\n', Qt::SkipEmptyParts);
}

qint64 PrivateSystemBus::helperProcessId() const
{
    if (busAddress.isEmpty())
        return 0;
    QDBusConnection bus = QDBusConnection::connectToBus(busAddress, QStringLiteral("observer"));
    const QDBusReply<uint> pid = bus.interface()->servicePid(QStringLiteral("org.corvane.Helper1"));
    QDBusConnection::disconnectFromBus(QStringLiteral("observer"));
    return pid.isValid() ? pid.value() : 0;
}
