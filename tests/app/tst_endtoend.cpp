#include "AppPaths.h"
#include "CheckValue.h"
#include "InstrumentControl.h"
#include "InstrumentListFile.h"
#include "IoThread.h"
#include "ScriptedPrompter.h"
#include "SimProcess.h"
#include "frmMain.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

const QStringList StartUp{"*IDN?", "DESE 0", "*ESE 0", "*SRE 0", "HEAD 0", "*CLS", "ALLEV?"};
const QStringList RunPreparation{"HEAD 0;VERB 0", "ACQ:STOPA SEQ;STATE 0", "DESE 56", "*CLS"};

// The saves of one acquisition, as the scope receives them.
QStringList isf(const QString &stem) {
    return {"SAV:WAVE:FILEF INTERNAL", "SAV:WAVE ALL, \"E:\\my_ISFs_" + stem + "\"", "BUSY?",
            "FILES:DIR?", "*ESR?"};
}
QStringList csv(const QString &stem) {
    return {"SAV:WAVE:FILEF SPREADS", "SAV:WAVE:GATI NON",
            "SAV:WAVE ALL, \"E:\\my_CSVs_" + stem + "\"", "BUSY?", "*ESR?"};
}
QStringList image(const QString &stem) {
    return {"SAV:IMAG:FILEF PNG",
            "SAV:IMAG:LAY LAN",
            "SAV:IMAG:INKS ON",
            "SAV:IMAG \"E:\\my_Images_" + stem + ".PNG\"",
            "BUSY?",
            "*ESR?"};
}

const QStringList Armed{"ACQ:STATE 1", "BUSY?"};
// Every Stop of a run ends by putting the event mask back.
const QStringList Unmask{"DESE 0"};
const QStringList Restore =
    QStringList{"TRIG", "ACQ:STATE 0", "ACQ:STOPA RUNST", "TRIG:A:MOD AUTO", "ACQ:STATE 1"} +
    Unmask;

using Answer = Prompter::Answer;

// What the user chooses in Prefs and does during the run; what a row does not
// name keeps these.
struct Scenario {
    QString saves = "i";        // i ISF, c CSV, s screen image
    QList<Answer> answers = {}; // to "Save this Aquisition?"; none: not asked
    QString limit = {};         // the acquisition limit; none: stop-after off
    bool restore = false;
    int delay = 0;
    QStringList simArgs = {};
    QString stopAt = {}; // Stop clicked at this status's first dot
    int starts = 1;
};

// How often "BUSY?" is polled depends on timing; the order of everything
// else does not. A run of polls counts as one.
QStringList withPollsMerged(const QStringList &log) {
    QStringList merged;
    for (const QString &line : log)
        if (line != QLatin1String("BUSY?") || merged.isEmpty() || merged.constLast() != line)
            merged << line;
    return merged;
}

// The real program, minus its message boxes, against a simulated scope it
// finds through its instrument list, with the preferences' defaults.
struct Program {
    explicit Program(const QStringList &simArgs)
        : sim(QStringList{"--trigger-mean", "0", "--save-time", "0"} + simArgs) {
        QVERIFY(sim.started());
        QVERIFY(paths.makeConfigDir());
        QFile list(paths.instrumentListFile());
        QVERIFY(list.open(QIODevice::WriteOnly | QIODevice::Text));
        list.write(sim.descriptor().toUtf8());
    }

    bool start() {
        window = std::make_unique<frmMain>(plexor, io, prompter, clock, paths);
        if (!window->Form_Load())
            return false;
        window->show();
        return QTest::qWaitForWindowExposed(window.get());
    }

    SimProcess sim;
    QTemporaryDir dir;
    AppPaths paths{dir.filePath(QStringLiteral("config")), QStringLiteral("mardock"), dir.path()};
    InstrumentControl plexor{{std::make_shared<InstrumentListFile>(paths.instrumentListFile())}};
    IoThread io;
    ScriptedPrompter prompter;
    SystemClock clock;
    std::unique_ptr<frmMain> window;
};

} // namespace

Q_DECLARE_METATYPE(Scenario)

class tst_EndToEnd : public QObject {
    Q_OBJECT

private slots:
    void allThreeSavesTwice() {
        Program program({});
        QVERIFY(program.start());
        QTest::mouseClick(program.window->cbPrefs, Qt::LeftButton);
        frmPrefs &prefs = program.window->prefsDialog();
        setCheckValue(prefs.chkUseTimestamps, 0);
        setCheckValue(prefs.chkASCII, 1);
        setCheckValue(prefs.chkScreen, 1);
        setCheckValue(prefs.chkRestoreRun, 0);
        prefs.txtAcqLimit->setText(QStringLiteral("2"));
        QTest::mouseClick(prefs.cbOK, Qt::LeftButton);

        QTest::mouseClick(program.window->cbStart, Qt::LeftButton);

        QCOMPARE(program.window->statusText(), QStringLiteral("2: Done"));
        QVERIFY(program.window->startEnabled());
        QTRY_COMPARE(withPollsMerged(program.sim.commandLog()),
                     StartUp + RunPreparation + Armed + isf("1") + csv("1") + image("1") + Armed +
                         isf("2") + csv("2") + image("2") + Unmask);
        QCOMPARE(QDir(program.sim.storageDir() + QStringLiteral("/E"))
                     .entryList(QDir::Files, QDir::Name),
                 (QStringList{"my_CSVs_1_CH1.csv", "my_CSVs_1_CH2.csv", "my_CSVs_2_CH1.csv",
                              "my_CSVs_2_CH2.csv", "my_ISFs_1_CH1.isf", "my_ISFs_1_CH2.isf",
                              "my_ISFs_2_CH1.isf", "my_ISFs_2_CH2.isf", "my_Images_1.PNG",
                              "my_Images_2.PNG"}));
    }

    void runs_data() {
        QTest::addColumn<Scenario>("run");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QString>("status");
        QStringList tenCycles = RunPreparation;
        for (int n = 1; n <= 10; ++n)
            tenCycles += Armed + isf(QString::number(n));

        QTest::addRow("image only") << Scenario{.saves = "s", .limit = "1"}
                                    << RunPreparation + Armed + image("1") + Unmask << "1: Done";
        QTest::addRow("ask Yes, No, Cancel; stems go on in the next run")
            << Scenario{.answers = {Answer::Yes, Answer::No, Answer::Cancel, Answer::Yes,
                                    Answer::Cancel},
                        .restore = true,
                        .starts = 2}
            << RunPreparation + Armed + isf("1") + Armed + Armed + Restore + RunPreparation +
                   Armed + isf("4") + Armed + Restore
            << "2: Stopped";
        QTest::addRow("stop after 10")
            << Scenario{.limit = "10"} << tenCycles + Unmask << "10: Done";
        QTest::addRow("limit 0") << Scenario{.limit = "0", .restore = true}
                                 << RunPreparation + Armed + isf("1") + Restore << "1: Done";
        for (const bool restore : {true, false})
            QTest::addRow("Stop in the acquisition wait, restore %s", restore ? "on" : "off")
                << Scenario{.restore = restore,
                            .simArgs = {"--busy-forever"},
                            .stopAt = "1: Waiting for Acquisition"}
                << RunPreparation + Armed + (restore ? Restore : Unmask) << "1: Stopped";
        QTest::addRow("Stop in a save wait")
            << Scenario{.saves = "ic", .simArgs = {"--save-time", "60"}, .stopAt = "1: Save ISF"}
            << RunPreparation + Armed + isf("1").mid(0, 3) + Unmask << "1: Stopped";
        QTest::addRow("Stop in the delay")
            << Scenario{.restore = true, .delay = 2, .stopAt = "Delay after trigger"}
            << RunPreparation + Armed + Restore << "0: Stopped";
    }
    // The user's choices reach the scope as the exact commands of the run,
    // and a Stop anywhere ends it with nothing more sent.
    void runs() {
        QFETCH(Scenario, run);
        Program program(run.simArgs);
        QVERIFY(program.start());
        frmMain &window = *program.window;
        QTest::mouseClick(window.cbPrefs, Qt::LeftButton);
        frmPrefs &prefs = window.prefsDialog();
        setCheckValue(prefs.chkUseTimestamps, 0);
        setCheckValue(prefs.chkWFM, run.saves.contains('i'));
        setCheckValue(prefs.chkASCII, run.saves.contains('c'));
        setCheckValue(prefs.chkScreen, run.saves.contains('s'));
        setCheckValue(prefs.chkAsk, !run.answers.isEmpty());
        setCheckValue(prefs.chkStopAfter, !run.limit.isNull());
        prefs.txtAcqLimit->setText(run.limit);
        setCheckValue(prefs.chkRestoreRun, run.restore);
        prefs.hsDelay->setValue(run.delay);
        QTest::mouseClick(prefs.cbOK, Qt::LeftButton);
        program.prompter.answers = run.answers;
        QTimer user;
        QObject::connect(&user, &QTimer::timeout, [&] {
            if (window.statusText() == run.stopAt + '.') {
                user.stop();
                QTest::mouseClick(window.cbStop, Qt::LeftButton);
            }
        });
        if (!run.stopAt.isEmpty())
            user.start(5);

        for (int start = 0; start < run.starts; ++start)
            QTest::mouseClick(window.cbStart, Qt::LeftButton);

        // A last query marks the end of what the run sent, so the log is not
        // taken while it still grows. It goes behind Stop's queued commands.
        program.io.submit([&] { program.plexor.query(QStringLiteral("*OPC?")); });
        QFETCH(QStringList, expected);
        QTRY_COMPARE(withPollsMerged(program.sim.commandLog()),
                     StartUp + expected + QStringList{"*OPC?"});
        // The stopped text stays as Stop left it, in a delay too.
        QTEST(window.statusText(), "status");
        QVERIFY(window.startEnabled());
        QCOMPARE(program.prompter.asked,
                 QStringList(run.answers.size(), QStringLiteral("Save this Aquisition?")));
    }

    void closeThroughFrameDuringRun_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("ends");

        QTest::addRow("No keeps the window") << int(Prompter::Answer::No) << false;
        QTest::addRow("Yes ends the program") << int(Prompter::Answer::Yes) << true;
    }
    void closeThroughFrameDuringRun() {
        QFETCH(int, answer);
        QFETCH(bool, ends);

        Program program({"--busy-forever"});
        QVERIFY(program.start());
        frmMain &window = *program.window;
        QSignalSpy ending(&window, &frmMain::programEnding);
        program.prompter.answers = {Prompter::Answer(answer)};
        // The user closes the window through its frame once the run waits
        // for the trigger.
        QTimer user;
        QObject::connect(&user, &QTimer::timeout, [&] {
            if (window.statusText().startsWith(QLatin1String("1: Waiting"))) {
                user.stop();
                window.close();
            }
        });
        user.start(5);

        QTest::mouseClick(window.cbStart, Qt::LeftButton);

        QCOMPARE(program.prompter.asked, QStringList{"Close program?"});
        QCOMPARE(window.statusText(), QStringLiteral("1: Stopped"));
        QVERIFY(window.startEnabled());
        QCOMPARE(ending.size(), ends ? 1 : 0);
        QCOMPARE(window.isVisible(), !ends);
        QCOMPARE(QFile::exists(program.paths.settingsFile()), ends);
    }
};

QTEST_MAIN(tst_EndToEnd)
#include "tst_endtoend.moc"
