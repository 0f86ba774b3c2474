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

#include <functional>

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

QStringList storedFiles(const SimProcess &sim) {
    return QDir(sim.storageDir() + QStringLiteral("/E")).entryList(QDir::Files, QDir::Name);
}

// Acts once, from inside the run's event pumps, as soon as the status line
// starts with the given text: a user reacting to what the window shows.
void whenStatus(frmMain &window, const QString &start, std::function<void()> action) {
    auto *timer = new QTimer(&window);
    QObject::connect(timer, &QTimer::timeout, &window, [=, &window] {
        if (window.statusText().startsWith(start)) {
            timer->deleteLater();
            timer->stop();
            action();
        }
    });
    timer->start(5);
}

// The real program, minus its message boxes, against a simulated scope.
struct Program {
    explicit Program(const QStringList &simArgs, const QStringList &extraInstruments = {})
        : sim(QStringList{"--trigger-mean", "0", "--save-time", "0"} + simArgs) {
        QVERIFY(sim.started());
        QVERIFY(paths.makeConfigDir());
        QFile list(paths.instrumentListFile());
        QVERIFY(list.open(QIODevice::WriteOnly | QIODevice::Text));
        list.write((extraInstruments + QStringList{sim.descriptor()}).join('\n').toUtf8());
    }

    bool start() {
        window = std::make_unique<frmMain>(plexor, prompter, clock, paths);
        if (!window->Form_Load())
            return false;
        window->show();
        return QTest::qWaitForWindowExposed(window.get());
    }

    // Chooses what to save through the dialog, as a user would, with counter stems.
    void choose(bool isf, bool csv, bool image, int limit, bool restore) {
        QTest::mouseClick(window->cbPrefs, Qt::LeftButton);
        frmPrefs &prefs = window->prefsDialog();
        setCheckValue(prefs.chkUseTimestamps, 0);
        setCheckValue(prefs.chkWFM, isf);
        setCheckValue(prefs.chkASCII, csv);
        setCheckValue(prefs.chkScreen, image);
        setCheckValue(prefs.chkStopAfter, limit > 0);
        prefs.txtAcqLimit->setText(QString::number(limit));
        setCheckValue(prefs.chkRestoreRun, restore);
        QTest::mouseClick(prefs.cbOK, Qt::LeftButton);
    }

    QStringList runLog() const { return withPollsMerged(sim.commandLog().mid(StartUp.size())); }

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
        program.choose(true, true, true, 2, false);

        QTest::mouseClick(program.window->cbStart, Qt::LeftButton);

        QCOMPARE(program.window->statusText(), QStringLiteral("2: Done"));
        QVERIFY(program.window->startEnabled());
        QTRY_COMPARE(program.runLog(),
                     RunPreparation + Armed + allSaves("1") + Armed + allSaves("2"));
        QCOMPARE(storedFiles(program.sim),
                 (QStringList{"my_CSVs_1_CH1.csv", "my_CSVs_1_CH2.csv", "my_CSVs_2_CH1.csv",
                              "my_CSVs_2_CH2.csv", "my_ISFs_1_CH1.isf", "my_ISFs_1_CH2.isf",
                              "my_ISFs_2_CH1.isf", "my_ISFs_2_CH2.isf", "my_Images_1.PNG",
                              "my_Images_2.PNG"}));
    }

    void stopWithTheScopeGone() {
        Program program({"--busy-forever"});
        QVERIFY(program.start());
        program.choose(true, false, false, 10, true);
        frmMain &window = *program.window;
        whenStatus(window, "1: Waiting", [&] {
            program.sim.kill();
            QTest::mouseClick(window.cbStop, Qt::LeftButton);
        });

        QTest::mouseClick(window.cbStart, Qt::LeftButton);

        QCOMPARE(window.statusText(), QStringLiteral("1: Stopped"));
        QVERIFY(window.startEnabled());
        QVERIFY(!window.cbStop->isEnabled());
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
        program.choose(true, false, false, 10, false);
        frmMain &window = *program.window;
        QSignalSpy ending(&window, &frmMain::programEnding);
        program.prompter.answers = {Prompter::Answer(answer)};
        whenStatus(window, "1: Waiting", [&] { window.close(); });

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
