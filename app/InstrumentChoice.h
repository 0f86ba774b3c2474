#pragma once

#include <QString>
#include <optional>

class CommandLine;
class InstrumentSources;
class Prompter;

// Before start-up searches: opens the instrument finder when the command
// line asks for it, or when there is nothing at all to search, since such a
// search could only fail. Use in the finder lists the chosen instrument
// first and start-up goes on with it. nullopt when start-up is to go on;
// otherwise the exit status to end with: after Cancel of a finder that
// opened for want of anything to search, the user has been told that no
// scope was found.
std::optional<int> chooseInstrumentFirst(const CommandLine &commandLine,
                                         const InstrumentSources &sources, const QString &listPath,
                                         Prompter &prompter);
