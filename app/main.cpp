#include "AppPaths.h"
#include "Clock.h"
#include "CommandLine.h"
#include "GivenInstrument.h"
#include "InstrumentChoice.h"
#include "InstrumentControl.h"
#include "InstrumentSources.h"
#include "IoThread.h"
#include "MessageBoxPrompter.h"
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
    // Declared after the control, so the calls still queued on it at the end
    // (Stop's restore commands) run before the control goes.
    IoThread io;
    SystemClock clock;
    frmMain window(plexor, io, prompter, clock, paths);
    if (!window.Form_Load())
        return 1;
    QObject::connect(&window, &frmMain::programEnding, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    window.show();
    return app.exec();
}
