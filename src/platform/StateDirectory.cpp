#include "platform/StateDirectory.h"

#include <QDir>
#include <QStandardPaths>

namespace Platform {

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
