#include "MonotonicClock.h"

#include "Cancellation.h"

#include <cerrno>
#include <ctime>

#include <poll.h>

using namespace std::chrono;

bool SteadyClock::sleepUntil(TimePoint until, const Cancellation &stop) const {
    for (;;) {
        if (stop.cancelled())
            return false;
        const auto left = until - steady_clock::now();
        if (left <= steady_clock::duration::zero())
            return true;
        // ppoll, not poll: the pace of the polls is set in fractions of a
        // millisecond.
        const auto whole = duration_cast<seconds>(left);
        const timespec timeout{static_cast<time_t>(whole.count()),
                               static_cast<long>(duration_cast<nanoseconds>(left - whole).count())};
        pollfd watched{stop.descriptor(), POLLIN, 0};
        ::ppoll(&watched, 1, &timeout, nullptr);
    }
}
