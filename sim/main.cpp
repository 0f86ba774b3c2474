#include "CommandLog.h"
#include "ElapsedClock.h"
#include "SimCommandLine.h"
#include "SimScope.h"
#include "SimServer.h"
#include "TerminationWatcher.h"

#include <QDir>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char *argv[]) {
    // Screen images are drawn off-screen; the simulator never needs a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("mardock-scopesim"));
    QGuiApplication::setApplicationVersion(QStringLiteral(MARDOCK_VERSION));

    SimCommandLine commandLine;
    const auto options = commandLine.parse(QGuiApplication::arguments());
    if (!options) {
        std::fprintf(stderr, "mardock-scopesim: %s\n", qPrintable(commandLine.errorText()));
        return 2;
    }
    if (!QDir().mkpath(options->storage)) {
        std::fprintf(stderr, "mardock-scopesim: cannot create the storage folder %s\n",
                     qPrintable(options->storage));
        return 1;
    }
    CommandLog log(options->logPath);
    if (!options->logPath.isEmpty() && !log.isOpen()) {
        std::fprintf(stderr, "mardock-scopesim: cannot open the command log %s: %s\n",
                     qPrintable(options->logPath), qPrintable(log.errorString()));
        return 1;
    }

    ElapsedClock clock;
    SimScope scope(*options, clock);
    SimServer server(scope, log, *options);
    if (!server.listen(options->port)) {
        std::fprintf(stderr, "mardock-scopesim: cannot listen on 127.0.0.1:%u: %s\n",
                     unsigned(options->port), qPrintable(server.errorString()));
        return 1;
    }
    TerminationWatcher watcher;
    QObject::connect(&watcher, &TerminationWatcher::terminationRequested, &app,
                     &QCoreApplication::quit);

    std::printf("mardock-scopesim listening on 127.0.0.1:%u\n", unsigned(server.port()));
    std::fflush(stdout);
    return app.exec();
}
