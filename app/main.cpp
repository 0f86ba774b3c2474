#include "AppPaths.h"
#include "Clock.h"
#include "CommandLine.h"
#include "GivenInstrument.h"
#include "InstrumentChoice.h"
#include "InstrumentControl.h"
#include "InstrumentSources.h"
#include "MessageBoxPrompter.h"
#include "MonotonicClock.h"
#include "frmMain.h"

#include <QApplication>

int main(int argc, char *argv[]) {
    QCoreApplication::setApplicationName(QStringLiteral("mardock"));
    QCoreApplication::setApplicationVersion(QStringLiteral(MARDOCK_VERSION));
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    CommandLine commandLine(arguments);
    // Answered without opening a window, so they work without a display.
    if (commandLine.answersAlone()) {
        QCoreApplication app(argc, argv);
        return commandLine.answer();
    }
    QApplication app(argc, argv);
    // The program ends through Close (or a failed start-up), not when its
    // last visible window goes: the main window hides while Prefs is open.
    app.setQuitOnLastWindowClosed(false);

    const AppPaths paths = AppPaths::forCurrentUser();
    const InstrumentSources sources(paths);
    MessageBoxPrompter prompter;
    if (const auto ended =
            chooseInstrumentFirst(commandLine, sources, paths.instrumentListFile(), prompter))
        return *ended;
    InstrumentControl plexor(
        commandLine.instrument()
            ? QList<std::shared_ptr<ResourceSource>>{std::make_shared<GivenInstrument>(
                  *commandLine.instrument())}
            : sources.all());
    SystemClock clock;
    SteadyClock monotonic;
    // Declared after the control: the window's run thread, which alone calls
    // it, sends Stop's commands still queued before the control goes.
    frmMain window(plexor, prompter, clock, monotonic, paths);
    if (!window.Form_Load())
        return 1;
    // The window is shown only once the search found a scope; otherwise the
    // user has been told why and the program ends.
    QObject::connect(&window, &frmMain::startUpEnded, &app, [&](bool scopeFound) {
        if (scopeFound)
            window.show();
        else
            QCoreApplication::exit(1);
    });
    QObject::connect(&window, &frmMain::programEnding, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    return app.exec();
}
