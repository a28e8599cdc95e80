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
            const QByteArray line =
                (QDateTime::currentDateTime().toString(Qt::ISODateWithMs) + QLatin1Char(' ') +
                 QLatin1String(levelName(type)) + QLatin1Char(' ') + message + QLatin1Char('\n'))
                    .toUtf8()
                    .left(int(DiagnosticLog::maximumFileBytes));
            rotateFor(line.size());
            QFile file(logPath);
            if (file.open(QIODevice::WriteOnly | QIODevice::Append))
                file.write(line);
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
    QDir().mkpath(QFileInfo(path).path());
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
