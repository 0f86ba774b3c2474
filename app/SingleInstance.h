#pragma once

#include <QLockFile>

// Keeps a second copy of the program from running: a lock file held for the
// program's lifetime. A lock left behind by a copy that was killed names a
// process that no longer exists, so the next start takes it over; so does a
// lock whose owner cannot be read (a copy killed while writing it) once it is
// a few seconds old, and a lock made on another host.
class SingleInstance {
public:
    enum class Outcome { Acquired, AlreadyRunning, Unavailable };

    explicit SingleInstance(const QString &lockPath);

    // Acquired: the lock is held until this object goes away. Unavailable: the
    // lock cannot be made at all, and the program must not run unguarded.
    Outcome acquire();

private:
    bool stale() const;

    QString m_path;
    QLockFile m_lock;
};
