#include "CommandExchange.h"

#include "Cancellation.h"
#include "StatusText.h"

#include <algorithm>
#include <cmath>

using namespace std::chrono;

namespace {

constexpr int Failed = -1;
constexpr float RetryPause = 0.1f;
constexpr float SecondsPerDay = 86400.0f;
// The longest a wait blocks for new events before it looks at the clock again.
// Any event, Stop's click among them, ends the block at once, and so does the
// end of the call waited for, so this only sets how often a long wait draws a
// dot and checks that the scope still answers.
constexpr int WakeUpMs = 50;
constexpr int DotsThatCollapse = 10;
// How long Stop lets the call in flight finish before cutting it short: a
// responsive scope answers well within it, so the wire sees the call whole.
constexpr milliseconds StopGrace{50};

// How long one pass of a wait may block, so the last pass ends close to the
// end instead of overshooting it by a whole wake-up.
int wakeUpFor(float remainingSeconds) {
    const float ms = std::ceil(remainingSeconds * 1000.0f);
    return std::clamp(static_cast<int>(std::min(ms, float(WakeUpMs))), 1, WakeUpMs);
}

} // namespace

CommandExchange::CommandExchange(Instrument &instrument, ExchangeHost &host, const Clock &clock,
                                 IoExecutor &io)
    : m_instrument(instrument)
    , m_host(host)
    , m_clock(clock)
    , m_io(io) {}

bool CommandExchange::abandoned(bool runWasActive) const {
    return m_host.ending() || (runWasActive && m_host.startEnabled());
}

bool CommandExchange::await(IoExecutor::Job job) {
    const bool runWasActive = !m_host.startEnabled();
    const IoExecutor::Ticket ticket = m_io.submit(std::move(job));
    const IoExecutor::Ticket outer = std::exchange(m_inFlight, ticket);
    bool done = true;
    while (!m_io.finished(ticket)) {
        if (abandoned(runWasActive)) {
            m_io.cancel(ticket);
            done = false;
            break;
        }
        m_host.pumpEvents(WakeUpMs);
        if (runWasActive)
            watchSilence();
    }
    m_inFlight = outer;
    return done;
}

void CommandExchange::sendLater(std::function<void(Instrument &)> operation) {
    if (m_inFlight != 0 && !m_io.waitFinished(m_inFlight, StopGrace))
        m_io.cancel(m_inFlight);
    Instrument &instrument = m_instrument;
    m_io.submit([operation = std::move(operation), &instrument] { operation(instrument); });
}

std::optional<CommandExchange::Attempt> CommandExchange::attempt(const QString &command, bool query,
                                                                 milliseconds pause) {
    if (!m_unansweredSince.isValid())
        m_unansweredSince = m_clock.now();
    const auto outcome = onInstrument<Attempt>([command, query, pause](Instrument &scope) {
        Attempt tried{Failed, {}, false};
        if (!Cancellation::pause(pause))
            return tried;
        scope.setErrorReporting(false);
        try {
            if (query)
                tried.reply = scope.query(command);
            else
                scope.write(command);
        } catch (...) {
            scope.setErrorReporting(true);
            throw;
        }
        tried.status = scope.status();
        scope.setErrorReporting(true);
        tried.reconnected = scope.takeReconnected();
        return tried;
    });
    if (outcome)
        answered(*outcome);
    // Silence counts only within a run, and only until it is stopped.
    if (!outcome || m_host.startEnabled()) {
        m_unansweredSince = QDateTime();
        m_textBeforeSilence = QString();
    }
    return outcome;
}

void CommandExchange::answered(const Attempt &outcome) {
    m_lastStatus = outcome.status;
    m_reconnected = m_reconnected || outcome.reconnected;
    if (outcome.status < 0)
        return;
    m_unansweredSince = QDateTime();
    if (!m_textBeforeSilence.isNull())
        m_host.setStatusText(std::exchange(m_textBeforeSilence, QString()));
}

// Inside a run, exchanges that have failed or hung for a while replace the
// status with a text that says so; the dots go on behind it.
void CommandExchange::watchSilence() {
    if (!m_unansweredSince.isValid() || !m_textBeforeSilence.isNull() ||
        m_unansweredSince.msecsTo(m_clock.now()) < NotAnsweringMs)
        return;
    m_textBeforeSilence = m_host.statusText();
    m_host.setStatusText(leadingNumber(m_textBeforeSilence) +
                         QStringLiteral(": Scope not answering"));
}

void CommandExchange::scopeWrite(const QString &command, int maxAttempts) {
    for (int attempts = 1;; ++attempts) {
        const auto outcome = attempt(command, false, 0ms);
        if (!outcome || outcome->status >= 0)
            return;
        if (maxAttempts != Unlimited && attempts >= maxAttempts)
            return;
        waitSeconds(RetryPause);
        if (m_host.startEnabled())
            return;
        watchSilence();
        showProgressDot();
        // A Stop run from the dot's pump ends the retries too.
        if (m_host.startEnabled() || m_lastStatus >= 0)
            return;
    }
}

QString CommandExchange::scopeQuery(const QString &command, milliseconds pause) {
    QString reply;
    for (;;) {
        const auto outcome = attempt(command, true, pause);
        if (!outcome)
            return reply;
        reply = outcome->reply;
        if (outcome->status >= 0)
            return reply;
        waitSeconds(RetryPause);
        if (m_host.startEnabled())
            return reply;
        watchSilence();
        showProgressDot();
        if (m_host.startEnabled())
            return reply;
    }
}

void CommandExchange::waitSeconds(float seconds) {
    if (!(seconds > 0.0f))
        return;
    const bool runWasActive = !m_host.startEnabled();
    const auto over = [&] { return abandoned(runWasActive); };
    const float start = m_clock.secondsSinceMidnight();
    float end = start + seconds;
    if (end >= SecondsPerDay) {
        // The clock restarts at zero at midnight: first wait for it to wrap.
        // Comparing with the start reading rather than end - seconds keeps
        // single-precision rounding from ending the wait before midnight.
        for (float now = start; !(now < start) && !over(); now = m_clock.secondsSinceMidnight())
            pumpUntil(now, SecondsPerDay, seconds);
        end -= SecondsPerDay;
    }
    for (float now = m_clock.secondsSinceMidnight(); !(now > end) && !over();
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
