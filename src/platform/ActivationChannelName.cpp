#include "platform/ActivationChannelName.h"

#include <QDir>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

namespace Platform {

QString activationChannelName()
{
#ifdef Q_OS_WIN
    return QStringLiteral("corvane-activate-") + qEnvironmentVariable("USERNAME");
#else
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return folder + QStringLiteral("/corvane-%1.activate").arg(::getuid());
#endif
}

QString instanceGuardKey(const QString &base)
{
#ifdef Q_OS_WIN
    return base;
#else
    return base + QStringLiteral("_%1").arg(::getuid());
#endif
}

} // namespace Platform
