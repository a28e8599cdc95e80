#include "FakePrograms.h"

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>

FakePrograms::FakePrograms()
    : binDir(scratch.filePath("bin"))
    , originalPath(qgetenv("PATH"))
{
    QDir().mkpath(binDir);
    for (const QFileInfo &fake :
         QDir(QStringLiteral(FAKE_BIN_DIR)).entryInfoList(QDir::Files | QDir::System))
        QFile::link(fake.symLinkTarget().isEmpty() ? fake.absoluteFilePath() : fake.symLinkTarget(),
                    binDir + '/' + fake.fileName());
    // Only the fakes: a program a test hides must not be found elsewhere, least of all the
    // machine's real firewall and tunnel tools.
    qputenv("PATH", binDir.toLocal8Bit());
    qputenv("FAKE_LOG", scratch.filePath("calls.log").toLocal8Bit());
}

FakePrograms::~FakePrograms()
{
    for (const QString &key : QProcessEnvironment::systemEnvironment().keys()) {
        if (key.startsWith(QLatin1String("FAKE_")))
            qunsetenv(key.toLocal8Bit().constData());
    }
    qputenv("PATH", originalPath);
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

void FakePrograms::remove(const QString &name)
{
    QFile::remove(binDir + '/' + name);
}
