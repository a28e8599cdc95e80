#pragma once

#include <QString>

// Launching the program when the member logs in: the Run key value on Windows, an XDG autostart
// entry elsewhere. Both are named after the application name (the executable's base name).
namespace Platform {

bool startupEntryExists();
void setStartupEntry(bool enabled);

// The XDG autostart entry's file path; only meaningful off Windows.
QString autostartEntryPath();
// The desktop-entry text that starts the program at the given path.
QString autostartEntryText(const QString &programPath);

} // namespace Platform
