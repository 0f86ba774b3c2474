#include "AppPaths.h"
#include "Clock.h"
#include "CommandLine.h"
#include "InstrumentControl.h"
#include "InstrumentListFile.h"
#include "MessageBoxPrompter.h"
#include "MonotonicClock.h"
#include "UsbtmcDevices.h"
#include "VisaLibrary.h"
#include "frmMain.h"

#include <QApplication>

int main(int argc, char *argv[]) {
    QCoreApplication::setApplicationName(QStringLiteral("mardock"));
    QCoreApplication::setApplicationVersion(QStringLiteral(MARDOCK_VERSION));
    // Arguments are answered without opening a window, so they work without a display.
    if (argc > 1) {
        QCoreApplication app(argc, argv);
        return CommandLine::answer(app.arguments());
    }
    QApplication app(argc, argv);
    // The program ends through Close (or a failed start-up), not when its
    // last visible window goes: the main window hides while Prefs is open.
    app.setQuitOnLastWindowClosed(false);

    const AppPaths paths = AppPaths::forCurrentUser();
    // The user's own list comes first, then a vendor's VISA library if one
    // is installed, then the USB instruments the usbtmc driver has bound.
    InstrumentControl plexor(
        {std::make_shared<InstrumentListFile>(paths.instrumentListFile()), VisaLibrary::load(),
         std::make_shared<UsbtmcDevices>(QStringLiteral("/sys"), QStringLiteral("/dev"))});
    MessageBoxPrompter prompter;
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
