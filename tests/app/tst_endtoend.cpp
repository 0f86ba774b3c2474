#include "AppPaths.h"
#include "CheckValue.h"
#include "InstrumentControl.h"
#include "InstrumentListFile.h"
#include "ScriptedPrompter.h"
#include "SimProcess.h"
#include "frmMain.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

const QStringList StartUp{"*IDN?", "DESE 0", "*ESE 0", "*SRE 0", "HEAD 0", "*CLS", "ALLEV?"};
const QStringList RunPreparation{"HEAD 0;VERB 0", "ACQ:STOPA SEQ;STATE 0"};

// The three saves of one acquisition, as the scope receives them.
QStringList allSaves(const QString &stem) {
    return QStringLiteral(
               "SAV:WAVE:FILEF INTERNAL|SAV:WAVE ALL, \"E:\\my_ISFs_%1\"|BUSY?|"
               "FILES:DIR?|SAV:WAVE:FILEF SPREADS|SAV:WAVE:GATI NON|"
               "SAV:WAVE ALL, \"E:\\my_CSVs_%1\"|BUSY?|SAV:IMAG:FILEF PNG|"
               "SAV:IMAG:LAY LAN|SAV:IMAG:INKS ON|SAV:IMAG \"E:\\my_Images_%1.PNG\"|BUSY?")
        .arg(stem)
        .split(u'|');
}

const QStringList Armed{"ACQ:STATE 1", "BUSY?"};

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
        window = std::make_unique<frmMain>(plexor, prompter, clock, paths);
        if (!window->Form_Load())
            return false;
        window->show();
        return QTest::qWaitForWindowExposed(window.get());
    }

    SimProcess sim;
    QTemporaryDir dir;
    AppPaths paths{dir.filePath(QStringLiteral("config")), QStringLiteral("mardock"), dir.path()};
    InstrumentControl plexor{{std::make_shared<InstrumentListFile>(paths.instrumentListFile())}};
    ScriptedPrompter prompter;
    SystemClock clock;
    std::unique_ptr<frmMain> window;
};

} // namespace

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
                     StartUp + RunPreparation + Armed + allSaves("1") + Armed + allSaves("2"));
        QCOMPARE(QDir(program.sim.storageDir() + QStringLiteral("/E"))
                     .entryList(QDir::Files, QDir::Name),
                 (QStringList{"my_CSVs_1_CH1.csv", "my_CSVs_1_CH2.csv", "my_CSVs_2_CH1.csv",
                              "my_CSVs_2_CH2.csv", "my_ISFs_1_CH1.isf", "my_ISFs_1_CH2.isf",
                              "my_ISFs_2_CH1.isf", "my_ISFs_2_CH2.isf", "my_Images_1.PNG",
                              "my_Images_2.PNG"}));
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
