#pragma once

#include "FakeHost.h"
#include "RunHost.h"

// The main window as the run sees it: FakeHost's status line, pump and run
// flag, plus the buttons that start and end a run.
class FakeRunHost : public RunHost {
public:
    explicit FakeRunHost(FakeHost &window)
        : m_window(window) {}

    bool startEnabled() const override { return m_window.startEnabled(); }
    bool ending() const override { return m_window.ending(); }
    QString statusText() const override { return m_window.statusText(); }
    void setStatusText(const QString &text) override { m_window.setStatusText(text); }
    void pumpEvents(int maxWaitMs) override {
        if (maxWaitMs > 0)
            ++blockingPumps;
        m_window.pumpEvents(maxWaitMs);
    }
    void setRunButtons() override { setButtons(false); }
    void setIdleButtons() override { setButtons(true); }

    bool stopEnabled = false;
    // Pumps that may block waiting for events, made by the run itself.
    int blockingPumps = 0;

private:
    void setButtons(bool idle) {
        m_window.setStartEnabled(idle);
        stopEnabled = !idle;
    }

    FakeHost &m_window;
};
