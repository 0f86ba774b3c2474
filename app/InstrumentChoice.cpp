#include "InstrumentChoice.h"

#include "CommandLine.h"
#include "InstrumentSources.h"
#include "Prompter.h"
#include "frmFinder.h"

std::optional<int> chooseInstrumentFirst(const CommandLine &commandLine,
                                         const InstrumentSources &sources, const QString &listPath,
                                         Prompter &prompter) {
    const bool asked = commandLine.chooseInstrument();
    if (!asked && (commandLine.instrument() || !sources.nothingToSearch()))
        return std::nullopt;
    frmFinder finder(sources.all(), listPath);
    if (finder.exec() == QDialog::Accepted)
        return std::nullopt;
    if (asked)
        return 0;
    prompter.ask(QStringLiteral("Scope not found.  Please check Quillon."), Prompter::Buttons::Ok);
    return 1;
}
