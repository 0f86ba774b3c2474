#pragma once

#include <QStringList>

// Mardock's command line: the job is set in the Prefs dialog, so the only
// arguments are --help and --version. Answers them (or a short usage message
// for anything else) without a display.
class CommandLine {
public:
    // The exit code: 0 after --help or --version, 2 after anything else.
    static int answer(const QStringList &arguments);
};
