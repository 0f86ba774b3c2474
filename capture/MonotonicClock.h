#pragma once

#include <chrono>

class Cancellation;

// The clock that every deadline and pause of a run reads, behind an interface
// so that the waits and the not-answering rule are tested in fake time. Its
// sleeps end early when a Stop cancels them.
class MonotonicClock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~MonotonicClock() = default;
    virtual TimePoint now() const = 0;
    // Sleeps until `until`; false when `stop` was cancelled first or meanwhile.
    virtual bool sleepUntil(TimePoint until, const Cancellation &stop) const = 0;

    bool sleepFor(std::chrono::steady_clock::duration duration, const Cancellation &stop) const {
        return sleepUntil(now() + duration, stop);
    }
};

// The system's steady clock; a sleep is one poll() on the cancellation's
// descriptor, so nothing spins and a Stop wakes it at once.
class SteadyClock final : public MonotonicClock {
public:
    TimePoint now() const override { return std::chrono::steady_clock::now(); }
    bool sleepUntil(TimePoint until, const Cancellation &stop) const override;
};
