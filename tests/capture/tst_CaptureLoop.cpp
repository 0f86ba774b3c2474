#include "Cancellation.h"
#include "CaptureLoop.h"
#include "Exchange.h"
#include "FakeClock.h"
#include "FakeInstrument.h"
#include "FakeMonotonicClock.h"
#include "FakeRunPreferences.h"
#include "FakeRunView.h"
#include "FileNamer.h"
#include "Run.h"
#include "ScriptedPrompter.h"

#include <QTest>
#include <stdexcept>

namespace {

// Everything the engine touches, faked, with no run active and the scope's
// error reporting on, as after start-up. The run goes on the test's thread;
// a Stop is requested from within it, as the window would from its own.
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
    bool idle() const { return !run.running(); }
    void start() { loop.run(run.requestStart(), prefs); }

    FakeClock clock;
    FakeMonotonicClock monotonic{&clock};
    FakeRunView view;
    Cancellation cancellation;
    Run run{view, cancellation};
    FakeInstrument scope;
    Exchange exchange{scope, run, monotonic, cancellation};
    FakeRunPreferences prefs;
    FileNamer namer{clock};
    ScriptedPrompter prompter;
    CaptureLoop loop{exchange, run, namer, prompter, monotonic};
};

const QStringList prepare{"clear", "write HEAD 0;VERB 0", "write ACQ:STOPA SEQ;STATE 0",
                          "write DESE 56", "write *CLS"};
const QStringList arm{"write ACQ:STATE 1", "query BUSY?"};
// Stop puts the event mask back as start-up left it.
const QStringList stopPlain{"clear", "write DESE 0"};
const QStringList stopRestoring =
    QString("clear|write TRIG|write ACQ:STATE 0|write ACQ:STOPA RUNST|write TRIG:A:MOD AUTO|"
            "write ACQ:STATE 1|write DESE 0")
        .split('|');
// A scope that came back is given start-up's settings and the run's event
// mask, then asked whether it still runs single sequences.
const QStringList prepareAgain =
    QString("write DESE 0|write *ESE 0|write *SRE 0|write HEAD 0|write *CLS|write DESE 56|"
            "write *CLS|query ACQ:STOPA?")
        .split('|');

QStringList isf(const QString &stem) {
    return {"write SAV:WAVE:FILEF INTERNAL", "write SAV:WAVE ALL, \"E:\\my_ISFs_" + stem + "\"",
            "query BUSY?", "query FILES:DIR?", "query *ESR?"};
}
QStringList csv(const QString &stem) {
    return {"write SAV:WAVE:FILEF SPREADS", "write SAV:WAVE:GATI NON",
            "write SAV:WAVE ALL, \"E:\\my_CSVs_" + stem + "\"", "query BUSY?", "query *ESR?"};
}
QStringList image(const QString &stem) {
    return {"write SAV:IMAG:FILEF PNG",
            "write SAV:IMAG:LAY LAN",
            "write SAV:IMAG:INKS ON",
            "write SAV:IMAG \"E:\\my_Images_" + stem + ".PNG\"",
            "query BUSY?",
            "query *ESR?"};
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
    QStringList busy = {};       // BUSY? replies before it answers "0"
    QString stopAt = {};         // Stop pressed at this status's first dot
    bool scopeGone = false;      // ... just after the scope stopped answering
    bool refuseSetUp = false;    // the first command after a trigger fails
    QString fault = {};          // the link throws after this command; "clear": at the run's clear
    bool stopFirst = false;      // Stop pressed just before the fault
    bool oddFault = false;       // the fault is no std::exception
    bool stopInQuestion = false; // Stop pressed while the question stands
    QString esr = {};            // the scope's reply to "*ESR?"
    QString reconnectAt = {};    // the link comes back on a new connection at this command
    QString mode = {};           // the scope's reply to "ACQ:STOPA?"
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
            << prepare + arm + isf("1") + csv("1").mid(0, 4) + stopPlain << "1: Stopped";
        QTest::addRow("Stop in image save wait, restoring")
            << RunCase{.saves = "ics", .restore = true, .stopAt = "1: Save Screen"}
            << prepare + arm + isf("1") + csv("1") + image("1").mid(0, 5) + stopRestoring
            << "1: Stopped";
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
        QTest::addRow("fault of no standard kind")
            << RunCase{.fault = "SAV:WAVE:FILEF INTERNAL", .oddFault = true}
            << prepare + arm + QStringList{"write SAV:WAVE:FILEF INTERNAL"} + stopPlain
            << "1: Stopped";
        // The window takes no input while it asks; a Stop that comes anyway
        // ends the run as Cancel does, whatever the answer.
        QTest::addRow("Stop during the question")
            << RunCase{.answers = {Answer::Yes}, .restore = true, .stopInQuestion = true}
            << prepare + arm + stopRestoring << "1: Stopped";
        // A save the scope refused (no drive) ends the run with its words.
        QTest::addRow("refused save")
            << RunCase{.saves = "ic", .esr = "16"}
            << prepare + arm + isf("1") + QStringList{"query ALLEV?"} + stopPlain << "1: Stopped";
        QTest::addRow("query error is no refused save")
            << RunCase{.limit = 1, .esr = "4"} << prepare + arm + isf("1") + stopPlain << "1: Done";
        // The poll that came over a new connection is asked again once the
        // scope is prepared; one still in single sequence goes on.
        QTest::addRow("scope back, still armed")
            << RunCase{.limit = 1, .reconnectAt = "BUSY?", .mode = ":ACQUIRE:STOPAFTER SEQUENCE"}
            << prepare + arm + prepareAgain + QStringList{"query BUSY?"} + isf("1") + stopPlain
            << "1: Done";
        // One that restarted is prepared as at Start and armed again for the
        // same acquisition; the stem is taken only once it completes.
        QTest::addRow("scope restarted")
            << RunCase{.limit = 1, .reconnectAt = "SAV:WAVE:FILEF INTERNAL", .mode = "RUNSTOP"}
            << prepare + arm + QStringList{"write SAV:WAVE:FILEF INTERNAL"} + prepareAgain +
                   prepare + arm + isf("2") + stopPlain
            << "1: Done";
    }
    void run() {
        QFETCH(RunCase, run);
        Rig rig;
        rig.prefs.wfm = run.saves.contains('i');
        rig.prefs.ascii = run.saves.contains('c');
        rig.prefs.screen = run.saves.contains('s');
        rig.prefs.ask = !run.answers.isEmpty();
        rig.prompter.answers = run.answers;
        if (run.stopInQuestion)
            rig.prompter.onAsk = [&](const QString &) { rig.run.requestStop(); };
        rig.prefs.limit = run.limit;
        rig.prefs.stopAfter = run.stopAfter;
        rig.prefs.restoreRun = run.restore;
        rig.prefs.delay = run.delay;
        rig.scope.replyQueues["BUSY?"] = run.busy;
        if (!run.esr.isEmpty())
            rig.scope.replies["*ESR?"] = run.esr;
        rig.scope.replies["ALLEV?"] = "-250,\"Mass storage error; no drive\"";
        rig.scope.replies["ACQ:STOPA?"] = run.mode;
        rig.scope.clearFails = run.fault == "clear";
        rig.scope.afterExchange = [&](const QString &command) {
            if (run.refuseSetUp && command == "BUSY?")
                rig.scope.failNext = 1;
            if (command == run.reconnectAt) {
                rig.scope.reconnected = true;
                // Once: later ones are the ordinary exchanges of the run.
                run.reconnectAt = "done";
            }
            if (command != run.fault)
                return;
            if (run.stopFirst)
                rig.run.requestStop();
            if (run.oddFault)
                throw 42;
            throw std::runtime_error("link lost");
        };
        rig.view.onStatus = [&](const QString &text) {
            if (run.stopAt.isEmpty() || text != run.stopAt + ".")
                return;
            if (run.scopeGone) {
                rig.scope.clearFails = true;
                rig.scope.failNext = 1000;
            }
            rig.run.requestStop();
        };

        rig.start();

        QTEST(rig.traffic(), "expected");
        // The stopped text stays as Stop left it, in a delay too.
        QTEST(rig.run.status(), "status");
        QVERIFY(rig.idle());
        QStringList asked(run.answers.size(), "Save this Aquisition?");
        if (run.esr == "16")
            asked << "The scope did not save E:\\my_ISFs_1.\nIt reported: -250,\"Mass storage "
                     "error; no drive\"\nThe run has stopped.";
        if (!run.fault.isEmpty())
            asked << "The run stopped because of an error: " +
                         QString(run.fault == "clear" ? "device clear on  failed: scripted failure"
                                 : run.oddFault       ? "an unknown error"
                                                      : "link lost");
        QCOMPARE(rig.prompter.asked, asked);
    }

    // A Stop deep in a wait for a trigger, where the polls are paced, sends
    // nothing more than Stop's own commands.
    void longWaitForATrigger() {
        Rig rig;
        rig.prefs.restoreRun = false;
        rig.scope.replies["BUSY?"] = "1";
        rig.scope.afterExchange = [&](const QString &) {
            // Each poll takes a millisecond, so the wait comes to be paced.
            rig.monotonic.advance(std::chrono::milliseconds(1));
            if (rig.scope.log.count("query BUSY?") > 300)
                rig.run.requestStop();
        };

        rig.start();

        QCOMPARE(rig.run.status(), "1: Stopped");
        const QStringList traffic = rig.traffic();
        QCOMPARE(traffic.mid(traffic.size() - 3),
                 QStringList({"query BUSY?", "clear", "write DESE 0"}));
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

        rig.start();
        rig.start();

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
