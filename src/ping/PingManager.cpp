#include "ping/PingManager.h"

#include "ping/PingOutput.h"
#include "platform/ToolRunner.h"

#include <QHostAddress>
#include <QThread>
#include <QTimer>

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
    , runnerThread(new QThread(this))
    , runner(new ToolRunner)
    , batchTimer(new QTimer(this))
{
    // Probes wait on the network, not the processor: the pages come first.
    runner->setToolsYield(true);
    runner->moveToThread(runnerThread);
    connect(runnerThread, &QThread::finished, runner, &QObject::deleteLater);
    connect(runner, &ToolRunner::finished, this, &PingManager::probeFinished);
    runnerThread->start();
    batchTimer->setSingleShot(true);
    batchTimer->setInterval(batchIntervalMs);
    connect(batchTimer, &QTimer::timeout, this, &PingManager::flush);
    if (defaultMethod() != Method::Automatic ||
        commands.kind() != Platform::CommandSet::Kind::Linux)
        return;
    auto *icmp = new IcmpProber;
    if (!icmp->isOpen()) {
        delete icmp;
        return;
    }
    prober = icmp;
    proberThread = new QThread(this);
    prober->moveToThread(proberThread);
    connect(proberThread, &QThread::finished, prober, &QObject::deleteLater);
    connect(prober, &IcmpProber::measured, this, &PingManager::pingsReceived);
    proberThread->start();
}

// Probes that have not started are dropped, and those under way stopped.
PingManager::~PingManager()
{
    runnerThread->quit();
    runnerThread->wait();
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
        else if (!PingOutput::isPlainHost(request.second))
            collect(request.first, 0);
        else
            waitingForTool.append(request);
    }
    startWaitingProbes();
    if (forProber.isEmpty())
        return;
    QMetaObject::invokeMethod(
        prober, [prober = prober, forProber] { prober->probeAll(forProber); },
        Qt::QueuedConnection);
}

void PingManager::startWaitingProbes()
{
    while (probesRunning < maxConcurrentProbes && !waitingForTool.isEmpty()) {
        const Request request = waitingForTool.takeFirst();
        const Platform::Invocation ping = commands.ping(request.second);
        ++probesRunning;
        QMetaObject::invokeMethod(
            runner,
            [runner = runner, id = request.first, ping] { runner->run(id, ping, probeTimeoutMs); },
            Qt::QueuedConnection);
    }
}

void PingManager::probeFinished(int id, const QByteArray &output)
{
    --probesRunning;
    const int end = output.indexOf('\0');
    collect(id, PingOutput::averageMs(QString::fromLatin1(end < 0 ? output : output.left(end))));
    startWaitingProbes();
}

// The first result of a batch asks the owner's thread, once, to hand the batch over a little
// later.
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
