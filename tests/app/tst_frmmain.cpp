#include "AppPaths.h"
#include "CheckValue.h"
#include "FakeClock.h"
#include "FakeInstrument.h"
#include "ScriptedPrompter.h"
#include "frmMain.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QtTest>

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

// A started main window against a scripted scope, with its own settings folder.
struct Fixture {
    Fixture() {
        instrument.resources = QStringList{Scope};
        instrument.idn.insert(Scope, Identification);
        QFile guide(dir.filePath(QStringLiteral("guide.md")));
        if (guide.open(QIODevice::WriteOnly))
            guide.write("# Mardock User Guide\n\nPress **Start**.\n");
    }

    bool start() {
        if (!window.Form_Load())
            return false;
        sentAtStart = instrument.sent().size();
        window.show();
        return QTest::qWaitForWindowExposed(&window);
    }

    QStringList sentSinceStart() const { return instrument.sent().mid(sentAtStart); }

    QTemporaryDir dir;
    AppPaths paths{dir.filePath(QStringLiteral("config")), QStringLiteral("mardock"), dir.path()};
    FakeInstrument instrument;
    ScriptedPrompter prompter;
    FakeClock clock;
    frmMain window{instrument, prompter, clock, paths};
    qsizetype sentAtStart = 0;
};

} // namespace

class tst_frmMain : public QObject {
    Q_OBJECT

private slots:
    void window() {
        Fixture f;
        QVERIFY(f.start());
        QCOMPARE(f.window.windowTitle(), QStringLiteral("Mardock V1.1"));
        QCOMPARE(f.window.size(), QSize(163, 45));
        QVERIFY(!f.window.windowIcon().isNull());
        QVERIFY(f.window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QCOMPARE(f.window.Text1->text(), Identification);
        QVERIFY(!f.window.prefsDialog().isVisible());
        QVERIFY(!f.window.screenOptionsDialog().isVisible());
    }

    void buttonStates() {
        Fixture f;
        QVERIFY(f.start());
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
        QVERIFY(f.window.startEnabled());
    }

    void statusLineIsReadOnly() {
        Fixture f;
        QVERIFY(f.start());
        f.window.Text1->setFocus();
        QTest::keyClicks(f.window.Text1, QStringLiteral("typed"));
        QCOMPARE(f.window.statusText(), Identification);
        f.window.setStatusText(QStringLiteral("3: Save CSV"));
        QCOMPARE(f.window.Text1->text(), QStringLiteral("3: Save CSV"));
    }

    void helpReplacesTheEarlierViewer() {
        Fixture f;
        QVERIFY(f.start());
        f.window.show_help();
        QCOMPARE(openViewers().size(), 1);
        QPointer<QTextBrowser> first = openViewers().constFirst();
        QVERIFY(first->toPlainText().contains(QLatin1String("Mardock User Guide")));

        f.window.show_help();
        QTRY_VERIFY(first.isNull());
        QCOMPARE(openViewers().size(), 1);

        // A viewer the user closed is simply replaced.
        openViewers().constFirst()->close();
        QTRY_COMPARE(openViewers().size(), 0);
        f.window.show_help();
        QCOMPARE(openViewers().size(), 1);
    }

    // The dialog takes the window's place; its Help and Defaults reach the
    // window's guide and the store.
    void prefsDialogInPlaceOfTheWindow() {
        Fixture f;
        QVERIFY(f.start());
        frmPrefs &prefs = f.window.prefsDialog();
        QTest::mouseClick(f.window.cbPrefs, Qt::LeftButton);
        QVERIFY(!f.window.isVisible());
        QVERIFY(prefs.isVisible());

        QTest::mouseClick(prefs.cbHelp, Qt::LeftButton);
        QTRY_COMPARE(openViewers().size(), 1);
        openViewers().constFirst()->close();
        prefs.txtWFMprefix->setText(QStringLiteral("edited_"));
        f.prompter.answers = {Prompter::Answer::Ok};
        QTest::mouseClick(prefs.cbDefault, Qt::LeftButton);
        QCOMPARE(prefs.txtWFMprefix->text(), QStringLiteral("my_ISFs_"));

        QTest::mouseClick(prefs.cbOK, Qt::LeftButton);
        QVERIFY(f.window.isVisible());
        QVERIFY(!prefs.isVisible());
    }

    void startWithNothingSelected_data() {
        QTest::addColumn<int>("isf");

        QTest::addRow("all unchecked") << 0;
        // A greyed box saves nothing in the run, so it does not count as chosen.
        QTest::addRow("ISF greyed") << 2;
    }
    void startWithNothingSelected() {
        QFETCH(int, isf);

        Fixture f;
        QVERIFY(f.start());
        setCheckValue(f.window.prefsDialog().chkWFM, isf);
        setCheckValue(f.window.prefsDialog().chkASCII, 0);
        setCheckValue(f.window.prefsDialog().chkScreen, 0);
        const QStringList logBefore = f.instrument.log;

        QTest::mouseClick(f.window.cbStart, Qt::LeftButton);

        QCOMPARE(f.prompter.asked,
                 QStringList{QStringLiteral("Nothing to selected to Save. Check Prefs")});
        QCOMPARE(f.prompter.icons, QList<Prompter::Icon>{Prompter::Icon::Warning});
        QCOMPARE(f.instrument.log, logBefore);
        QVERIFY(!f.window.isVisible());
        QVERIFY(f.window.prefsDialog().isVisible());
        QVERIFY(f.window.startEnabled());
        QVERIFY(!f.window.cbStop->isEnabled());
    }

    void close_data() {
        QTest::addColumn<bool>("throughFrame");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("ends");

        QTest::addRow("button, No") << false << int(Prompter::Answer::No) << false;
        QTest::addRow("button, Yes") << false << int(Prompter::Answer::Yes) << true;
        QTest::addRow("frame, No") << true << int(Prompter::Answer::No) << false;
        QTest::addRow("frame, Yes") << true << int(Prompter::Answer::Yes) << true;
    }
    void close() {
        QFETCH(bool, throughFrame);
        QFETCH(int, answer);
        QFETCH(bool, ends);

        Fixture f;
        QVERIFY(f.start());
        setCheckValue(f.window.prefsDialog().chkRestoreRun, 1);
        f.window.prefsDialog().txtAcqLimit->setText(QStringLiteral("25"));
        QSignalSpy ending(&f.window, &frmMain::programEnding);
        f.prompter.answers = {Prompter::Answer(answer)};

        if (throughFrame)
            f.window.close();
        else
            QTest::mouseClick(f.window.cbClose, Qt::LeftButton);

        QCOMPARE(f.prompter.asked, QStringList{QStringLiteral("Close program?")});
        // The Stop procedure ran before the question, whatever the answer.
        QVERIFY(f.sentSinceStart().contains(QStringLiteral("ACQ:STOPA RUNST")));
        QCOMPARE(ending.size(), ends ? 1 : 0);
        QCOMPARE(f.window.isVisible(), !ends);
        QCOMPARE(QFile::exists(f.paths.settingsFile()), ends);
        if (!ends) {
            QCOMPARE(f.window.statusText(), QStringLiteral("0: Stopped"));
            QVERIFY(f.window.startEnabled());
            return;
        }
        QSettings stored(f.paths.settingsFile(), QSettings::IniFormat);
        stored.beginGroup(QStringLiteral("Prefs"));
        QCOMPARE(stored.childKeys().size(), 20);
        QCOMPARE(stored.value(QStringLiteral("txtAcqLimit")).toString(), QStringLiteral("25"));
    }

    void closeWhenSettingsCannotBeWritten() {
        Fixture f;
        QVERIFY(f.start());
        // A folder where the settings file should be: no write can succeed.
        QVERIFY(QDir().mkpath(f.paths.settingsFile()));
        QSignalSpy ending(&f.window, &frmMain::programEnding);

        QTest::mouseClick(f.window.cbClose, Qt::LeftButton);

        QCOMPARE(f.prompter.asked.size(), 2);
        QVERIFY(
            f.prompter.asked.at(1).startsWith(QLatin1String("The preferences could not be saved")));
        QCOMPARE(f.prompter.icons.at(1), Prompter::Icon::Warning);
        QCOMPARE(ending.size(), 1);
    }
};

QTEST_MAIN(tst_frmMain)
#include "tst_frmmain.moc"
