#pragma once

#include <QObject>
#include <atomic>
#include <thread>

// How long the window's event loop leaves work waiting, measured from
// another thread: it posts a call to the window's thread, waits until that
// ran, notes the wait, pauses 2 ms and posts again. The longest wait is the
// longest stall a user could have met. The posts wake the event loop, so the
// probe runs only where CPU time is not being measured.
class StallProbe {
public:
    // `target` lives in the window's thread.
    explicit StallProbe(QObject &target);
    ~StallProbe();
    StallProbe(const StallProbe &) = delete;
    StallProbe &operator=(const StallProbe &) = delete;

    // Seconds; a call still waiting counts up to now.
    double longestSeconds() const;

private:
    void run();

    QObject &m_target;
    std::atomic<bool> m_stop{false};
    std::atomic<long long> m_longestNs{0};
    std::atomic<long long> m_pendingSinceNs{0};
    std::thread m_thread;
};
