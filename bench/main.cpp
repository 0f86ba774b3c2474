#include "Benchmarks.h"
#include "ResultTable.h"
#include "XServer.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>
#include <exception>
#include <optional>

// mardock-bench [--quick] [--only N]: runs every benchmark (or benchmark N
// alone, for profiling) and prints one table. --quick makes short runs for a
// smoke test; its figures are not results. The window is real: drawn by the
// xcb platform on an Xvfb server that the bench starts, whose CPU time counts.
int main(int argc, char *argv[]) {
    std::optional<XServer> xServer;
    try {
        xServer.emplace();
    } catch (const std::exception &error) {
        std::fprintf(stderr, "mardock-bench: %s\n", error.what());
        return 1;
    }
    qputenv("DISPLAY", xServer->display().toLatin1());
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption quickOption(QStringLiteral("quick"),
                                         QStringLiteral("Short runs for a smoke test."));
    const QCommandLineOption onlyOption(QStringLiteral("only"),
                                        QStringLiteral("Run benchmark N (1-6) alone."),
                                        QStringLiteral("N"));
    parser.addOptions({quickOption, onlyOption});
    parser.addHelpOption();
    parser.process(app);
    const bool quick = parser.isSet(quickOption);
    const int only = parser.value(onlyOption).toInt();

    ResultTable table;
    try {
        Benchmarks benchmarks(quick, *xServer);
        // The throughput limit needs the bare round trip of the first.
        if (only == 0 || only == 1 || only == 2)
            benchmarks.exchangeCost(table);
        if (only == 0 || only == 2)
            benchmarks.captureThroughput(table);
        if (only == 0 || only == 3)
            benchmarks.waitingCpu(table);
        if (only == 0 || only == 4)
            benchmarks.latency(table);
        if (only == 0 || only == 5)
            benchmarks.stopLatency(table);
        if (only == 0 || only == 6)
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
