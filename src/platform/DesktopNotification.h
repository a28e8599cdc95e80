#pragma once

#include <QString>

class QSystemTrayIcon;

namespace Platform {

// Shows a notification the way the desktop does: on Linux through the notification service
// (org.freedesktop.Notifications on the session bus, with the application's name and icon),
// falling back to the tray icon's message where no such service runs; on Windows the tray
// message, as specified.
void showDesktopNotification(QSystemTrayIcon *tray, const QString &title, const QString &text,
                             int milliseconds);

} // namespace Platform
