#include "CheckValue.h"
#include "ProgramRig.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QtTest>

namespace {

using Answer = Prompter::Answer;

// What the user chooses in Prefs and does during the run; what a row does not
// name keeps these.
struct Scenario {
    QString saves = "i";        // i ISF, c CSV, s screen image
    QList<Answer> answers = {}; // to "Save this Aquisition?"; none: not asked
    QString limit = {};         // the acquisition limit; none: stop-after off
    int stopAfter = 1;          // the stop-after box's value with a limit; 2 greyed
    bool restore = false;
    int delay = 0;
    QStringList simArgs = {};
    QString stopAt = {}; // Stop clicked at this status's first dot
    int starts = 1;
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

        program.settle();
        QCOMPARE(program.window->statusText(), QStringLiteral("2: Done"));
        QTRY_VERIFY(program.window->startEnabled());
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
        // The dialog enables the limit box for a greyed value from the store;
        // the run keeps to that limit.
        QTest::addRow("greyed stop-after")
            << Scenario{.limit = "2", .stopAfter = 2}
            << RunPreparation + Armed + isf("1") + Armed + isf("2") + Unmask << "2: Done";
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
        setCheckValue(prefs.chkStopAfter, run.limit.isNull() ? 0 : run.stopAfter);
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

        for (int start = 0; start < run.starts; ++start) {
            QTRY_VERIFY(window.startEnabled());
            QTest::mouseClick(window.cbStart, Qt::LeftButton);
        }

        program.markEndOfRun();
        QFETCH(QStringList, expected);
        QTRY_COMPARE(withPollsMerged(program.sim.commandLog()),
                     StartUp + expected + QStringList{"*OPC?"});
        // The stopped text stays as Stop left it, in a delay too.
        QTEST(window.statusText(), "status");
        QTRY_VERIFY(window.startEnabled());
        QCOMPARE(program.prompter.asked,
                 QStringList(run.answers.size(), QStringLiteral("Save this Aquisition?")));
    }

    void scopeTrouble_data() {
        QTest::addColumn<QStringList>("simArgs");
        QTest::addColumn<QString>("status");
        QTest::addColumn<int>("isfFiles");
        QTest::addColumn<QString>("warning");

        // The first save is refused: the run ends there and says why, with
        // no "Done" and nothing saved.
        QTest::addRow("drive missing")
            << QStringList{"--drive-missing"} << "1: Stopped" << 0
            << "The scope did not save E:\\my_ISFs_1.\nIt reported: -250,\"Mass storage error; "
               "E: drive not found\"\nThe run has stopped.";
        // Power is cut right after the first save; the scope comes back in
        // its power-on state and the run goes on to its limit.
        QTest::addRow("power cycle")
            << QStringList{"--power-cycle-after", "1", "--power-off-ms", "500"} << "3: Done" << 4
            << QString();
        // A scope slow to give the first reply on every connection (Start's
        // clear reconnects) still saves every acquisition.
        QTest::addRow("slow first reply")
            << QStringList{"--first-reply-delay", "1000"} << "3: Done" << 3 << QString();
    }
    void scopeTrouble() {
        QFETCH(QStringList, simArgs);
        Program program(simArgs);
        QVERIFY(program.start());
        frmMain &window = *program.window;
        frmPrefs &prefs = window.prefsDialog();
        setCheckValue(prefs.chkUseTimestamps, 0);
        prefs.txtAcqLimit->setText(QStringLiteral("3"));

        QTest::mouseClick(window.cbStart, Qt::LeftButton);

        program.settle();
        QTEST(window.statusText(), "status");
        QFETCH(QString, warning);
        QCOMPARE(program.prompter.asked, warning.isEmpty() ? QStringList() : QStringList{warning});
        const QStringList isf = QDir(program.sim.storageDir() + QStringLiteral("/E"))
                                    .entryList({QStringLiteral("*_CH1.isf")}, QDir::Files);
        QTEST(int(isf.size()), "isfFiles");
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

        QTRY_COMPARE_WITH_TIMEOUT(program.prompter.asked, QStringList{"Close program?"}, 30000);
        QCOMPARE(window.statusText(), QStringLiteral("1: Stopped"));
        QTRY_VERIFY(window.startEnabled());
        QCOMPARE(ending.size(), ends ? 1 : 0);
        QCOMPARE(window.isVisible(), !ends);
        QCOMPARE(QFile::exists(program.paths.settingsFile()), ends);
    }
};

QTEST_MAIN(tst_EndToEnd)
#include "tst_endtoend.moc"
