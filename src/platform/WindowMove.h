#pragma once

class QWindow;

namespace Platform {

// Hands a press-and-drag of the frameless window to the window system (Wayland, where a program
// cannot place its own window, and X11 window managers that support it). False where the
// program moves the window itself: always on Windows, as specified, and where the window
// system declines.
bool startSystemWindowMove(QWindow *window);

} // namespace Platform
