#pragma once

#include "platform/CommandSet.h"
#include "platform/IcmpProber.h"

#include <QMutex>
#include <QObject>
#include <QPair>
#include <QString>
#include <QVector>

class QThread;
class QThreadPool;
class QTimer;

// Measures servers' latency: with ICMP echo from one thread (Platform::IcmpProber) where the
// system lets the program do so, else with the system ping tool, one probe a task. Results reach
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

    // Probes mostly wait for the tool, so the pool is sized for waiting processes, not cores.
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
    void pingHost(int id, const QString &hostname);
    void collect(int id, int ping);
    void flush();

    Platform::CommandSet commands;
    QThreadPool *pool;
    QThread *proberThread = nullptr;
    Platform::IcmpProber *prober = nullptr;
    QTimer *batchTimer;
    QMutex collectedLock;
    QVector<Platform::LatencyResult> collected;
};
