#pragma once

#include "Clock.h"
#include "ExchangeHost.h"
#include "Instrument.h"
#include "IoExecutor.h"

#include <QString>
#include <atomic>
#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <optional>

// Every command exchange and every wait of the program. Calls on the
// instrument run on the I/O side (IoExecutor) while this side pumps events,
// so the window repaints and takes Stop meanwhile. The instrument's own error
// reporting is off while an exchange runs and success is read from its
// status; a failed exchange is retried every 0.1 s for as long as a run is
// active (Start disabled) and tried once otherwise. Waits pump events and grow
// a row of progress dots on the status line.
//
// Once a run is stopped (Start enabled again) or the program is closing, an
// exchange stops waiting for the call in flight and cuts it short.
//
// All operations may be entered again from a handler that runs while one of
// them pumps events.
class CommandExchange {
public:
    static constexpr int Unlimited = 0;
    // A run whose exchanges have failed this long says the scope is not
    // answering, so a dead link does not look like a wait for a trigger.
    static constexpr int NotAnsweringMs = 2000;

    CommandExchange(Instrument &instrument, ExchangeHost &host, const Clock &clock, IoExecutor &io);

    // Sends one command. maxAttempts > 0 bounds the number of writes even
    // while a run is active.
    void scopeWrite(const QString &command, int maxAttempts = Unlimited);
    // Sends one query and returns the reply, or when the query is abandoned,
    // the text the last failed attempt returned.
    QString scopeQuery(const QString &command);

    // How a query is polled on the I/O side: each poll waits `pause` first,
    // and polls go on without waking the window until one answers `until`,
    // fails, comes over a new connection, or `batch` has passed. A long wait
    // thus polls at a gentle pace and costs the window a wake-up per batch.
    struct Polling {
        std::chrono::milliseconds pause{0};
        QString until;
        std::chrono::milliseconds batch{0};
    };
    struct Polled {
        QString reply; // of the last poll, as scopeQuery returns it
        int answers = 0;
    };
    // Polls as `polling` says, with scopeQuery's retries.
    Polled scopePoll(const QString &command, const Polling &polling);
    // Waits while pumping events; waits over one second show a dot per pass.
    // A wait inside a run ends when the run is stopped.
    void waitSeconds(float seconds);
    void showProgressDot();
    // The same as that many dots, with one repaint and one pump.
    void showProgressDots(int count);

    // Runs `operation` on the instrument on the I/O side and waits for it,
    // rethrowing what it throws. nullopt when it was abandoned (see above).
    template <typename Result>
    std::optional<Result> onInstrument(std::function<Result(Instrument &)> operation);
    // Queues `operation` behind the call in flight without waiting for it:
    // Stop's clear and restore, which must not hold the window up. A call in
    // flight that does not end within a moment is cut short first.
    void sendLater(std::function<void(Instrument &)> operation);

    // True once an exchange was answered on a connection that replaced a
    // lost one: the scope may have restarted. Reading it resets it.
    bool takeReconnected() { return std::exchange(m_reconnected, false); }

private:
    struct Attempt {
        int status = 0;
        QString reply;
        bool reconnected = false;
        int answers = 0;
    };

    std::optional<Attempt> attempt(const QString &command, bool query, const Polling &polling);
    bool pauseBeforeRetry();
    void answered(const Attempt &outcome);
    // Waits for the job while pumping events; false when abandoned.
    bool await(IoExecutor::Job job);
    bool abandoned(bool runWasActive) const;
    void watchSilence();
    std::optional<std::chrono::steady_clock::time_point> silenceDue() const;
    int untilSilenceShows() const;
    void pumpUntil(float now, float end, float seconds);

    Instrument &m_instrument;
    ExchangeHost &m_host;
    const Clock &m_clock;
    IoExecutor &m_io;
    // The job being waited for, so Stop can cut it short.
    IoExecutor::Ticket m_inFlight = 0;
    // Set by Stop: the batch of polls in flight ends after its current poll.
    std::shared_ptr<std::atomic<bool>> m_windDown = std::make_shared<std::atomic<bool>>(false);
    // Status of the last attempt, which a retry checks again after its pause.
    int m_lastStatus = 0;
    bool m_reconnected = false;
    // Since when exchanges have gone unanswered; none after an answer.
    std::optional<std::chrono::steady_clock::time_point> m_unansweredSince;
    // The status the not-answering text replaced, put back on an answer.
    QString m_textBeforeSilence;
};

template <typename Result>
std::optional<Result> CommandExchange::onInstrument(std::function<Result(Instrument &)> operation) {
    struct Outcome {
        std::optional<Result> value;
        std::exception_ptr error;
    };
    auto outcome = std::make_shared<Outcome>();
    Instrument &instrument = m_instrument;
    if (!await([outcome, operation = std::move(operation), &instrument] {
            try {
                outcome->value = operation(instrument);
            } catch (...) {
                outcome->error = std::current_exception();
            }
        }))
        return std::nullopt;
    if (outcome->error)
        std::rethrow_exception(outcome->error);
    return std::move(outcome->value);
}
