#include "ping/PingManager.h"

#include "ping/PingOutput.h"

#include <QProcess>
#include <QThreadPool>
#include <QtConcurrent>

PingManager::PingManager(QObject *parent, const Platform::CommandSet &commands)
    : QObject(parent)
    , commands(commands)
    , pool(new QThreadPool(this))
{
    pool->setMaxThreadCount(maxConcurrentProbes);
}

// Probes that have not started are dropped: quitting waits only for those under way.
PingManager::~PingManager()
{
    pool->clear();
    pool->waitForDone();
}

void PingManager::requestPing(int id, QString hostname)
{
    QtConcurrent::run(pool, this, &PingManager::pingHost, id, hostname);
}

void PingManager::pingHost(const int &id, const QString &hostname)
{
    if (!PingOutput::isPlainHost(hostname)) {
        emit pingReceived(id, 0);
        return;
    }
    const Platform::Invocation ping = commands.ping(hostname);
    QProcess process;
    process.start(ping.program, ping.arguments);
    process.waitForFinished(-1);
    const QByteArray output = process.readAllStandardOutput();
    const int end = output.indexOf('\0');
    emit pingReceived(
        id, PingOutput::averageMs(QString::fromLatin1(end < 0 ? output : output.left(end))));
}
