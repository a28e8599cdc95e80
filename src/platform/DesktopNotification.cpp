#include "platform/DesktopNotification.h"

#include <QSystemTrayIcon>

#ifdef Q_OS_WIN

namespace Platform {

void showDesktopNotification(QSystemTrayIcon *tray, const QString &title, const QString &text,
                             int milliseconds)
{
    tray->showMessage(title, text, QSystemTrayIcon::Information, milliseconds);
}

} // namespace Platform

#else

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>

namespace Platform {

namespace {

const QString notificationService = QStringLiteral("org.freedesktop.Notifications");

bool notificationServiceRuns(const QDBusConnection &bus)
{
    return bus.isConnected() && bus.interface() &&
           bus.interface()->isServiceRegistered(notificationService).value();
}

} // namespace

void showDesktopNotification(QSystemTrayIcon *tray, const QString &title, const QString &text,
                             int milliseconds)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!notificationServiceRuns(bus)) {
        tray->showMessage(title, text, QSystemTrayIcon::Information, milliseconds);
        return;
    }
    QDBusMessage notify = QDBusMessage::createMethodCall(
        notificationService, QStringLiteral("/org/freedesktop/Notifications"), notificationService,
        QStringLiteral("Notify"));
    const QVariantMap hints{
        {QStringLiteral("desktop-entry"), QStringLiteral("org.corvane.Corvane")}};
    notify << title << uint(0) << QStringLiteral("org.corvane.Corvane") << title << text
           << QStringList() << hints << milliseconds;
    bus.asyncCall(notify);
}

} // namespace Platform

#endif
