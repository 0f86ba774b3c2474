#include "CommandLog.h"
#include "ElapsedClock.h"
#include "MdnsResponder.h"
#include "PowerSwitch.h"
#include "SimCommandLine.h"
#include "SimScope.h"
#include "SimServer.h"
#include "TerminationWatcher.h"
#include "Vxi11Server.h"

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
    CommandLog log(options->logPath, options->logTimestamps);
    if (!options->logPath.isEmpty() && !log.isOpen()) {
        std::fprintf(stderr, "mardock-scopesim: cannot open the command log %s: %s\n",
                     qPrintable(options->logPath), qPrintable(log.errorString()));
        return 1;
    }

    ElapsedClock clock;
    SimScope scope(*options, clock);
    PowerSwitch power(scope, options->powerOffMs);
    scope.setObserver([&log, &clock](QByteArrayView what, qint64 atMs) {
        log.appendEvent(what, clock.monotonicUsAt(atMs));
    });
    SimServer server(scope, log, power, *options);
    if (!server.listen(options->port)) {
        std::fprintf(stderr, "mardock-scopesim: cannot listen on %s:%u: %s\n",
                     qPrintable(options->address), unsigned(options->port),
                     qPrintable(server.errorString()));
        return 1;
    }
    Vxi11Server vxi11(scope, log, power, *options);
    if (options->vxi11Port && !vxi11.listen(*options->vxi11Port)) {
        std::fprintf(stderr, "mardock-scopesim: cannot serve VXI-11 on %s:%u: %s\n",
                     qPrintable(options->address), unsigned(*options->vxi11Port),
                     qPrintable(vxi11.errorString()));
        return 1;
    }
    if (options->vxi11Port && options->portmapper && !vxi11.registerWithPortmapper())
        std::fprintf(stderr, "mardock-scopesim: no portmapper on 127.0.0.1; VXI-11 clients "
                             "need the port\n");
    MdnsResponder mdns(QHostAddress(options->address), server.port(),
                       options->vxi11Port ? std::optional(vxi11.port()) : std::nullopt);
    if (options->mdns && !mdns.listen()) {
        std::fprintf(stderr, "mardock-scopesim: cannot answer mDNS: %s\n",
                     qPrintable(mdns.errorString()));
        return 1;
    }
    TerminationWatcher watcher;
    QObject::connect(&watcher, &TerminationWatcher::terminationRequested, &app,
                     &QCoreApplication::quit);

    std::printf("mardock-scopesim listening on %s:%u\n", qPrintable(options->address),
                unsigned(server.port()));
    if (options->vxi11Port)
        std::printf("mardock-scopesim vxi11 on %s:%u\n", qPrintable(options->address),
                    unsigned(vxi11.port()));
    std::fflush(stdout);
    return app.exec();
}
