#pragma once

#include <QVariant>
#include <QVector>

// Everything the program remembers between runs except the password itself. Every call opens
// the platform's settings store and closes it again, so each write is on disk when it returns.
class AppSettings final {
public:
    enum Switch {
        TrayIcon = 0,
        Notifications = 1,
        AutoConnect = 2,
        Startup = 3,
        SetDNS = 4,
        Analytics = 5,
        CrashReports = 6,
        KillSwitch = 7,
    };

    enum Value {
        Language = 0,
        LastServerId = 1,
        CredentialTarget = 2,
        LastEmail = 3,
        RememberPassword = 4,
    };

    static bool switchState(const Switch &key);
    static bool setSwitchState(const Switch &key, const bool &on);
    static QVariant value(const Value &key);
    static bool setValue(const Value &key, const QVariant &value);
    static QVector<int> favoriteServerIds();
    static void setFavoriteServerIds(const QVector<int> &ids);
    static void resetApplication();

    static const char *organizationName() { return "Ostrel Limited"; }
    static const char *applicationName() { return "Corvane"; }

    AppSettings() = delete;
};
