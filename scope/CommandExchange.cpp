#include "CommandExchange.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float RetryPause = 0.1f;
constexpr float SecondsPerDay = 86400.0f;
// The longest a wait blocks for new events before it looks at the clock again.
// Any event, Stop's click among them, ends the block at once, so this only
// sets how often a long wait draws a dot: each costs a repaint, and at 10 ms
// a five-second delay took 2.8 % of a core.
constexpr int WakeUpMs = 50;
constexpr int DotsThatCollapse = 10;

// How long one pass of a wait may block, so the last pass ends close to the
// end instead of overshooting it by a whole wake-up.
int wakeUpFor(float remainingSeconds) {
    const float ms = std::ceil(remainingSeconds * 1000.0f);
    return std::clamp(static_cast<int>(std::min(ms, float(WakeUpMs))), 1, WakeUpMs);
}

} // namespace

// Error reporting is off while an exchange runs and back on when it ends,
// also when an exception leaves it.
class CommandExchange::ReportingOff {
public:
    explicit ReportingOff(CommandExchange &exchange)
        : m_exchange(exchange) {
        switchOff();
    }
    ~ReportingOff() {
        m_exchange.m_instrument.setErrorReporting(true);
        ++m_exchange.m_exchangesEnded;
    }
    ReportingOff(const ReportingOff &) = delete;
    ReportingOff &operator=(const ReportingOff &) = delete;

    // A nested exchange (Stop's, run from one of our pumps) switches reporting
    // on when it ends; the next attempt here must not then throw.
    void beforeRetry() {
        if (m_seen != m_exchange.m_exchangesEnded)
            switchOff();
    }

private:
    void switchOff() {
        m_exchange.m_instrument.setErrorReporting(false);
        m_seen = m_exchange.m_exchangesEnded;
    }

    CommandExchange &m_exchange;
    quint64 m_seen = 0;
};

CommandExchange::CommandExchange(Instrument &instrument, ExchangeHost &host, const Clock &clock)
    : m_instrument(instrument)
    , m_host(host)
    , m_clock(clock) {}

void CommandExchange::scopeWrite(const QString &command, int maxAttempts) {
    ReportingOff reporting(*this);
    for (int attempts = 1;; ++attempts) {
        m_instrument.write(command);
        if (m_instrument.status() >= 0)
            return;
        if (maxAttempts != Unlimited && attempts >= maxAttempts)
            return;
        waitSeconds(RetryPause);
        if (m_host.startEnabled())
            return;
        showProgressDot();
        if (m_instrument.status() >= 0)
            return;
        reporting.beforeRetry();
    }
}

QString CommandExchange::scopeQuery(const QString &command) {
    ReportingOff reporting(*this);
    for (;;) {
        const QString reply = m_instrument.query(command);
        if (m_instrument.status() >= 0)
            return reply;
        waitSeconds(RetryPause);
        if (m_host.startEnabled())
            return reply;
        showProgressDot();
        reporting.beforeRetry();
    }
}

void CommandExchange::waitSeconds(float seconds) {
    if (!(seconds > 0.0f))
        return;
    const float start = m_clock.secondsSinceMidnight();
    float end = start + seconds;
    if (end >= SecondsPerDay) {
        // The clock restarts at zero at midnight: first wait for it to wrap.
        // Comparing with the start reading rather than end - seconds keeps
        // single-precision rounding from ending the wait before midnight.
        for (float now = start; !(now < start) && !m_host.ending();
             now = m_clock.secondsSinceMidnight())
            pumpUntil(now, SecondsPerDay, seconds);
        end -= SecondsPerDay;
    }
    for (float now = m_clock.secondsSinceMidnight(); !(now > end) && !m_host.ending();
         now = m_clock.secondsSinceMidnight())
        pumpUntil(now, end, seconds);
}

void CommandExchange::pumpUntil(float now, float end, float seconds) {
    if (seconds > 1.0f)
        showProgressDot();
    m_host.pumpEvents(wakeUpFor(end - now));
}

void CommandExchange::showProgressDot() {
    static const QString collapsingRow(DotsThatCollapse, QLatin1Char('.'));
    QString text = m_host.statusText() + QLatin1Char('.');
    if (text.contains(collapsingRow))
        text.chop(DotsThatCollapse - 1);
    m_host.setStatusText(text);
    m_host.pumpEvents(0);
}
