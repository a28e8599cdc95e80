#include "platform/StartupEntry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QSettings>

namespace {

// Quotes an Exec argument as the desktop-entry specification asks, then escapes it as a
// desktop-entry string value.
QString execArgument(const QString &argument)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    QString quoted = argument;
    const bool needsQuotes =
        std::any_of(argument.begin(), argument.end(), [](QChar c) { return reserved.contains(c); });
    if (needsQuotes) {
        quoted.clear();
        for (const QChar c : argument) {
            if (c == '"' || c == '`' || c == '$' || c == '\\')
                quoted += '\\';
            quoted += c;
        }
        quoted = '"' + quoted + '"';
    }
    quoted.replace(QLatin1Char('%'), QLatin1String("%%"));
    quoted.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    return quoted;
}

QString escapedValue(QString value)
{
    value.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    value.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    return value;
}

} // namespace

namespace Platform {

QString autostartEntryPath()
{
    QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (configHome.isEmpty())
        configHome = QDir::homePath() + QStringLiteral("/.config");
    return configHome + QStringLiteral("/autostart/") + QCoreApplication::applicationName() +
           QStringLiteral(".desktop");
}

QString autostartEntryText(const QString &programPath)
{
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=%1\n"
                          "Exec=%2 --hidden\n"
                          "Terminal=false\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(escapedValue(QCoreApplication::applicationName()), execArgument(programPath));
}

#ifdef Q_OS_WIN

static const QString runKeyPath =
    QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");

bool startupEntryExists()
{
    QSettings runKey(runKeyPath, QSettings::NativeFormat);
    return runKey.contains(QCoreApplication::applicationName());
}

void setStartupEntry(bool enabled)
{
    QSettings runKey(runKeyPath, QSettings::NativeFormat);
    // Quoted: unquoted, a path with a blank ("C:\Program Files\...") lets Windows try to start
    // "C:\Program.exe" first.
    if (enabled)
        runKey.setValue(QCoreApplication::applicationName(),
                        QLatin1Char('"') +
                            QCoreApplication::applicationFilePath().replace('/', '\\') +
                            QLatin1Char('"'));
    else
        runKey.remove(QCoreApplication::applicationName());
}

#else

bool startupEntryExists()
{
    return QFile::exists(autostartEntryPath());
}

void setStartupEntry(bool enabled)
{
    const QString path = autostartEntryPath();
    if (!enabled) {
        QFile::remove(path);
        return;
    }
    QDir().mkpath(QFileInfo(path).path());
    QSaveFile entry(path);
    if (!entry.open(QIODevice::WriteOnly | QIODevice::Text))
        return;
    entry.write(autostartEntryText(QCoreApplication::applicationFilePath()).toUtf8());
    entry.commit();
}

#endif

} // namespace Platform
