#pragma once

#include "Clock.h"
#include "ExchangeHost.h"
#include "Instrument.h"

#include <QString>

// Every command exchange and every wait of the program. The instrument's own
// error reporting is off while an exchange runs and success is read from its
// status; a failed exchange is retried every 0.1 s for as long as a run is
// active (Start disabled) and tried once otherwise. Waits pump events and grow
// a row of progress dots on the status line.
//
// All four operations may be entered again from a handler that runs while one
// of them pumps events (Stop pressed during a run).
class CommandExchange {
public:
    static constexpr int Unlimited = 0;

    CommandExchange(Instrument &instrument, ExchangeHost &host, const Clock &clock);

    // Sends one command. maxAttempts > 0 bounds the number of writes even
    // while a run is active, so a caller that must finish (Stop restoring the
    // scope) never waits forever on a dead instrument.
    void scopeWrite(const QString &command, int maxAttempts = Unlimited);
    // Sends one query and returns the reply, or when the query is abandoned,
    // the text the last failed attempt returned.
    QString scopeQuery(const QString &command);
    // Waits while pumping events; waits over one second show a dot per pass.
    void waitSeconds(float seconds);
    void showProgressDot();

private:
    class ReportingOff;

    void pumpUntil(float now, float end, float seconds);

    Instrument &m_instrument;
    ExchangeHost &m_host;
    const Clock &m_clock;
    // Counts the exchanges that have ended, so an exchange notices that a
    // nested one switched error reporting back on while it was pumping.
    quint64 m_exchangesEnded = 0;
};
