#pragma once

#include "SimClock.h"

#include <QElapsedTimer>

// Milliseconds since the clock was made, from the monotonic system clock.
class ElapsedClock : public SimClock {
public:
    ElapsedClock() { m_timer.start(); }
    qint64 nowMs() const override { return m_timer.elapsed(); }

private:
    QElapsedTimer m_timer;
};
