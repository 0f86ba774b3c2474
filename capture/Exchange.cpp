#include "Exchange.h"

#include "Cancellation.h"
#include "Instrument.h"
#include "Run.h"

using namespace std::chrono;

namespace {

constexpr milliseconds RetryPause{100};
// A wait over a second shows a dot this often.
constexpr milliseconds DotEvery{100};

} // namespace

Exchange::Exchange(Instrument &instrument, Run &run, const MonotonicClock &clock,
                   const Cancellation &stop)
    : m_instrument(instrument)
    , m_run(run)
    , m_clock(clock)
    , m_stop(stop)
    , m_silence(run, clock) {}

// One write (reply null) or query; the instrument's status.
int Exchange::attempt(const QString &command, QString *reply, bool keepReply) {
    m_silence.attempting();
    m_instrument.setErrorReporting(false);
    try {
        if (reply && keepReply)
            *reply = m_instrument.query(command);
        else if (reply)
            m_instrument.queryAndDrop(command);
        else
            m_instrument.write(command);
    } catch (...) {
        m_instrument.setErrorReporting(true);
        throw;
    }
    const int status = m_instrument.status();
    m_instrument.setErrorReporting(true);
    m_reconnected = m_instrument.takeReconnected() || m_reconnected;
    if (status >= 0)
        m_silence.answered();
    // Silence counts only within a run, and only until it is stopped.
    if (m_run.stopped())
        m_silence.forget();
    return status;
}

void Exchange::scopeWrite(const QString &command, int maxAttempts) {
    for (int attempts = 1;; ++attempts) {
        if (attempt(command, nullptr) >= 0)
            return;
        if (maxAttempts != Unlimited && attempts >= maxAttempts)
            return;
        // The status is read again after the pause: a write that went
        // through late is not written twice.
        if (!pauseBeforeRetry() || m_instrument.status() >= 0)
            return;
    }
}

QString Exchange::scopeQuery(const QString &command, bool keepReply) {
    QString reply;
    while (attempt(command, &reply, keepReply) < 0 && pauseBeforeRetry()) {
    }
    return reply;
}

// The pause, run check and dot between two attempts of a failed exchange;
// false when the exchange is to be given up.
bool Exchange::pauseBeforeRetry() {
    if (!pause(RetryPause) || m_run.stopped())
        return false;
    m_silence.check();
    m_run.addProgressDots(1);
    // A Stop that came as the dot was shown ends the retries too.
    return !m_run.stopped();
}

bool Exchange::pause(steady_clock::duration duration) {
    return m_clock.sleepFor(duration, m_stop);
}

void Exchange::waitSeconds(float seconds) {
    if (!(seconds > 0.0f))
        return;
    const auto end = m_clock.now() + duration_cast<steady_clock::duration>(
                                         duration<double>(static_cast<double>(seconds)));
    for (auto now = m_clock.now(); now < end; now = m_clock.now()) {
        if (seconds > 1.0f)
            m_run.addProgressDots(1);
        if (!m_clock.sleepUntil(std::min(end, now + DotEvery), m_stop))
            return;
    }
}
