#include "AppPaths.h"
#include "CheckValue.h"
#include "FakeClock.h"
#include "FakeInstrument.h"
#include "MonotonicClock.h"
#include "ScriptedPrompter.h"
#include "SingleInstance.h"
#include "frmMain.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QtTest>

#include <atomic>
#include <mutex>
#include <thread>

namespace {

const QString Scope = QStringLiteral("TCPIP0::10.0.0.1::4000::SOCKET");
const QString Identification = QStringLiteral("SIMULATED,KXA5034,SN0001,FW 1.0");

QList<QTextBrowser *> openViewers() {
    QList<QTextBrowser *> viewers;
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (widget->objectName() == QLatin1String("helpViewer") && widget->isVisible())
            viewers << qobject_cast<QTextBrowser *>(widget);
    return viewers;
}

// What the scripted scope was sent, kept as the run thread sends it, so the
// test's thread can read it at any time.
struct SentLog {
    void record(const QString &command) {
        const std::lock_guard guard(lock);
        commands << command;
    }
    QStringList taken() const {
        const std::lock_guard guard(lock);
        return commands;
    }

    mutable std::mutex lock;
    QStringList commands;
};

const QStringList Restore{"TRIG",        "ACQ:STATE 0", "ACQ:STOPA RUNST", "TRIG:A:MOD AUTO",
                          "ACQ:STATE 1", "DESE 0"};

// A main window against a scripted scope, with its own settings folder.
struct Fixture {
    Fixture() {
        instrument.resources = QStringList{Scope};
        instrument.idn.insert(Scope, Identification);
        QDir(dir.path()).mkdir(QStringLiteral("runtime"));
        QFile guide(dir.filePath(QStringLiteral("guide.md")));
        if (guide.open(QIODevice::WriteOnly))
            guide.write("# Mardock User Guide\n\nPress **Start**.\n");
    }

    bool start() {
        QSignalSpy ended(&window, &frmMain::startUpEnded);
        if (!window.Form_Load() || (ended.isEmpty() && !ended.wait(30000)) ||
            !ended.constFirst().constFirst().toBool())
            return false;
        window.show();
        return QTest::qWaitForWindowExposed(&window);
    }

    QTemporaryDir dir;
    AppPaths paths{dir.filePath(QStringLiteral("config")), dir.filePath(QStringLiteral("runtime")),
                   QStringLiteral("mardock"), dir.path(), dir.filePath(QStringLiteral("state"))};
    FakeInstrument instrument;
    ScriptedPrompter prompter;
    FakeClock clock;
    SteadyClock monotonic;
    frmMain window{instrument, prompter, clock, monotonic, paths};
};

} // namespace

class tst_frmMain : public QObject {
    Q_OBJECT

private slots:
    void startedWindow() {
        Fixture f;
        QVERIFY(f.start());
        QCOMPARE(f.window.size(), QSize(163, 45));
        QVERIFY(!f.window.windowIcon().isNull());
        QVERIFY(f.window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        f.window.Text1->setFocus();
        QTest::keyClicks(f.window.Text1, QStringLiteral("typed"));
        QCOMPARE(f.window.statusText(), Identification);

        const auto enabled = [&] {
            return QList<bool>{f.window.cbPrefs->isEnabled(), f.window.cbStart->isEnabled(),
                               f.window.cbStop->isEnabled(), f.window.cbClose->isEnabled()};
        };
        const QList<bool> idle{true, true, false, true};
        QCOMPARE(enabled(), idle);
        f.window.setRunButtons();
        QCOMPARE(enabled(), (QList<bool>{false, false, true, false}));
        QVERIFY(!f.window.startEnabled());
        f.window.setIdleButtons();
        QCOMPARE(enabled(), idle);
    }

    // Another copy holding the lock, or a lock that cannot be made at all,
    // ends the start before the scope is touched.
    void guardedStartEndsBeforeTouchingTheScope_data() {
        QTest::addColumn<bool>("otherCopy");
        QTest::addColumn<QString>("message");
        QTest::addRow("another copy runs") << true << QStringLiteral("Mardock is already running.");
        QTest::addRow("lock cannot be made") << false << QStringLiteral("Mardock cannot start");
    }
    void guardedStartEndsBeforeTouchingTheScope() {
        QFETCH(bool, otherCopy);
        QFETCH(QString, message);
        Fixture f;
        SingleInstance running(f.paths.lockFile());
        if (otherCopy)
            QCOMPARE(running.acquire(), SingleInstance::Outcome::Acquired);
        else
            QVERIFY(QDir(f.dir.filePath(QStringLiteral("runtime"))).removeRecursively());

        QVERIFY(!f.start());
        QCOMPARE(f.prompter.asked.size(), 1);
        QVERIFY2(f.prompter.asked[0].startsWith(message), qPrintable(f.prompter.asked[0]));
        QVERIFY(f.instrument.log.isEmpty());
    }

    // Start with nothing chosen puts the dialog in the window's place; its Help
    // and Defaults reach the window's guide and the store.
    void startWithNothingSelectedOpensPrefs() {
        Fixture f;
        QVERIFY(f.start());
        frmPrefs &prefs = f.window.prefsDialog();
        // A greyed box saves nothing in the run, so it does not count as chosen.
        setCheckValue(prefs.chkWFM, 2);
        setCheckValue(prefs.chkASCII, 0);
        setCheckValue(prefs.chkScreen, 0);
        const QStringList logBefore = f.instrument.log;

        QTest::mouseClick(f.window.cbStart, Qt::LeftButton);

        QCOMPARE(f.prompter.asked,
                 QStringList{QStringLiteral("Nothing to selected to Save. Check Prefs")});
        QCOMPARE(f.instrument.log, logBefore);
        QVERIFY(!f.window.isVisible() && prefs.isVisible());

        QTest::mouseClick(prefs.cbHelp, Qt::LeftButton);
        QPointer<QTextBrowser> viewer = openViewers().value(0);
        QVERIFY(viewer && viewer->toPlainText().contains(QLatin1String("Mardock User Guide")));
        // Each Help replaces the viewer an earlier Help opened, even one the user closed.
        f.window.show_help();
        QTRY_VERIFY(viewer.isNull());
        QCOMPARE(openViewers().size(), 1);
        viewer = openViewers().constFirst();
        viewer->close();
        QTRY_VERIFY(viewer.isNull());
        f.window.show_help();
        QCOMPARE(openViewers().size(), 1);

        f.prompter.answers = {Prompter::Answer::Ok};
        QTest::mouseClick(prefs.cbDefault, Qt::LeftButton);
        QCOMPARE(checkValue(prefs.chkWFM), 1);
        QTest::mouseClick(prefs.cbOK, Qt::LeftButton);
        QVERIFY(f.window.isVisible());
    }

    void close_data() {
        QTest::addColumn<bool>("throughFrame");
        QTest::addColumn<int>("answer");
        // A folder where the settings file should be: no write can succeed.
        QTest::addColumn<bool>("unwritable");

        const int no = int(Prompter::Answer::No), yes = int(Prompter::Answer::Yes);
        QTest::addRow("button, No") << false << no << false;
        QTest::addRow("button, Yes") << false << yes << false;
        QTest::addRow("frame, No") << true << no << false;
        QTest::addRow("frame, Yes") << true << yes << false;
        QTest::addRow("Yes, settings unwritable") << false << yes << true;
    }
    void close() {
        QFETCH(bool, throughFrame);
        QFETCH(int, answer);
        QFETCH(bool, unwritable);
        const bool ends = Prompter::Answer(answer) == Prompter::Answer::Yes;

        Fixture f;
        QVERIFY(f.start());
        setCheckValue(f.window.prefsDialog().chkRestoreRun, 1);
        f.window.prefsDialog().txtAcqLimit->setText(QStringLiteral("25"));
        QVERIFY(!unwritable || QDir().mkpath(f.paths.settingsFile()));
        QSignalSpy ending(&f.window, &frmMain::programEnding);
        f.prompter.answers = {Prompter::Answer(answer)};

        if (throughFrame)
            f.window.close();
        else
            QTest::mouseClick(f.window.cbClose, Qt::LeftButton);

        QTRY_COMPARE(f.prompter.asked.value(0), QStringLiteral("Close program?"));
        // The Stop procedure ran before the question, whatever the answer.
        QVERIFY(f.instrument.sent().contains(QStringLiteral("ACQ:STOPA RUNST")));
        QCOMPARE(ending.size(), ends ? 1 : 0);
        QCOMPARE(f.window.isVisible(), !ends);
        if (unwritable) {
            QVERIFY(f.prompter.asked.value(1).startsWith(
                QLatin1String("The preferences could not be saved")));
            return;
        }
        QCOMPARE(f.prompter.asked.size(), 1);
        QCOMPARE(QSettings(f.paths.settingsFile(), QSettings::IniFormat)
                     .value(QStringLiteral("Prefs/txtAcqLimit")),
                 ends ? QVariant(QStringLiteral("25")) : QVariant());
    }

    void startWhileTheLastRunEnds_data() {
        QTest::addColumn<QString>("holdAt");
        // The run thread is held in the poll that the Stop comes in, before
        // the old run has seen it, or in Stop's own commands.
        QTest::addRow("old run not yet stopped") << QStringLiteral("BUSY?");
        QTest::addRow("Stop's commands going out") << QStringLiteral("TRIG");
    }
    // A Start clicked while the last run still ends is taken at once, but its
    // run begins only once the last one's Stop has sent all its commands, and
    // that Stop never ends the new run.
    void startWhileTheLastRunEnds() {
        QFETCH(QString, holdAt);
        Fixture f;
        QVERIFY(f.start());
        setCheckValue(f.window.prefsDialog().chkRestoreRun, 1);
        setCheckValue(f.window.prefsDialog().chkStopAfter, 0);
        f.instrument.replies.insert(QStringLiteral("BUSY?"), QStringLiteral("1"));
        SentLog sent;
        const bool inThePoll = holdAt == QLatin1String("BUSY?");
        std::atomic<bool> holding{!inThePoll};
        std::atomic<bool> held{false};
        std::atomic<bool> release{false};
        f.instrument.afterExchange = [&](const QString &command) {
            sent.record(command);
            if (command != holdAt || !holding || held.exchange(true))
                return;
            while (!release)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        };

        QTest::mouseClick(f.window.cbStart, Qt::LeftButton);
        QTRY_VERIFY(sent.taken().contains(QStringLiteral("BUSY?")));
        if (inThePoll) {
            holding = true;
            QTRY_VERIFY(held);
        }
        QTest::mouseClick(f.window.cbStop, Qt::LeftButton);
        QVERIFY(f.window.startEnabled());
        QTRY_VERIFY(held);
        QTest::mouseClick(f.window.cbStart, Qt::LeftButton);

        // The run thread is held: the new run has sent nothing yet.
        QVERIFY(!f.window.startEnabled() && f.window.cbStop->isEnabled());
        QCOMPARE(sent.taken().constLast(), holdAt);
        release = true;
        QTRY_COMPARE(sent.taken().count(QStringLiteral("HEAD 0;VERB 0")), 2);
        const QStringList after = sent.taken().mid(sent.taken().indexOf(QStringLiteral("TRIG")));
        QCOMPARE(after.mid(0, Restore.size() + 1), Restore + QStringList{"HEAD 0;VERB 0"});
        // The new run goes on to wait for its trigger.
        QTRY_VERIFY(sent.taken().lastIndexOf(QStringLiteral("BUSY?")) >
                    sent.taken().lastIndexOf(QStringLiteral("HEAD 0;VERB 0")));
        QVERIFY(!f.window.startEnabled() && f.window.cbStop->isEnabled());

        QTest::mouseClick(f.window.cbStop, Qt::LeftButton);
        QTRY_COMPARE(sent.taken().count(QStringLiteral("TRIG")), 2);
        QTRY_COMPARE(f.window.statusText(), QStringLiteral("1: Stopped"));
    }

    // Close during a run (through the frame: the button is disabled) stops
    // the run, whose Stop sends its commands once, and asks only then.
    void closeDuringARun() {
        Fixture f;
        QVERIFY(f.start());
        setCheckValue(f.window.prefsDialog().chkRestoreRun, 1);
        setCheckValue(f.window.prefsDialog().chkStopAfter, 0);
        f.instrument.replies.insert(QStringLiteral("BUSY?"), QStringLiteral("1"));
        SentLog sent;
        f.instrument.afterExchange = [&](const QString &command) { sent.record(command); };
        QStringList sentWhenAsked;
        f.prompter.onAsk = [&](const QString &) { sentWhenAsked = sent.taken(); };
        f.prompter.answers = {Prompter::Answer::No};

        QTest::mouseClick(f.window.cbStart, Qt::LeftButton);
        QTRY_VERIFY(sent.taken().contains(QStringLiteral("BUSY?")));
        f.window.close();

        QTRY_COMPARE(f.prompter.asked, QStringList{QStringLiteral("Close program?")});
        QCOMPARE(sentWhenAsked.mid(sentWhenAsked.indexOf(QStringLiteral("TRIG"))), Restore);
        QCOMPARE(sentWhenAsked.count(QStringLiteral("TRIG")), 1);
        QCOMPARE(f.window.statusText(), QStringLiteral("1: Stopped"));
        QVERIFY(f.window.isVisible());
        QTRY_VERIFY(f.window.startEnabled());
    }
};

QTEST_MAIN(tst_frmMain)
#include "tst_frmmain.moc"
