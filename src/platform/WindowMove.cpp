#include "platform/WindowMove.h"

#include <QWindow>

namespace Platform {

bool startSystemWindowMove(QWindow *window)
{
#ifdef Q_OS_WIN
    Q_UNUSED(window)
    return false;
#else
    return window && window->startSystemMove();
#endif
}

} // namespace Platform
