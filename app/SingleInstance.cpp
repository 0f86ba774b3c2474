#include "SingleInstance.h"

SingleInstance::SingleInstance(const QString &lockPath)
    : m_lock(lockPath) {
    // Only a dead owner makes the lock stale: the program runs for hours, so
    // an age limit would let a second copy in while the first still runs.
    m_lock.setStaleLockTime(0);
}

bool SingleInstance::acquire() {
    if (m_lock.isLocked() || m_lock.tryLock(0))
        return true;
    return m_lock.error() != QLockFile::LockFailedError;
}
