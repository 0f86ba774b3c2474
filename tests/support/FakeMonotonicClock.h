#pragma once

#include "Cancellation.h"
#include "FakeClock.h"
#include "MonotonicClock.h"

#include <atomic>
#include <functional>

// Monotonic time that moves only when the code under test sleeps: a sleep
// jumps to its end at once, unless the cancellation stops it first. The wall
// clock, if given, moves along with it.
class FakeMonotonicClock : public MonotonicClock {
public:
    explicit FakeMonotonicClock(FakeClock *wall = nullptr)
        : m_wall(wall) {}

    TimePoint now() const override { return m_now.load(); }
    bool sleepUntil(TimePoint until, const Cancellation &stop) const override {
        ++sleeps;
        if (onSleep)
            onSleep();
        if (stop.cancelled())
            return false;
        if (until > now())
            const_cast<FakeMonotonicClock *>(this)->advance(until - now());
        return true;
    }
    void advance(TimePoint::duration by) {
        using std::chrono::milliseconds;
        const TimePoint before = now();
        const TimePoint after = before + by;
        m_now = after;
        if (m_wall)
            m_wall->advanceMs((std::chrono::duration_cast<milliseconds>(after.time_since_epoch()) -
                               std::chrono::duration_cast<milliseconds>(before.time_since_epoch()))
                                  .count());
    }

    // Runs at the start of every sleep: a test's user acting while the code waits.
    std::function<void()> onSleep;
    mutable int sleeps = 0;

private:
    FakeClock *m_wall;
    // Read by the silence alarm's thread too.
    std::atomic<TimePoint> m_now{TimePoint{}};
};
