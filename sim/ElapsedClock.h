#pragma once

#include "SimClock.h"

#include <time.h>

// Milliseconds since the clock was made, from CLOCK_MONOTONIC, so that
// another process can place the scope's events on its own clock.
class ElapsedClock : public SimClock {
public:
    ElapsedClock()
        : m_startUs(monotonicUs()) {}
    qint64 nowMs() const override { return (monotonicUs() - m_startUs) / 1000; }
    // The monotonic time at which nowMs() first reached `ms`.
    qint64 monotonicUsAt(qint64 ms) const { return m_startUs + ms * 1000; }

    static qint64 monotonicUs() {
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        return qint64(now.tv_sec) * 1'000'000 + now.tv_nsec / 1000;
    }

private:
    const qint64 m_startUs;
};
