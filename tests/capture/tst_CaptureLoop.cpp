#include "CaptureLoop.h"
#include "CommandExchange.h"
#include "FakeClock.h"
#include "FakeHost.h"
#include "FakeInstrument.h"
#include "FakeRunHost.h"
#include "FakeRunPreferences.h"
#include "FileNamer.h"
#include "ScriptedPrompter.h"

#include <QTest>
#include <stdexcept>

namespace {

// Everything the engine touches, faked, with Start enabled and the scope's
// error reporting on, as after start-up.
struct Rig {
    Rig() {
        scope.setErrorReporting(true);
        scope.log.clear();
    }

    // The scope's traffic without the error-reporting switches around it.
    QStringList traffic() const {
        QStringList seen = scope.log;
        seen.removeIf([](const QString &entry) { return entry.startsWith("errors "); });
        return seen;
    }
    bool idle() const { return host.startEnabled() && !host.stopEnabled; }

    FakeClock clock;
    FakeHost window{&clock};
    FakeRunHost host{window};
    FakeInstrument scope;
    CommandExchange exchange{scope, host, clock};
    FakeRunPreferences prefs;
    FileNamer namer{clock};
    ScriptedPrompter prompter;
    CaptureLoop loop{scope, exchange, host, prefs, namer, prompter};
};

const QStringList prepare{"clear", "write HEAD 0;VERB 0", "write ACQ:STOPA SEQ;STATE 0"};
const QStringList arm{"write ACQ:STATE 1", "query BUSY?"};
const QStringList stopPlain{"clear"};
const QStringList stopRestoring =
    QString("clear|write TRIG|write ACQ:STATE 0|write ACQ:STOPA RUNST|write TRIG:A:MOD AUTO|"
            "write ACQ:STATE 1")
        .split('|');

QStringList isf(const QString &stem) {
    return {"write SAV:WAVE:FILEF INTERNAL", "write SAV:WAVE ALL, \"E:\\my_ISFs_" + stem + "\"",
            "query BUSY?", "query FILES:DIR?"};
}
QStringList csv(const QString &stem) {
    return {"write SAV:WAVE:FILEF SPREADS", "write SAV:WAVE:GATI NON",
            "write SAV:WAVE ALL, \"E:\\my_CSVs_" + stem + "\"", "query BUSY?"};
}
QStringList image(const QString &stem) {
    return {"write SAV:IMAG:FILEF PNG", "write SAV:IMAG:LAY LAN", "write SAV:IMAG:INKS ON",
            "write SAV:IMAG \"E:\\my_Images_" + stem + ".PNG\"", "query BUSY?"};
}

using Answer = Prompter::Answer;

// One run's preferences and scripted scope; what a row does not name keeps these.
struct RunCase {
    QString saves = "i";        // i ISF, c CSV, s screen image
    QList<Answer> answers = {}; // to "Save this Aquisition?"; none: not asked
    int limit = 10;
    bool stopAfter = true;
    bool restore = false;
    int delay = 0;
    QStringList busy = {};    // BUSY? replies before it answers "0"
    QString stopAt = {};      // Stop pressed at this status's first dot
    bool scopeGone = false;   // ... just after the scope stopped answering
    bool refuseSetUp = false; // the first command after a trigger fails
    QString fault = {};       // the link throws after this command; "clear": at the run's clear
    bool stopFirst = false;   // Stop pressed just before the fault
};

} // namespace

Q_DECLARE_METATYPE(RunCase)

class tst_CaptureLoop : public QObject {
    Q_OBJECT

private slots:
    void run_data() {
        QTest::addColumn<RunCase>("run");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QString>("status");
        const auto isfCycles = [](int count) {
            QStringList traffic = prepare;
            for (int n = 1; n <= count; ++n)
                traffic += arm + isf(QString::number(n));
            return traffic;
        };

        QTest::addRow("image only") << RunCase{.saves = "s", .limit = 1}
                                    << prepare + arm + image("1") + stopPlain << "1: Done";
        QTest::addRow("anything but 0 is busy")
            << RunCase{.limit = 1, .busy = {"1", "0 ", "", "00"}}
            << prepare + QStringList{"write ACQ:STATE 1"} + QStringList(5, "query BUSY?") +
                   isf("1") + stopPlain
            << "1: Done";
        QTest::addRow("ask No counts and uses up a stem")
            << RunCase{.answers = {Answer::No, Answer::Yes}, .limit = 2}
            << prepare + arm + arm + isf("2") + stopPlain << "2: Done";
        QTest::addRow("ask Cancel stops") << RunCase{.answers = {Answer::Cancel}, .restore = true}
                                          << prepare + arm + stopRestoring << "1: Stopped";
        QTest::addRow("limit 0 ends after the first")
            << RunCase{.limit = 0, .restore = true} << prepare + arm + isf("1") + stopRestoring
            << "1: Done";
        QTest::addRow("stop after 10") << RunCase{} << isfCycles(10) + stopPlain << "10: Done";
        QTest::addRow("Stop in acquisition wait, past the limit not checked")
            << RunCase{.limit = 2,
                       .stopAfter = false,
                       .busy = QStringList(6, "0") + QStringList{"1"},
                       .stopAt = "4: Waiting for Acquisition"}
            << isfCycles(3) + arm + stopPlain << "4: Stopped";
        QTest::addRow("Stop in ISF save wait")
            << RunCase{.saves = "ics", .stopAt = "1: Save ISF"}
            << prepare + arm + isf("1").mid(0, 3) + stopPlain << "1: Stopped";
        QTest::addRow("Stop in CSV save wait")
            << RunCase{.saves = "ics", .stopAt = "1: Save CSV"}
            << prepare + arm + isf("1") + csv("1") + stopPlain << "1: Stopped";
        QTest::addRow("Stop in image save wait, restoring")
            << RunCase{.saves = "ics", .restore = true, .stopAt = "1: Save Screen"}
            << prepare + arm + isf("1") + csv("1") + image("1") + stopRestoring << "1: Stopped";
        // Each restore command gets two attempts, and the first one refused
        // ends the restore: Stop always ends.
        QTest::addRow("Stop with the scope gone")
            << RunCase{.restore = true,
                       .busy = {"1"},
                       .stopAt = "1: Waiting for Acquisition",
                       .scopeGone = true}
            << prepare + arm + QStringList{"clear", "write TRIG", "write TRIG"} << "1: Stopped";
        QTest::addRow("Stop in the delay")
            << RunCase{.restore = true, .delay = 2, .stopAt = "Delay after trigger"}
            << prepare + arm + stopRestoring << "0: Stopped";
        QTest::addRow("Stop in a set-up retry")
            << RunCase{.restore = true, .stopAt = "1: Waiting for Acquisition", .refuseSetUp = true}
            << prepare + arm + QStringList{"write SAV:WAVE:FILEF INTERNAL"} + stopRestoring
            << "1: Stopped";
        QTest::addRow("Stop in an image set-up retry")
            << RunCase{.saves = "s",
                       .restore = true,
                       .stopAt = "1: Save Screen",
                       .refuseSetUp = true}
            << prepare + arm + QStringList{"write SAV:IMAG:FILEF PNG"} + stopRestoring
            << "1: Stopped";
        // An error that escapes the retry discipline ends the run through one
        // Stop, and is shown.
        QTest::addRow("fault at the run's device clear")
            << RunCase{.fault = "clear"} << QStringList{"clear", "clear"} << "0: Stopped";
        QTest::addRow("fault in a save")
            << RunCase{.fault = "SAV:WAVE:FILEF INTERNAL"}
            << prepare + arm + QStringList{"write SAV:WAVE:FILEF INTERNAL"} + stopPlain
            << "1: Stopped";
        QTest::addRow("fault after a Stop") << RunCase{.fault = "BUSY?", .stopFirst = true}
                                            << prepare + arm + stopPlain << "1: Stopped";
    }
    void run() {
        QFETCH(RunCase, run);
        Rig rig;
        rig.prefs.wfm = run.saves.contains('i');
        rig.prefs.ascii = run.saves.contains('c');
        rig.prefs.screen = run.saves.contains('s');
        rig.prefs.ask = !run.answers.isEmpty();
        rig.prompter.answers = run.answers;
        rig.prefs.limit = run.limit;
        rig.prefs.stopAfter = run.stopAfter;
        rig.prefs.restoreRun = run.restore;
        rig.prefs.delay = run.delay;
        rig.scope.replyQueues["BUSY?"] = run.busy;
        rig.scope.clearFails = run.fault == "clear";
        rig.scope.afterExchange = [&](const QString &command) {
            if (run.refuseSetUp && command == "BUSY?")
                rig.scope.failNext = 1;
            if (command != run.fault)
                return;
            if (run.stopFirst)
                rig.loop.stop();
            throw std::runtime_error("link lost");
        };
        rig.window.onPump = [&] {
            if (run.stopAt.isEmpty() || rig.host.statusText() != run.stopAt + ".")
                return;
            if (run.scopeGone) {
                rig.scope.clearFails = true;
                rig.scope.failNext = 1000;
            }
            rig.loop.stop();
        };

        rig.loop.run();

        QTEST(rig.traffic(), "expected");
        // A delay runs out its dots after a Stop.
        QString status = rig.host.statusText();
        while (run.delay > 0 && status.endsWith('.'))
            status.chop(1);
        QTEST(status, "status");
        QVERIFY(rig.idle());
        QStringList asked(run.answers.size(), "Save this Aquisition?");
        if (!run.fault.isEmpty())
            asked << "The run stopped because of an error: " +
                         QString(run.fault == "clear" ? "device clear on  failed: scripted failure"
                                                      : "link lost");
        QCOMPARE(rig.prompter.asked, asked);
    }

    // Polls for a trigger go back to back at first, then each waits a little
    // for events, so that hours of waiting do not keep a core busy; a Stop in
    // such a wait sends nothing more.
    void longWaitForATrigger() {
        Rig rig;
        rig.prefs.restoreRun = false;
        rig.scope.replies["BUSY?"] = "1";
        rig.window.onPump = [&] {
            if (rig.host.blockingPumps > 0 || rig.scope.log.size() > 5000)
                rig.loop.stop();
        };

        rig.loop.run();

        QCOMPARE(rig.host.statusText(), "1: Stopped");
        const QStringList traffic = rig.traffic();
        QCOMPARE(traffic.mid(traffic.size() - 2), QStringList({"query BUSY?", "clear"}));
        const qsizetype polls = traffic.count("query BUSY?");
        QVERIFY2(polls > 20 && polls < 1000, qPrintable(QString::number(polls)));
    }

    // A quote, carriage return or line feed would end the quoted name or the
    // message; every name sent goes without them and without any other control
    // character (C0, DEL, C1). The counter goes on across runs.
    void fileNamesSent() {
        Rig rig;
        rig.prefs.ascii = rig.prefs.screen = 1;
        rig.prefs.limit = 1;
        rig.prefs.wfmFspec = rig.prefs.asciiFspec = rig.prefs.screenFspec =
            QString::fromUtf8("E:\\a\"b\r\n*RST;\"\t\x01\x1b\x7f\u0085\u009f_\u00e9");

        rig.loop.run();
        rig.loop.run();

        QStringList expected;
        for (const QString stem : {"1", "2"}) {
            const QString name = QString::fromUtf8("\"E:\\ab*RST;_\u00e9") + stem;
            expected << "SAV:WAVE ALL, " + name + "\""
                     << "SAV:WAVE ALL, " + name + "\""
                     << "SAV:IMAG " + name + ".PNG\"";
        }
        QCOMPARE(rig.scope.sent().filter("RST"), expected);
    }
};

QTEST_GUILESS_MAIN(tst_CaptureLoop)
#include "tst_CaptureLoop.moc"
