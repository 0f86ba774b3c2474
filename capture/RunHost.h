#pragma once

#include "ExchangeHost.h"

// The main window as the capture run sees it: the exchange's needs plus the
// two button states that start and end a run.
class RunHost : public ExchangeHost {
public:
    // Start, Prefs and Close disabled, Stop enabled.
    virtual void setRunButtons() = 0;
    // Start, Prefs and Close enabled, Stop disabled.
    virtual void setIdleButtons() = 0;
};
