#include "platform/PrivateFile.h"

#include <QFile>
#include <QtGlobal>

#ifdef Q_OS_WIN

namespace Platform {

PrivateFileResult writePrivateFile(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return PrivateFileResult::CannotOpen;
    const bool complete = file.write(contents) == contents.size() && file.flush();
    file.close();
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return complete ? PrivateFileResult::Written : PrivateFileResult::WriteFailed;
}

} // namespace Platform

#else

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform {

PrivateFileResult writePrivateFile(const QString &path, const QByteArray &contents)
{
    const QByteArray nativePath = QFile::encodeName(path);
    // Created fresh, never through a link: whatever stood at the path (a file of wider mode, a
    // link planted elsewhere) goes first, and a file that appears meanwhile fails the open.
    if (::unlink(nativePath.constData()) != 0 && errno != ENOENT)
        return PrivateFileResult::CannotOpen;
    const int fd =
        ::open(nativePath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return PrivateFileResult::CannotOpen;
    bool complete = ::fchmod(fd, S_IRUSR | S_IWUSR) == 0;
    qint64 written = 0;
    while (complete && written < contents.size()) {
        const ssize_t chunk =
            ::write(fd, contents.constData() + written, size_t(contents.size() - written));
        if (chunk < 0 && errno == EINTR)
            continue;
        complete = chunk > 0;
        written += complete ? chunk : 0;
    }
    complete = ::close(fd) == 0 && complete;
    return complete ? PrivateFileResult::Written : PrivateFileResult::WriteFailed;
}

} // namespace Platform

#endif
