#include "platform/CommandSet.h"

#include <QtGlobal>

namespace Platform {

CommandSet CommandSet::native()
{
#ifdef Q_OS_WIN
    return windows();
#else
    return linux();
#endif
}

Invocation CommandSet::ping(const QString &host) const
{
    if (setKind == Kind::Windows)
        return {QStringLiteral("ping.exe"), {"-n", "2", "-w", "2000", host}};
    return {QStringLiteral("ping"), {"-n", "-c", "2", "-W", "2", host}};
}

} // namespace Platform
