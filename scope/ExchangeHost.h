#pragma once

#include <QString>

// What the command exchange needs from the window it runs in: the run flag,
// the status line and the event pump.
class ExchangeHost {
public:
    virtual ~ExchangeHost() = default;

    // The run flag: Start enabled means no run is active (or it was stopped).
    virtual bool startEnabled() const = 0;
    // The program is closing: a wait ends at once instead of running out.
    virtual bool ending() const = 0;
    virtual QString statusText() const = 0;
    // Replaces the status line's text. The window may repaint it a little
    // later, at a bounded rate, but always shows the latest text.
    virtual void setStatusText(const QString &text) = 0;
    // Runs pending user-interface events. With maxWaitMs > 0 it first waits up
    // to that long for an event to arrive, instead of spinning.
    virtual void pumpEvents(int maxWaitMs) = 0;
};
