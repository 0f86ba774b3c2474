#pragma once

#include "AppPaths.h"
#include "InstrumentControl.h"
#include "MonotonicClock.h"
#include "ScriptedPrompter.h"
#include "frmMain.h"

#include <QTemporaryDir>
#include <functional>
#include <memory>

class SimulatorProcess;

// The real program, window and all, started against one simulated scope with
// a settings folder of its own; message boxes are answered with their first
// button. Over VXI-11 it opens the link on the simulator's port itself, as a
// vendor library would, so no portmapper is needed.
class BenchProgram {
public:
    enum class Link { Socket, Vxi11 };

    struct Choice {
        bool isf = true;
        bool csv = false;
        bool image = false;
        QString imageType = QStringLiteral("PNG");
        // 0 runs until Stop.
        int limit = 0;
        bool restore = false;
        int delaySeconds = 0;
    };

    explicit BenchProgram(const SimulatorProcess &sim, Link link = Link::Socket);

    frmMain &window() { return *m_window; }
    // Sets the preferences through the dialog, with counter stems.
    void choose(const Choice &choice);
    // Presses Start and returns when the run has ended (Start is enabled
    // again): seconds it took.
    double run();
    // Sends the next run to another instrument, as if the scope had moved.
    void redirect(const QString &descriptor);

private:
    void onRunThread(std::function<void()> job);

    QTemporaryDir m_dir;
    AppPaths m_paths;
    InstrumentControl m_plexor;
    ScriptedPrompter m_prompter;
    SystemClock m_clock;
    SteadyClock m_monotonic;
    std::unique_ptr<frmMain> m_window;
};
