#include "Benchmarks.h"
#include "ResultTable.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>
#include <exception>

// mardock-bench [--quick] [--only N]: runs every benchmark (or benchmark N
// alone, for profiling) and prints one table. --quick makes short runs for a
// smoke test; its figures are not results.
int main(int argc, char *argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption quickOption(QStringLiteral("quick"),
                                         QStringLiteral("Short runs for a smoke test."));
    const QCommandLineOption onlyOption(QStringLiteral("only"),
                                        QStringLiteral("Run benchmark N (1-5) alone."),
                                        QStringLiteral("N"));
    parser.addOptions({quickOption, onlyOption});
    parser.addHelpOption();
    parser.process(app);
    const bool quick = parser.isSet(quickOption);
    const int only = parser.value(onlyOption).toInt();

    ResultTable table;
    try {
        Benchmarks benchmarks(quick);
        // The throughput limit needs the bare round trip of the first.
        if (only == 0 || only == 1 || only == 2)
            benchmarks.exchangeCost(table);
        if (only == 0 || only == 2)
            benchmarks.captureThroughput(table);
        if (only == 0 || only == 3)
            benchmarks.waitingCpu(table);
        if (only == 0 || only == 4)
            benchmarks.stopLatency(table);
        if (only == 0 || only == 5)
            benchmarks.endurance(table);
    } catch (const std::exception &error) {
        std::fputs(qPrintable(table.toMarkdown()), stdout);
        std::fprintf(stderr, "mardock-bench: %s\n", error.what());
        return 1;
    }
    std::fputs(qPrintable(table.toMarkdown()), stdout);
    std::printf("\n%d target(s) missed%s\n", table.missed(),
                quick ? " (quick run: figures are a smoke test, not results)" : "");
    return 0;
}
