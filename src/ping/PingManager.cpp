#include "ping/PingManager.h"

#include "platform/ProcessOutput.h"

#include "ping/PingOutput.h"

#include <QHostAddress>
#include <QThread>
#include <QThreadPool>
#include <QTimer>
#include <QtConcurrent>

namespace {

PingManager::Method &defaultMethod()
{
    static PingManager::Method method = PingManager::Method::Automatic;
    return method;
}

} // namespace

void PingManager::setDefaultMethod(Method method)
{
    defaultMethod() = method;
}

PingManager::PingManager(QObject *parent, const Platform::CommandSet &commands)
    : QObject(parent)
    , commands(commands)
    , pool(new QThreadPool(this))
    , batchTimer(new QTimer(this))
{
    pool->setMaxThreadCount(maxConcurrentProbes);
    batchTimer->setSingleShot(true);
    batchTimer->setInterval(batchIntervalMs);
    connect(batchTimer, &QTimer::timeout, this, &PingManager::flush);
    if (defaultMethod() != Method::Automatic ||
        commands.kind() != Platform::CommandSet::Kind::Linux)
        return;
    auto *icmp = new Platform::IcmpProber;
    if (!icmp->isOpen()) {
        delete icmp;
        return;
    }
    prober = icmp;
    proberThread = new QThread(this);
    prober->moveToThread(proberThread);
    connect(proberThread, &QThread::finished, prober, &QObject::deleteLater);
    connect(prober, &Platform::IcmpProber::measured, this, &PingManager::pingsReceived);
    proberThread->start();
}

// Probes that have not started are dropped: quitting waits only for those under way.
PingManager::~PingManager()
{
    pool->clear();
    pool->waitForDone();
    if (proberThread) {
        proberThread->quit();
        proberThread->wait();
    }
}

void PingManager::requestPing(int id, QString hostname)
{
    requestPings({{id, hostname}});
}

void PingManager::requestPings(const QVector<Request> &requests)
{
    QVector<Request> forProber;
    for (const Request &request : requests) {
        if (prober && !QHostAddress(request.second).isNull())
            forProber.append(request);
        else
            QtConcurrent::run(pool, [this, request] { pingHost(request.first, request.second); });
    }
    if (forProber.isEmpty())
        return;
    QMetaObject::invokeMethod(
        prober, [prober = prober, forProber] { prober->probeAll(forProber); },
        Qt::QueuedConnection);
}

void PingManager::pingHost(int id, const QString &hostname)
{
    if (!PingOutput::isPlainHost(hostname)) {
        collect(id, 0);
        return;
    }
    const QByteArray output = Platform::runForOutput(commands.ping(hostname), probeTimeoutMs);
    const int end = output.indexOf('\0');
    collect(id, PingOutput::averageMs(QString::fromLatin1(end < 0 ? output : output.left(end))));
}

// From the probing threads: the first result of a batch asks the owner's thread, once, to hand
// the batch over a little later.
void PingManager::collect(int id, int ping)
{
    QMutexLocker locker(&collectedLock);
    collected.append({id, ping});
    if (collected.size() == 1)
        QMetaObject::invokeMethod(batchTimer, qOverload<>(&QTimer::start), Qt::QueuedConnection);
}

void PingManager::flush()
{
    QVector<Platform::LatencyResult> results;
    {
        QMutexLocker locker(&collectedLock);
        results.swap(collected);
    }
    if (!results.isEmpty())
        emit pingsReceived(results);
}
