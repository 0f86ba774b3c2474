#pragma once

#include <QtGlobal>

// Monotonic time for the simulated scope, behind an interface so that tests
// move it by hand instead of waiting for triggers and saves.
class SimClock {
public:
    virtual ~SimClock() = default;
    virtual qint64 nowMs() const = 0;
};
