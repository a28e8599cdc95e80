#include "helper/PolkitAuthority.h"

#include "PolkitAuthorityProxy.h"
#include "types/LogCategories.h"

#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDebug>

namespace {

// AllowUserInteraction: an inactive or remote member may still be asked for a password.
constexpr uint allowUserInteraction = 1;
// Long enough for a member to type a password.
constexpr int authorityTimeoutMs = 120000;

} // namespace

QDBusArgument &operator<<(QDBusArgument &argument, const PolkitSubject &subject)
{
    argument.beginStructure();
    argument << subject.kind << subject.details;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, PolkitSubject &subject)
{
    argument.beginStructure();
    argument >> subject.kind >> subject.details;
    argument.endStructure();
    return argument;
}

QDBusArgument &operator<<(QDBusArgument &argument, const PolkitResult &result)
{
    argument.beginStructure();
    argument << result.isAuthorized << result.isChallenge << result.details;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, PolkitResult &result)
{
    argument.beginStructure();
    argument >> result.isAuthorized >> result.isChallenge >> result.details;
    argument.endStructure();
    return argument;
}

PolkitAuthority::PolkitAuthority(const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
    , authority(new PolkitAuthorityProxy(QStringLiteral("org.freedesktop.PolicyKit1"),
                                         QStringLiteral("/org/freedesktop/PolicyKit1/Authority"),
                                         bus, this))
{
    authority->setTimeout(authorityTimeoutMs);
}

void PolkitAuthority::registerTypes()
{
    qDBusRegisterMetaType<PolkitSubject>();
    qDBusRegisterMetaType<PolkitResult>();
    qDBusRegisterMetaType<PolkitDetails>();
}

void PolkitAuthority::check(const QString &busName, const QString &action, Interaction interaction,
                            const std::function<void(bool)> &decide)
{
    const PolkitSubject subject{QStringLiteral("system-bus-name"),
                                {{QStringLiteral("name"), busName}}};
    const QDBusPendingReply<PolkitResult> pending = authority->CheckAuthorization(
        subject, action, {}, interaction == Interaction::Allowed ? allowUserInteraction : 0u,
        QString());
    auto *watcher = new QDBusPendingCallWatcher(pending, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [watcher, busName, decide](QDBusPendingCallWatcher *) {
                watcher->deleteLater();
                const QDBusPendingReply<PolkitResult> reply = *watcher;
                if (reply.isError()) {
                    qCWarning(lcHelper).noquote()
                        << "polkit could not be asked:" << reply.error().name()
                        << reply.error().message();
                    decide(false);
                    return;
                }
                if (!reply.value().isAuthorized)
                    qCWarning(lcHelper).noquote() << "polkit refused" << busName;
                decide(reply.value().isAuthorized);
            });
}
