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
    memLock.release();
    return attached;
}

bool RunGuard::tryToAcquire()
{
    if (isAnotherInstanceRunning())
        return false;
    memLock.acquire();
    const bool created = sharedMem.create(8);
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
