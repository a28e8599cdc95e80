#include "PrivateSystemBus.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QFile>
#include <QStandardPaths>

#include <signal.h>

namespace {

constexpr int startTimeoutMs = 10000;

} // namespace

PrivateSystemBus::PrivateSystemBus(Helper helper)
{
    const QString config = helper == Helper::Activatable
                               ? QStringLiteral(CORVANE_SYSTEM_BUS_CONFIG)
                               : QStringLiteral(CORVANE_SYSTEM_BUS_CONFIG_WITHOUT_HELPER);
    qputenv("FAKE_POLKIT_ANSWER_FILE", scratch.filePath("polkit-answer").toLocal8Bit());
    qputenv("FAKE_POLKIT_LOG", scratch.filePath("polkit.log").toLocal8Bit());
    setPolkitAnswer(true);

    daemon.setProcessChannelMode(QProcess::SeparateChannels);
    // By full path: a test may have left only fake programs on PATH.
    daemon.start(QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"),
                                                {QStringLiteral("/usr/bin"), QStringLiteral("/bin")}),
                 {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                  QStringLiteral("--print-address=1"), QStringLiteral("--nopidfile")});
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
    const QDBusReply<uint> pid =
        bus.interface()->servicePid(QStringLiteral("org.corvane.Helper1"));
    QDBusConnection::disconnectFromBus(QStringLiteral("observer"));
    return pid.isValid() ? pid.value() : 0;
}
