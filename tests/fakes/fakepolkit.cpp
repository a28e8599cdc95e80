// A stand-in for polkit's authority on a private system bus: it owns org.freedesktop.PolicyKit1
// and answers CheckAuthorization on polkit's real interface as the test scripts it.
//
//   FAKE_POLKIT_ANSWER_FILE  read at every call: its first line answers every action ("yes"
//                            authorises, anything else refuses) but those named on a later
//                            line as "<action> yes" or "<action> no", answered after
//                            "<action> yes <milliseconds>" as a member typing a password is
//   FAKE_POLKIT_LOG          one line per call: action, subject kind, subject name, flags
#include "helper/PolkitAuthority.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QFile>
#include <QTimer>

#include <cstdio>

class FakeAuthority : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.PolicyKit1.Authority")

public slots:
    PolkitResult CheckAuthorization(const PolkitSubject &subject, const QString &actionId,
                                    const QMap<QString, QString> &, uint flags, const QString &)
    {
        QFile log(qEnvironmentVariable("FAKE_POLKIT_LOG"));
        if (log.open(QIODevice::Append))
            log.write(QStringLiteral("%1\t%2\t%3\t%4\n")
                          .arg(actionId, subject.kind,
                               subject.details.value(QStringLiteral("name")).toString())
                          .arg(flags)
                          .toUtf8());
        QFile answer(qEnvironmentVariable("FAKE_POLKIT_ANSWER_FILE"));
        PolkitResult result;
        if (!answer.open(QIODevice::ReadOnly))
            return result;
        const QList<QByteArray> lines = answer.readAll().trimmed().split('\n');
        result.isAuthorized = lines.first().trimmed() == "yes";
        int delayMs = 0;
        for (const QByteArray &line : lines.mid(1)) {
            const QList<QByteArray> words = line.simplified().split(' ');
            if (words.size() < 2 || words.first() != actionId.toUtf8())
                continue;
            result.isAuthorized = words.at(1) == "yes";
            delayMs = words.value(2).toInt();
        }
        if (delayMs > 0) {
            setDelayedReply(true);
            const QDBusMessage reply = message().createReply(QVariant::fromValue(result));
            QTimer::singleShot(delayMs, this,
                               [bus = connection(), reply]() mutable { bus.send(reply); });
        }
        return result;
    }
};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    PolkitAuthority::registerTypes();
    QDBusConnection bus = QDBusConnection::systemBus();
    FakeAuthority authority;
    if (!bus.registerObject(QStringLiteral("/org/freedesktop/PolicyKit1/Authority"), &authority,
                            QDBusConnection::ExportAllSlots) ||
        !bus.registerService(QStringLiteral("org.freedesktop.PolicyKit1"))) {
        std::fprintf(stderr, "fakepolkit: cannot own org.freedesktop.PolicyKit1\n");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}

#include "fakepolkit.moc"
