#pragma once

#include <QString>

// The diagnostic lines a member can send to support: every line of the debug log also goes to a
// file, with the time, in two files of at most maximumFileBytes each (the older one ends in
// ".1"). The lines are the program's fixed texts, which never hold a password, token or key.
class DiagnosticLog final {
public:
    static constexpr qint64 maximumFileBytes = 1024 * 1024;

    // Under the platform's state folder: $XDG_STATE_HOME/corvane/corvane.log on Linux.
    static QString defaultFilePath();
    static QString filePath();

    // From now on each line is written to the file as well as handed to the previous handler.
    static void install(const QString &path = defaultFilePath());
    static void uninstall();

    DiagnosticLog() = delete;
};
