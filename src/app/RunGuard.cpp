#include "app/RunGuard.h"

#include <QCryptographicHash>

QString RunGuard::deriveGuardKey(const QString &key, const QString &salt)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(key.toUtf8());
    hash.addData(salt.toUtf8());
    return QString::fromLatin1(hash.result().toHex());
}

RunGuard::RunGuard(const QString &key)
    : key(key)
    , memLockKey(deriveGuardKey(key, QStringLiteral("_memLockKey")))
    , sharedMemKey(deriveGuardKey(key, QStringLiteral("_sharedmemKey")))
    , sharedMem(sharedMemKey)
    , memLock(memLockKey, 1, QSystemSemaphore::Open)
{
    // Attaching and detaching once lets the system drop a segment that a crashed holder left.
    memLock.acquire();
    {
        QSharedMemory staleSegment(sharedMemKey);
        staleSegment.attach();
    }
    memLock.release();
}

RunGuard::~RunGuard()
{
    release();
}

bool RunGuard::isAnotherInstanceRunning()
{
    if (sharedMem.isAttached())
        return false;
    memLock.acquire();
    const bool attached = sharedMem.attach();
    if (attached)
        sharedMem.detach();
    else if (sharedMem.error() != QSharedMemory::NotFound)
        failure = sharedMem.errorString();
    memLock.release();
    return attached;
}

bool RunGuard::tryToAcquire()
{
    failure.clear();
    if (memLock.error() != QSystemSemaphore::NoError) {
        failure = memLock.errorString();
        return false;
    }
    if (isAnotherInstanceRunning() || !failure.isEmpty())
        return false;
    memLock.acquire();
    const bool created = sharedMem.create(8);
    // Created meanwhile by a copy that started at the same moment: that copy runs.
    if (!created && sharedMem.error() != QSharedMemory::AlreadyExists)
        failure = sharedMem.errorString();
    memLock.release();
    if (!created) {
        release();
        return false;
    }
    return true;
}

void RunGuard::release()
{
    memLock.acquire();
    if (sharedMem.isAttached())
        sharedMem.detach();
    memLock.release();
}
