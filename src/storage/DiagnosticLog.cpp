#include "storage/DiagnosticLog.h"

#include "platform/StateDirectory.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>

namespace {

QMutex logMutex;
QString logPath;
QtMessageHandler previousHandler = nullptr;

const char *levelName(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return "debug";
    case QtInfoMsg:
        return "info";
    case QtWarningMsg:
        return "warning";
    case QtCriticalMsg:
        return "critical";
    case QtFatalMsg:
        return "fatal";
    }
    return "debug";
}

// Only its owner reads it: it names servers, addresses and the member's events.
constexpr QFileDevice::Permissions ownerOnlyFile = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// One record a line: a line break or another control character in a message (a value that came
// from the network) is written escaped, so no message can pass for another.
QString oneLine(const QString &message)
{
    QString line;
    line.reserve(message.size());
    for (const QChar c : message) {
        if (c == QLatin1Char('\n'))
            line += QLatin1String("\\n");
        else if (c == QLatin1Char('\r'))
            line += QLatin1String("\\r");
        else if ((c.unicode() < 0x20 && c != QLatin1Char('\t')) || c.unicode() == 0x7f)
            line += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            line += c;
    }
    return line;
}

// The current file becomes the ".1" file once the next line would take it past the limit.
void rotateFor(qint64 lineBytes)
{
    const qint64 size = QFileInfo(logPath).size();
    if (size == 0 || size + lineBytes <= DiagnosticLog::maximumFileBytes)
        return;
    const QString older = logPath + QStringLiteral(".1");
    QFile::remove(older);
    QFile::rename(logPath, older);
}

void writeLine(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    {
        QMutexLocker lock(&logMutex);
        if (!logPath.isEmpty()) {
            const QByteArray line = (QDateTime::currentDateTime().toString(Qt::ISODateWithMs) +
                                     QLatin1Char(' ') + QLatin1String(levelName(type)) +
                                     QLatin1Char(' ') + oneLine(message) + QLatin1Char('\n'))
                                        .toUtf8()
                                        .left(int(DiagnosticLog::maximumFileBytes));
            rotateFor(line.size());
            QFile file(logPath);
            const bool created = !file.exists();
            if (file.open(QIODevice::WriteOnly | QIODevice::Append)) {
                if (created)
                    file.setPermissions(ownerOnlyFile);
                file.write(line);
            }
        }
    }
    if (previousHandler)
        previousHandler(type, context, message);
}

} // namespace

QString DiagnosticLog::defaultFilePath()
{
    return Platform::stateDirectory() + QStringLiteral("/corvane.log");
}

QString DiagnosticLog::filePath()
{
    QMutexLocker lock(&logMutex);
    return logPath.isEmpty() ? defaultFilePath() : logPath;
}

void DiagnosticLog::install(const QString &path)
{
    const QString folder = QFileInfo(path).path();
    QDir().mkpath(folder);
    QFile::setPermissions(folder,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    if (QFile::exists(path))
        QFile::setPermissions(path, ownerOnlyFile);
    {
        QMutexLocker lock(&logMutex);
        logPath = path;
    }
    QtMessageHandler previous = qInstallMessageHandler(writeLine);
    if (previous != writeLine)
        previousHandler = previous;
}

void DiagnosticLog::uninstall()
{
    qInstallMessageHandler(previousHandler);
    QMutexLocker lock(&logMutex);
    logPath.clear();
}
