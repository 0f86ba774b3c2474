#pragma once

#include "AppPaths.h"
#include "InstrumentControl.h"
#include "IoThread.h"
#include "ScriptedPrompter.h"
#include "frmMain.h"

#include <QTemporaryDir>
#include <memory>

class SimulatorProcess;

// The real program, window and all, started against one simulated scope with
// a settings folder of its own; message boxes are answered with their first
// button.
class BenchProgram {
public:
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

    explicit BenchProgram(const SimulatorProcess &sim);

    frmMain &window() { return *m_window; }
    // Sets the preferences through the dialog, with counter stems.
    void choose(const Choice &choice);
    // Presses Start and returns when the run has ended: seconds it took.
    double run();

private:
    QTemporaryDir m_dir;
    AppPaths m_paths;
    InstrumentControl m_plexor;
    IoThread m_io;
    ScriptedPrompter m_prompter;
    SystemClock m_clock;
    std::unique_ptr<frmMain> m_window;
};
