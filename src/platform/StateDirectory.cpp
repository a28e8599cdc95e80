#include "platform/StateDirectory.h"

#include "types/LogCategories.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace Platform {

#ifndef Q_OS_WIN
namespace {

// A real folder (not a link) of this user that no one else may enter.
bool isOwnPrivateFolder(const QString &path)
{
    struct stat status = {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 && S_ISDIR(status.st_mode) &&
           status.st_uid == ::geteuid() && (status.st_mode & 077) == 0;
}

QString rootRuntimeFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString base =
        !runtime.isEmpty() && isOwnPrivateFolder(runtime) ? runtime : QStringLiteral("/run");
    const QString folder = base + QStringLiteral("/corvane");
    ::mkdir(QFile::encodeName(folder).constData(), 0700);
    if (!isOwnPrivateFolder(folder)) {
        qCWarning(lcPlatform) << "Not a root-only folder, so no tunnel configuration goes there:"
                              << folder;
        return QString();
    }
    return folder;
}

} // namespace
#endif

QString tunnelConfigurationFolder()
{
#ifndef Q_OS_WIN
    if (::geteuid() == 0)
        return rootRuntimeFolder();
#endif
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    QDir().mkpath(folder);
    return folder;
}

QString stateDirectory()
{
#ifdef Q_OS_WIN
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
#else
    QString stateHome = qEnvironmentVariable("XDG_STATE_HOME");
    if (stateHome.isEmpty())
        stateHome = QDir::homePath() + QStringLiteral("/.local/state");
    return stateHome + QStringLiteral("/corvane");
#endif
}

} // namespace Platform
