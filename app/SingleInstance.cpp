#include "SingleInstance.h"

#include <QDateTime>
#include <QFileInfo>
#include <QSysInfo>

namespace {

// A starting copy writes its owner right after making the lock, so an
// unreadable lock older than this was left by a copy that died in between.
constexpr qint64 UnreadableLockMs = 5000;

} // namespace

SingleInstance::SingleInstance(const QString &lockPath)
    : m_path(lockPath)
    , m_lock(lockPath) {
    // Only a dead owner makes the lock stale: the program runs for hours, so
    // an age limit would let a second copy in while the first still runs.
    m_lock.setStaleLockTime(0);
}

SingleInstance::Outcome SingleInstance::acquire() {
    if (m_lock.isLocked() || m_lock.tryLock(0))
        return Outcome::Acquired;
    if (m_lock.error() != QLockFile::LockFailedError)
        return Outcome::Unavailable;
    if (stale() && m_lock.removeStaleLockFile() && m_lock.tryLock(0))
        return Outcome::Acquired;
    return m_lock.error() == QLockFile::LockFailedError ? Outcome::AlreadyRunning
                                                        : Outcome::Unavailable;
}

bool SingleInstance::stale() const {
    qint64 pid = 0;
    QString host;
    QString application;
    // QLockFile never judges a lock from another host stale, as it cannot see
    // that host's processes; but no other host shares the runtime folder.
    if (m_lock.getLockInfo(&pid, &host, &application))
        return host != QSysInfo::machineHostName();
    // Either way round: a clock set back leaves the lock's time in the future.
    const QDateTime modified = QFileInfo(m_path).lastModified();
    return modified.isValid() &&
           qAbs(modified.msecsTo(QDateTime::currentDateTime())) >= UnreadableLockMs;
}
