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
// dot. Each pass costs the window a wake-up.
constexpr int WakeUpMs = 100;
// While a call is in flight nothing but the clock needs the window awake: the
// call's end and every event wake it. It looks again at least this often.
constexpr int CallWakeUpMs = 1000;
constexpr int DotsThatCollapse = 10;
// How long Stop lets the call in flight finish before cutting it short: a
// responsive scope answers well within it, so the wire sees the call whole.
constexpr milliseconds StopGrace{50};
// A responsive scope answers within this: the window waits for it blocked,
// which is far cheaper than a pass of the event loop per exchange.
constexpr milliseconds QuickAnswer{1};

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
    m_io.waitFinished(ticket, QuickAnswer);
    while (!m_io.finished(ticket)) {
        if (abandoned(runWasActive)) {
            m_io.cancel(ticket);
            done = false;
            break;
        }
        m_host.pumpEvents(runWasActive ? untilSilenceShows() : CallWakeUpMs);
        if (runWasActive)
            watchSilence();
    }
    m_inFlight = outer;
    return done;
}

void CommandExchange::sendLater(std::function<void(Instrument &)> operation) {
    // A batch of polls ends at its next poll; a single call is let finish.
    m_windDown->store(true);
    if (m_inFlight != 0 && !m_io.waitFinished(m_inFlight, StopGrace))
        m_io.cancel(m_inFlight);
    Instrument &instrument = m_instrument;
    m_io.submit([operation = std::move(operation), &instrument] { operation(instrument); });
}

std::optional<CommandExchange::Attempt> CommandExchange::attempt(const QString &command, bool query,
                                                                 const Polling &polling) {
    if (!m_unansweredSince)
        m_unansweredSince = steady_clock::now();
    m_windDown = std::make_shared<std::atomic<bool>>(false);
    const auto outcome =
        onInstrument<Attempt>([command, query, polling, windDown = m_windDown](Instrument &scope) {
            const auto end = steady_clock::now() + polling.batch;
            Attempt tried{Failed, {}, false, 0};
            for (;;) {
                if (!Cancellation::pause(polling.pause))
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
                if (tried.status < 0 || tried.reconnected)
                    return tried;
                ++tried.answers;
                if (tried.reply == polling.until || steady_clock::now() >= end || windDown->load())
                    return tried;
            }
        });
    if (outcome)
        answered(*outcome);
    // Silence counts only within a run, and only until it is stopped.
    if (!outcome || m_host.startEnabled()) {
        m_unansweredSince.reset();
        m_textBeforeSilence = QString();
    }
    return outcome;
}

void CommandExchange::answered(const Attempt &outcome) {
    m_lastStatus = outcome.status;
    m_reconnected = m_reconnected || outcome.reconnected;
    if (outcome.status < 0)
        return;
    m_unansweredSince.reset();
    if (!m_textBeforeSilence.isNull())
        m_host.setStatusText(std::exchange(m_textBeforeSilence, QString()));
}

// Inside a run, exchanges that have failed or hung for a while replace the
// status with a text that says so; the dots go on behind it.
void CommandExchange::watchSilence() {
    const auto due = silenceDue();
    if (!due || steady_clock::now() < *due)
        return;
    m_textBeforeSilence = m_host.statusText();
    m_host.setStatusText(leadingNumber(m_textBeforeSilence) +
                         QStringLiteral(": Scope not answering"));
}

// When the not-answering text is to replace the status, if it is to.
std::optional<steady_clock::time_point> CommandExchange::silenceDue() const {
    if (!m_unansweredSince || !m_textBeforeSilence.isNull())
        return std::nullopt;
    return *m_unansweredSince + milliseconds(NotAnsweringMs);
}

// How long the window may sleep before the not-answering text is due.
int CommandExchange::untilSilenceShows() const {
    const auto due = silenceDue();
    if (!due)
        return CallWakeUpMs;
    const auto left = ceil<milliseconds>(*due - steady_clock::now());
    return int(std::clamp<milliseconds::rep>(left.count(), 1, CallWakeUpMs));
}

void CommandExchange::scopeWrite(const QString &command, int maxAttempts) {
    for (int attempts = 1;; ++attempts) {
        const auto outcome = attempt(command, false, {});
        if (!outcome || outcome->status >= 0)
            return;
        if (maxAttempts != Unlimited && attempts >= maxAttempts)
            return;
        if (!pauseBeforeRetry() || m_lastStatus >= 0)
            return;
    }
}

QString CommandExchange::scopeQuery(const QString &command) {
    return scopePoll(command, {}).reply;
}

CommandExchange::Polled CommandExchange::scopePoll(const QString &command, const Polling &polling) {
    Polled polled;
    for (;;) {
        const auto outcome = attempt(command, true, polling);
        if (!outcome)
            return polled;
        polled.reply = outcome->reply;
        polled.answers += outcome->answers;
        if (outcome->status >= 0 || !pauseBeforeRetry())
            return polled;
    }
}

// The pause, run check and dot between two attempts of a failed exchange;
// false when the exchange is to be given up.
bool CommandExchange::pauseBeforeRetry() {
    waitSeconds(RetryPause);
    if (m_host.startEnabled())
        return false;
    watchSilence();
    showProgressDot();
    // A Stop run from the dot's pump ends the retries too.
    return !m_host.startEnabled();
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
    showProgressDots(1);
}

void CommandExchange::showProgressDots(int count) {
    static const QString collapsingRow(DotsThatCollapse, QLatin1Char('.'));
    if (count <= 0)
        return;
    QString text = m_host.statusText();
    for (int dot = 0; dot < count; ++dot) {
        text += QLatin1Char('.');
        if (text.contains(collapsingRow))
            text.chop(DotsThatCollapse - 1);
    }
    m_host.setStatusText(text);
    m_host.pumpEvents(0);
}
