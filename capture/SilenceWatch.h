#pragma once

#include "MonotonicClock.h"

#include <QString>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

class Run;

// Within a run, exchanges that have gone unanswered for two seconds replace
// the status with "N: Scope not answering", so a dead link does not look like
// a wait for a trigger; the dots go on behind it, and the first answer puts
// the status back.
//
// The run thread checks between the retries of a failed exchange. A retry
// that itself blocks for long (a new connection to a hung scope may wait
// seconds for its first reply) is covered by an alarm on a thread of its
// own, armed only once an exchange has failed, so answered exchanges cost it
// nothing.
class SilenceWatch {
public:
    static constexpr std::chrono::milliseconds NotAnswering{2000};
    // Told when the not-answering text goes up (answering false) and when an
    // answer puts the status back, with how long the scope was silent. It is
    // called from the run thread, or from the alarm's while the run thread
    // is held up in a call.
    using Watcher = std::function<void(bool answering, std::chrono::milliseconds silent)>;

    SilenceWatch(Run &run, const MonotonicClock &clock);
    ~SilenceWatch();
    SilenceWatch(const SilenceWatch &) = delete;
    SilenceWatch &operator=(const SilenceWatch &) = delete;

    // An exchange goes out: the silence starts now unless it already runs.
    void attempting();
    void answered();
    // Outside a run nothing is watched.
    void forget();
    // Between retries: shows the text once the silence has lasted long
    // enough, or arms the alarm for then.
    void check();
    void watchWith(Watcher watcher);

private:
    void tell(bool answering);

    bool showIfDue();
    void watch();

    Run &m_run;
    const MonotonicClock &m_clock;
    std::mutex m_lock;
    std::condition_variable m_armed;
    std::optional<MonotonicClock::TimePoint> m_unansweredSince;
    // The status the not-answering text replaced; null while it does not stand.
    QString m_textBeforeSilence;
    bool m_alarmArmed = false;
    bool m_quitting = false;
    Watcher m_watcher;
    std::thread m_alarm;
};
