#pragma once

#include "AppPaths.h"
#include "InstrumentControl.h"
#include "InstrumentListFile.h"
#include "MonotonicClock.h"
#include "ScriptedPrompter.h"
#include "SimProcess.h"
#include "frmMain.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <functional>
#include <memory>

// The commands a run sends, as the simulated scope logs them.
inline const QStringList StartUp{"*IDN?", "DESE 0", "*ESE 0", "*SRE 0", "HEAD 0", "*CLS", "ALLEV?"};
inline const QStringList RunPreparation{"HEAD 0;VERB 0", "ACQ:STOPA SEQ;STATE 0", "DESE 56",
                                        "*CLS"};
inline const QStringList Armed{"ACQ:STATE 1", "BUSY?"};
// Every Stop of a run ends by putting the event mask back.
inline const QStringList Unmask{"DESE 0"};
inline const QStringList Restore =
    QStringList{"TRIG", "ACQ:STATE 0", "ACQ:STOPA RUNST", "TRIG:A:MOD AUTO", "ACQ:STATE 1"} +
    Unmask;

// The saves of one acquisition, as the scope receives them.
inline QStringList isf(const QString &stem) {
    return {"SAV:WAVE:FILEF INTERNAL", "SAV:WAVE ALL, \"E:\\my_ISFs_" + stem + "\"", "BUSY?",
            "FILES:DIR?", "*ESR?"};
}
inline QStringList csv(const QString &stem) {
    return {"SAV:WAVE:FILEF SPREADS", "SAV:WAVE:GATI NON",
            "SAV:WAVE ALL, \"E:\\my_CSVs_" + stem + "\"", "BUSY?", "*ESR?"};
}
inline QStringList image(const QString &stem) {
    return {"SAV:IMAG:FILEF PNG",
            "SAV:IMAG:LAY LAN",
            "SAV:IMAG:INKS ON",
            "SAV:IMAG \"E:\\my_Images_" + stem + ".PNG\"",
            "BUSY?",
            "*ESR?"};
}

// Loads the window and waits for start-up's search on the run thread; shows
// the window once a scope was found.
inline bool startWindow(frmMain &window) {
    QSignalSpy ended(&window, &frmMain::startUpEnded);
    if (!window.Form_Load())
        return false;
    if (ended.isEmpty() && !ended.wait(60000))
        return false;
    if (!ended.constFirst().constFirst().toBool())
        return false;
    window.show();
    return QTest::qWaitForWindowExposed(&window);
}

// How often "BUSY?" is polled depends on timing; the order of everything
// else does not. A run of polls counts as one.
inline QStringList withPollsMerged(const QStringList &log) {
    QStringList merged;
    for (const QString &line : log)
        if (line != QLatin1String("BUSY?") || merged.isEmpty() || merged.constLast() != line)
            merged << line;
    return merged;
}

// The real program, minus its message boxes, against a simulated scope it
// finds through its instrument list, with the preferences' defaults. Over
// VXI-11 the list names the scope as a user would, so the link's port comes
// from the portmapper.
struct Program {
    enum class Link { Socket, Vxi11 };

    explicit Program(const QStringList &simArgs, Link link = Link::Socket)
        : sim(QStringList{"--trigger-mean", "0", "--save-time", "0"} + simArgs +
              (link == Link::Vxi11 ? QStringList{"--vxi11-port", "0"} : QStringList())) {
        QVERIFY(sim.started());
        QVERIFY(paths.makeConfigDir());
        QFile list(paths.instrumentListFile());
        QVERIFY(list.open(QIODevice::WriteOnly | QIODevice::Text));
        list.write((link == Link::Vxi11 ? sim.vxi11Descriptor() : sim.descriptor()).toUtf8());
    }

    bool start() {
        window = std::make_unique<frmMain>(plexor, prompter, clock, monotonic, paths);
        return startWindow(*window);
    }

    // A last query marks the end of what a run sent, so the scope's log is
    // not taken while it still grows. It goes behind Stop's commands on the
    // run thread.
    void markEndOfRun() {
        settle([this] { plexor.query(QStringLiteral("*OPC?")); });
    }
    // Waits until the run thread has done all it was given, then `last`.
    void settle(std::function<void()> last = [] {}) {
        std::atomic<bool> done{false};
        window->onRunThread([&] {
            last();
            done = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(done, 120000);
    }

    SimProcess sim;
    QTemporaryDir dir;
    AppPaths paths{dir.filePath(QStringLiteral("config")), dir.path(), QStringLiteral("mardock"),
                   dir.path(), dir.filePath(QStringLiteral("state"))};
    // Before the window: its run thread's last commands go out before it goes.
    InstrumentControl plexor{{std::make_shared<InstrumentListFile>(paths.instrumentListFile())}};
    ScriptedPrompter prompter;
    SystemClock clock;
    SteadyClock monotonic;
    std::unique_ptr<frmMain> window;
};
