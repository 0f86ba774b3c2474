#pragma once

#include <QtGlobal>

// CPU time and memory of processes, from the kernel's own accounting.
class ProcessUsage {
public:
    // User plus system CPU seconds of this process, all threads.
    static double ownCpuSeconds();
    // The same for another process, in nanoseconds from the scheduler's
    // accounting of each thread, or else in ticks from /proc/<pid>/stat;
    // 0 if unreadable.
    static double cpuSecondsOf(qint64 pid);
    // Resident set of this process in MiB, from /proc/self/statm.
    static double ownResidentMiB();
};
