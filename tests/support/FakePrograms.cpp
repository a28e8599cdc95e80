#include "FakePrograms.h"

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#ifdef Q_OS_WIN
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#endif

FakePrograms::FakePrograms()
    : binDir(scratch.filePath("bin"))
    , originalPath(qgetenv("PATH"))
    , originalCurrent(QDir::currentPath())
{
    QDir().mkpath(binDir);
    for (const QFileInfo &fake :
         QDir(QStringLiteral(FAKE_BIN_DIR)).entryInfoList(QDir::Files | QDir::System)) {
#ifdef Q_OS_WIN
        QFile::copy(fake.absoluteFilePath(), binDir + '/' + fake.fileName());
#else
        QFile::link(fake.symLinkTarget().isEmpty() ? fake.absoluteFilePath() : fake.symLinkTarget(),
                    binDir + '/' + fake.fileName());
#endif
    }
    // Only the fakes: a program a test hides must not be found elsewhere, least of all the
    // machine's real firewall and tunnel tools.
    qputenv("PATH", QDir::toNativeSeparators(binDir).toLocal8Bit());
    qputenv("FAKE_LOG", QDir::toNativeSeparators(scratch.filePath("calls.log")).toLocal8Bit());
#ifdef Q_OS_WIN
    // Windows looks for a program in the current folder before the system folder, where its
    // own netsh and ping stand.
    QDir::setCurrent(binDir);
#endif
}

FakePrograms::~FakePrograms()
{
    for (const QString &key : QProcessEnvironment::systemEnvironment().keys()) {
        if (key.startsWith(QLatin1String("FAKE_")))
            qunsetenv(key.toLocal8Bit().constData());
    }
    qputenv("PATH", originalPath);
    QDir::setCurrent(originalCurrent);
#ifdef Q_OS_WIN
    // Windows keeps a folder that a process started in while anything still holds that process:
    // the tools' finished process objects go first, and a fake still running gets a moment.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QDeadlineTimer deadline(10000);
    while (!QDir(binDir).removeRecursively() && !deadline.hasExpired())
        QThread::msleep(20);
#endif
}

QString FakePrograms::variable(const QString &name, const QString &key)
{
    QString stem = QStringLiteral("FAKE_");
    for (const QChar c : name)
        stem += c.isLetterOrNumber() ? c.toUpper() : QLatin1Char('_');
    return stem + '_' + key;
}

void FakePrograms::script(const QString &name, const QString &key, const QString &value)
{
    qputenv(variable(name, key).toLocal8Bit().constData(), value.toLocal8Bit());
}

QStringList FakePrograms::calls() const
{
    QFile log(scratch.filePath("calls.log"));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(log.readAll()).split('\n', Qt::SkipEmptyParts);
}

QStringList FakePrograms::callsOf(const QString &program) const
{
    QStringList matching;
    for (const QString &call : calls()) {
        if (call.section('\t', 0, 0) == program)
            matching << call;
    }
    return matching;
}

void FakePrograms::remove(const QString &name)
{
    QFile::remove(binDir + '/' + name);
}
