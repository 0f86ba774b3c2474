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
const QStringList stopRestoring{"clear",
                                "write TRIG",
                                "write ACQ:STATE 0",
                                "write ACQ:STOPA RUNST",
                                "write TRIG:A:MOD AUTO",
                                "write ACQ:STATE 1"};

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
QStringList allThree(const QString &stem) {
    return isf(stem) + csv(stem) + image(stem);
}

Prompter::Answer answerFor(QChar letter) {
    return letter == 'Y' ? Prompter::Answer::Yes
                         : (letter == 'N' ? Prompter::Answer::No : Prompter::Answer::Cancel);
}

} // namespace

class tst_CaptureLoop : public QObject {
    Q_OBJECT

private slots:
    void run_data() {
        QTest::addColumn<QString>("saves");   // i ISF, c CSV, s screen image
        QTest::addColumn<QString>("answers"); // Y, N, C; empty: no question
        QTest::addColumn<int>("limit");
        QTest::addColumn<bool>("restore");
        QTest::addColumn<QString>("stopAt"); // Stop pressed at this status's first dot
        QTest::addColumn<QStringList>("busy");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QString>("status");
        const auto row = [](const char *name, const char *saves, const char *answers, int limit,
                            bool restore, const char *stopAt, const QStringList &expected,
                            const char *status, const QStringList &busy = {}) {
            QTest::addRow("%s", name) << QString(saves) << QString(answers) << limit << restore
                                      << QString(stopAt) << busy << expected << QString(status);
        };
        const auto isfCycles = [](int count) {
            QStringList traffic = prepare;
            for (int n = 1; n <= count; ++n)
                traffic += arm + isf(QString::number(n));
            return traffic;
        };

        row("all three saves", "ics", "", 2, false, "",
            prepare + arm + allThree("1") + arm + allThree("2") + stopPlain, "2: Done");
        row("image only", "s", "", 1, false, "", prepare + arm + image("1") + stopPlain, "1: Done");
        row("anything but 0 is busy", "i", "", 1, false, "",
            prepare + QStringList{"write ACQ:STATE 1"} + QStringList(5, "query BUSY?") + isf("1") +
                stopPlain,
            "1: Done", {"1", "0 ", "", "00", "0"});
        row("ask No counts and uses up a stem", "i", "NY", 2, false, "",
            prepare + arm + arm + isf("2") + stopPlain, "2: Done");
        row("ask Cancel stops", "i", "C", 10, true, "", prepare + arm + stopRestoring,
            "1: Stopped");
        row("limit 0 ends after the first", "i", "", 0, true, "",
            prepare + arm + isf("1") + stopRestoring, "1: Done");
        row("stop after 10", "i", "", 10, false, "", isfCycles(10) + stopPlain, "10: Done");
        row("Stop in acquisition wait", "i", "", 10, false, "4: Waiting for Acquisition",
            isfCycles(3) + arm + stopPlain, "4: Stopped", QStringList(6, "0") + QStringList{"1"});
        row("Stop in ISF save wait", "ics", "", 10, false, "1: Save ISF",
            prepare + arm + isf("1").mid(0, 3) + stopPlain, "1: Stopped");
        row("Stop in CSV save wait", "ics", "", 10, false, "1: Save CSV",
            prepare + arm + isf("1") + csv("1") + stopPlain, "1: Stopped");
        row("Stop in image save wait, restoring", "ics", "", 10, true, "1: Save Screen",
            prepare + arm + allThree("1") + stopRestoring, "1: Stopped");
    }
    void run() {
        QFETCH(QString, saves);
        QFETCH(QString, answers);
        QFETCH(int, limit);
        QFETCH(bool, restore);
        QFETCH(QString, stopAt);
        QFETCH(QStringList, busy);
        Rig rig;
        rig.prefs.wfm = saves.contains('i');
        rig.prefs.ascii = saves.contains('c');
        rig.prefs.screen = saves.contains('s');
        rig.prefs.ask = !answers.isEmpty();
        for (QChar letter : answers)
            rig.prompter.answers << answerFor(letter);
        rig.prefs.limit = limit;
        rig.prefs.restoreRun = restore;
        rig.scope.replyQueues["BUSY?"] = busy;
        rig.window.onPump = [&] {
            if (!stopAt.isEmpty() && rig.host.statusText() == stopAt + ".")
                rig.loop.stop();
        };

        rig.loop.run();

        QTEST(rig.traffic(), "expected");
        QTEST(rig.host.statusText(), "status");
        QVERIFY(rig.idle());
        QCOMPARE(rig.prompter.asked, QStringList(answers.size(), "Save this Aquisition?"));
    }

    void stopDuringSetUpRetryPreventsTheSave() {
        Rig rig;
        // The scope refuses the first set-up command after the trigger.
        rig.scope.afterExchange = [&](const QString &command) {
            if (command == "BUSY?")
                rig.scope.failNext = 1;
        };
        rig.window.onPump = [&] {
            if (rig.scope.log.endsWith("write SAV:WAVE:FILEF INTERNAL"))
                rig.loop.stop();
        };

        rig.loop.run();

        QCOMPARE(rig.host.statusText(), "1: Stopped");
        QVERIFY(!rig.traffic().join('|').contains("SAV:WAVE ALL"));
        QVERIFY(rig.idle());
    }

    void stopDuringDelayPreventsSaves() {
        Rig rig;
        rig.prefs.delay = 2;
        const QDateTime armed = rig.clock.now();
        rig.window.onPump = [&] {
            if (rig.host.statusText() == "Delay after trigger.")
                rig.loop.stop();
        };

        rig.loop.run();

        QCOMPARE(rig.traffic(), prepare + arm + stopRestoring);
        QVERIFY(rig.host.statusText().startsWith("0: Stopped"));
        QVERIFY(rig.idle());
        QVERIFY(armed.msecsTo(rig.clock.now()) >= 2000);
    }

    void stopWhenIdle_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<bool>("restore");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QString>("after");
        QTest::addRow("run status") << "12: Save CSV..." << false << stopPlain << "12: Stopped";
        QTest::addRow("word, restoring")
            << "Delay after trigger" << true << stopRestoring << "0: Stopped";
        QTest::addRow("restoring, scope refuses")
            << "3: x" << true << QStringList{"clear", "write TRIG"} << "3: Stopped";
        QTest::addRow("blanks and zeros") << "  007: x" << false << stopPlain << "7: Stopped";
        QTest::addRow("wider than 64 bits") << "123456789012345678901234: x" << false << stopPlain
                                            << "123456789012345678901234: Stopped";
    }
    void stopWhenIdle() {
        QFETCH(QString, before);
        QFETCH(bool, restore);
        Rig rig;
        rig.host.setStatusText(before);
        rig.prefs.restoreRun = restore;
        // With no run active a refused command is tried once, and ends the restore.
        if (QTest::currentDataTag() == QLatin1String("restoring, scope refuses"))
            rig.scope.failNext = 5;

        rig.loop.stop();

        QTEST(rig.traffic(), "expected");
        QTEST(rig.host.statusText(), "after");
        QVERIFY(rig.idle());
    }

    void stopEndsWithDeadScope() {
        Rig rig;
        rig.scope.replies["BUSY?"] = "1";
        rig.window.onPump = [&] {
            if (rig.scope.clearFails)
                return;
            rig.scope.clearFails = true;
            rig.scope.failNext = 1000000;
            rig.loop.stop();
        };

        rig.loop.run();

        QVERIFY(rig.idle());
        QCOMPARE(rig.host.statusText(), "1: Stopped");
        QVERIFY(rig.prompter.asked.isEmpty());
        const QStringList traffic = rig.traffic();
        // Two attempts at the first restore command, then Stop gives up.
        QCOMPARE(traffic.mid(traffic.lastIndexOf("clear")),
                 QStringList({"clear", "write TRIG", "write TRIG"}));
    }

    void acquisitionWaitPauses_data() {
        QTest::addColumn<int>("busyPolls");
        QTest::addColumn<bool>("pauses");
        QTest::addRow("trigger at once") << 0 << false;
        QTest::addRow("trigger soon after arming, polled back to back") << 20 << false;
        QTest::addRow("long wait for a trigger") << 1000 << true;
    }
    void acquisitionWaitPauses() {
        QFETCH(int, busyPolls);
        Rig rig;
        rig.prefs.limit = 1;
        rig.scope.replyQueues["BUSY?"] = QStringList(busyPolls, "1");

        rig.loop.run();

        QCOMPARE(rig.traffic().count("query BUSY?"), busyPolls + 2);
        QTEST(rig.host.blockingPumps > 0, "pauses");
        QCOMPARE(rig.host.statusText(), "1: Done");
    }

    void stopDuringPollPauseSendsNothingMore() {
        Rig rig;
        rig.prefs.restoreRun = false;
        rig.scope.replies["BUSY?"] = "1";
        rig.window.onPump = [&] {
            if (rig.host.blockingPumps == 1 && !rig.host.startEnabled())
                rig.loop.stop();
        };

        rig.loop.run();

        QVERIFY(rig.idle());
        QCOMPARE(rig.host.statusText(), "1: Stopped");
        QCOMPARE(rig.traffic().mid(rig.traffic().size() - 2),
                 QStringList({"query BUSY?", "clear"}));
    }

    void fileNameGuard_data() {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("sent");
        QTest::addRow("quote") << "E:\\a\"b_"
                               << "E:\\ab_";
        QTest::addRow("CR LF") << "E:\\x\r\n*RST\r\n_"
                               << "E:\\x*RST_";
        QTest::addRow("quote then commands") << "E:\\\";*RST;\"_"
                                             << "E:\\;*RST;_";
    }
    void fileNameGuard() {
        QFETCH(QString, start);
        QFETCH(QString, sent);
        Rig rig;
        rig.prefs.ascii = rig.prefs.screen = 1;
        rig.prefs.limit = 1;
        rig.prefs.wfmFspec = rig.prefs.asciiFspec = rig.prefs.screenFspec = start;

        rig.loop.run();

        const QString name = "\"" + sent + "1";
        QCOMPARE(rig.scope.sent().filter(name),
                 QStringList({"SAV:WAVE ALL, " + name + "\"", "SAV:WAVE ALL, " + name + "\"",
                              "SAV:IMAG " + name + ".PNG\""}));
    }

    void errorEndsRun_data() {
        QTest::addColumn<QString>("throwAfter"); // empty: the device clear fails
        QTest::addColumn<bool>("stoppedFirst");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("status");
        const QString prefix = "The run stopped because of an error: ";
        QTest::addRow("device clear at start")
            << "" << false << prefix + "device clear on  failed: scripted failure"
            << "0: Stopped";
        QTest::addRow("transport fault in a save")
            << "SAV:WAVE:FILEF INTERNAL" << false << prefix + "link lost"
            << "1: Stopped";
        QTest::addRow("fault after a Stop, no second Stop")
            << "BUSY?" << true << prefix + "link lost"
            << "1: Stopped";
    }
    void errorEndsRun() {
        QFETCH(QString, throwAfter);
        QFETCH(bool, stoppedFirst);
        Rig rig;
        rig.prefs.restoreRun = 0;
        rig.scope.clearFails = throwAfter.isEmpty();
        rig.scope.afterExchange = [&](const QString &command) {
            if (command != throwAfter)
                return;
            if (stoppedFirst)
                rig.loop.stop();
            throw std::runtime_error("link lost");
        };

        rig.loop.run();

        QVERIFY(rig.idle());
        QTEST(rig.host.statusText(), "status");
        QCOMPARE(rig.prompter.asked.size(), 1);
        QTEST(rig.prompter.asked.value(0), "message");
        QCOMPARE(rig.prompter.icons, QList<Prompter::Icon>{Prompter::Icon::Warning});
        QCOMPARE(rig.traffic().count("clear"), 2); // the run's and one Stop's
    }

    void counterStemsContinueAcrossRuns() {
        Rig rig;
        rig.prefs.ask = 1;
        rig.prefs.limit = 2;
        rig.prompter.answers = {Prompter::Answer::Yes, Prompter::Answer::No};
        rig.loop.run();
        rig.prefs.limit = 1;
        rig.prompter.answers = {Prompter::Answer::Yes};
        rig.loop.run();

        QCOMPARE(
            rig.scope.sent().filter("SAV:WAVE ALL"),
            QStringList({"SAV:WAVE ALL, \"E:\\my_ISFs_1\"", "SAV:WAVE ALL, \"E:\\my_ISFs_3\""}));
        QCOMPARE(rig.host.statusText(), "1: Done");
    }
};

QTEST_GUILESS_MAIN(tst_CaptureLoop)
#include "tst_CaptureLoop.moc"
