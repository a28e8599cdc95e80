#pragma once

#include <QByteArray>
#include <QString>

namespace Platform {

enum class PrivateFileResult { Written, CannotOpen, WriteFailed };

// Writes a file that only its owner may read or write, from the moment it exists; a write that
// falls short is a failure.
PrivateFileResult writePrivateFile(const QString &path, const QByteArray &contents);

} // namespace Platform
