#pragma once

#include "SimOptions.h"

#include <QCommandLineParser>

// The simulator's command line. --help and --version are answered by
// parse() itself, which then ends the program as QCommandLineParser does.
class SimCommandLine {
public:
    SimCommandLine();

    std::optional<SimOptions> parse(const QStringList &arguments);
    // Why the last parse() failed.
    QString errorText() const { return m_error; }

private:
    QCommandLineParser m_parser;
    QString m_error;
};
