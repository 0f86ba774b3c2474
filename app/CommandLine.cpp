#include "CommandLine.h"

#include <QCommandLineParser>

#include <cstdio>

int CommandLine::answer(const QStringList &arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Makes an oscilloscope save what it captures, once per trigger.\n"
                       "Instruments are listed in ~/.config/mardock/instruments.txt; "
                       "everything else is set in the Prefs dialog."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    if (parser.parse(arguments) && parser.positionalArguments().isEmpty()) {
        if (parser.isSet(version))
            parser.showVersion();
        if (parser.isSet(help))
            parser.showHelp(0);
    }
    const QString why = parser.errorText().isEmpty()
                            ? QStringLiteral("unexpected argument: %1")
                                  .arg(parser.positionalArguments().value(0, arguments.value(1)))
                            : parser.errorText();
    std::fprintf(stderr, "mardock: %s\nUsage: mardock [--help | --version]\n", qPrintable(why));
    return 2;
}
