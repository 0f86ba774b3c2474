#pragma once

#include <QLockFile>

// Keeps a second copy of the program from running: a lock file held for the
// program's lifetime. A lock left behind by a copy that was killed names a
// process that no longer exists, so the next start takes it over.
class SingleInstance {
public:
    explicit SingleInstance(const QString &lockPath);

    // False only when another running copy holds the lock. Otherwise the lock
    // is held until this object goes away; a lock that cannot be written at
    // all (a read-only settings folder) keeps nobody out.
    bool acquire();

private:
    QLockFile m_lock;
};
