#pragma once

#include "MonotonicClock.h"
#include "SilenceWatch.h"

#include <QString>

class Cancellation;
class Instrument;
class Run;

// Every command exchange and every wait of the run thread, calling the
// instrument directly. The instrument's own error reporting is off while an
// exchange runs and success is read from its status; a failed exchange is
// retried every 0.1 s for as long as a run is active and not stopped, with a
// progress dot per retry, and tried once otherwise. Waits sleep on the run's
// cancellation, so a Stop ends them at once.
class Exchange {
public:
    static constexpr int Unlimited = 0;

    Exchange(Instrument &instrument, Run &run, const MonotonicClock &clock,
             const Cancellation &stop);

    Instrument &instrument() { return m_instrument; }

    // Sends one command. maxAttempts > 0 bounds the number of writes even
    // while a run is active.
    void scopeWrite(const QString &command, int maxAttempts = Unlimited);
    // Sends one query and returns the reply, or when the query is abandoned,
    // the text the last failed attempt returned. A reply not kept is read to
    // its end and dropped as it arrives, so a long one nobody reads (the
    // scope's file listing) costs no memory.
    QString scopeQuery(const QString &command, bool keepReply = true);
    // Waits; waits over one second add a dot every tenth of a second. A Stop
    // ends the wait.
    void waitSeconds(float seconds);
    // Sleeps between two polls; false when a Stop cut it short.
    bool pause(std::chrono::steady_clock::duration duration);
    // True once an exchange was answered on a connection that replaced a
    // lost one: the scope may have restarted. Reading it resets it.
    bool takeReconnected() { return std::exchange(m_reconnected, false); }
    // Told when the not-answering text goes up and comes down.
    void watchSilenceWith(SilenceWatch::Watcher watcher) {
        m_silence.watchWith(std::move(watcher));
    }

private:
    int attempt(const QString &command, QString *reply, bool keepReply = true);
    bool pauseBeforeRetry();

    Instrument &m_instrument;
    Run &m_run;
    const MonotonicClock &m_clock;
    const Cancellation &m_stop;
    SilenceWatch m_silence;
    bool m_reconnected = false;
};
