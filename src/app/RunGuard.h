#pragma once

#include <QSharedMemory>
#include <QString>
#include <QSystemSemaphore>

// Lets only one copy of the program run on the machine: the running copy holds a shared-memory
// segment whose existence is the lock, and a named semaphore serialises every create, attach and
// detach of it across processes.
class RunGuard final {
public:
    explicit RunGuard(const QString &key);
    ~RunGuard();

    RunGuard(const RunGuard &) = delete;
    RunGuard &operator=(const RunGuard &) = delete;

    bool isAnotherInstanceRunning();
    // False when another copy holds the guard, or when the guard cannot be had at all; then
    // problem() says why, and the program runs unguarded rather than not at all.
    bool tryToAcquire();
    void release();
    QString problem() const { return failure; }

    QString semaphoreName() const { return memLockKey; }
    QString segmentName() const { return sharedMemKey; }

    static QString deriveGuardKey(const QString &key, const QString &salt);

private:
    const QString key;
    const QString memLockKey;
    const QString sharedMemKey;
    QSharedMemory sharedMem;
    QSystemSemaphore memLock;
    QString failure;
};
