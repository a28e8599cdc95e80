#pragma once

#include "platform/CommandSet.h"

#include <QObject>
#include <QString>

class QThreadPool;

// Measures servers' latency with the system ping tool, one probe a task. Results arrive in the
// order the probes finish, emitted from the probing thread.
class PingManager : public QObject {
    Q_OBJECT

public:
    explicit PingManager(QObject *parent = nullptr,
                         const Platform::CommandSet &commands = Platform::CommandSet::native());
    ~PingManager() override;

    // Probes mostly wait for the tool, so the pool is sized for waiting processes, not cores.
    static constexpr int maxConcurrentProbes = 64;

public slots:
    void requestPing(int id, QString hostname);

signals:
    void pingReceived(int id, int receivedPing);

private:
    void pingHost(const int &id, const QString &hostname);

    Platform::CommandSet commands;
    QThreadPool *pool;
};
