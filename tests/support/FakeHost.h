#pragma once

#include "ExchangeHost.h"
#include "FakeClock.h"

#include <functional>

// The window side of the command exchange, with a pump that moves a fake
// clock and can run a test's code, the way a nested Stop would run.
class FakeHost : public ExchangeHost {
public:
    explicit FakeHost(FakeClock *clock = nullptr)
        : m_clock(clock) {}

    bool startEnabled() const override { return m_startEnabled; }
    bool ending() const override { return closing; }
    QString statusText() const override { return m_status; }
    void setStatusText(const QString &text) override {
        m_status = text;
        ++repaints;
    }
    void pumpEvents(int maxWaitMs) override {
        ++pumps;
        if (m_clock)
            m_clock->advanceMs(maxWaitMs > 0 ? maxWaitMs : msPerIdlePump);
        if (onPump)
            onPump();
    }

    void setStartEnabled(bool enabled) { m_startEnabled = enabled; }

    bool closing = false;
    int pumps = 0;
    int repaints = 0;
    // How far the clock moves on a pump that does not wait.
    int msPerIdlePump = 1;
    std::function<void()> onPump;

private:
    FakeClock *m_clock;
    bool m_startEnabled = true;
    QString m_status;
};
