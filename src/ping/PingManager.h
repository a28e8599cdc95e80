#pragma once

#include "ping/IcmpProber.h"
#include "platform/CommandSet.h"

#include <QMutex>
#include <QObject>
#include <QPair>
#include <QString>
#include <QVector>

class QThread;
class ToolRunner;
class QTimer;

// Measures servers' latency: with ICMP echo from one thread (IcmpProber) where the
// system lets the program do so, else with the system ping tool, many at once. Results reach
// the caller's thread in batches, in the order the probes finish.
class PingManager : public QObject {
    Q_OBJECT

public:
    enum class Method { Automatic, Tool };

    // Automatic: ICMP sockets where the Linux command set runs and they are allowed, else the
    // tool. Tests that stand fake tools in choose Tool.
    static void setDefaultMethod(Method method);

    explicit PingManager(QObject *parent = nullptr,
                         const Platform::CommandSet &commands = Platform::CommandSet::inUse());
    ~PingManager() override;

    // Probes mostly wait for the network: this many tools run at once, the rest wait their turn.
    static constexpr int maxConcurrentProbes = 64;
    static constexpr int batchIntervalMs = 150;
    // The tool gives up on a host after a few seconds by itself; one that hangs is stopped.
    static constexpr int probeTimeoutMs = 15000;

    bool usesIcmpSockets() const { return prober != nullptr; }

    using Request = QPair<int, QString>;

public slots:
    void requestPing(int id, QString hostname);
    // A whole sweep in one call: server id and host name or address each.
    void requestPings(const QVector<PingManager::Request> &requests);

signals:
    void pingsReceived(QVector<Platform::LatencyResult> results);

private:
    void startWaitingProbes();
    void probeFinished(int id, const QByteArray &output);
    void collect(int id, int ping);
    void flush();

    Platform::CommandSet commands;
    // The tools run from a thread of their own, which reads their output as it comes.
    QThread *runnerThread;
    ToolRunner *runner;
    QVector<Request> waitingForTool;
    int probesRunning = 0;
    QThread *proberThread = nullptr;
    IcmpProber *prober = nullptr;
    QTimer *batchTimer;
    QMutex collectedLock;
    QVector<Platform::LatencyResult> collected;
};
