#pragma once

#include <QString>

// The window as the run thread sees it. Both calls come from the run thread
// and return at once; the window shows what they tell on its own thread.
class RunView {
public:
    virtual ~RunView() = default;

    // The latest status text. The window may repaint it a little later, at a
    // bounded rate, but always shows the latest.
    virtual void showStatus(const QString &text) = 0;
    // The run started or stopped: the buttons are to show Run::running().
    virtual void showRunState() = 0;
};
