#include "PrefsRig.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>

namespace {

// Clicks into the box, erases it with backspace and types the text.
void retype(QLineEdit *box, const QString &text) {
    QTest::mouseClick(box, Qt::LeftButton);
    QTest::keyClick(box, Qt::Key_End);
    for (qsizetype i = box->text().size(); i > 0; --i)
        QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClicks(box, text);
}

QStringList enabledBoxes(const frmPrefs &p) {
    QStringList names;
    for (const char *name :
         {"txtAcqLimit", "txtWFMpath", "txtWFMprefix", "txtASCIIpath", "txtASCIIprefix",
          "txtScreenPath", "txtScreenPrefix", "cbScreenOptions"})
        if (p.findChild<QWidget *>(name)->isEnabled())
            names << name;
    return names;
}

const QStringList defaultEnabled = {"txtAcqLimit", "txtWFMpath", "txtWFMprefix"};

} // namespace

class tst_frmPrefs : public QObject {
    Q_OBJECT

private slots:
    // Return, even in a box that filters keys, presses OK: the changes stay
    // and are published, nothing is saved. The three ways of cancelling
    // restore the thirteen controls snapshotted on opening, with their
    // enabling, while the timestamp and restore-run choices keep their change.
    void leaveAfterChanges_data() {
        QTest::addColumn<Leave>("how");
        addLeaveRows();
    }
    void leaveAfterChanges() {
        QFETCH(Leave, how);
        PrefsRig rig;
        frmPrefs &p = rig.prefs;
        rig.store.loadPrefs(false);
        QVERIFY(showActive(p));
        QSignalSpy returned(&p, &frmPrefs::returnToMain);

        // Each box filters what is typed and tidies its text when it loses focus.
        retype(p.txtAcqLimit, "2a5");
        retype(p.txtWFMpath, "F:/w");
        retype(p.txtWFMprefix, "w/_");
        QTest::mouseClick(p.hsDelay, Qt::LeftButton);
        QTest::keyClick(p.hsDelay, Qt::Key_End);
        for (QCheckBox *box : {p.chkStopAfter, p.chkWFM, p.chkAsk, p.chkUseTimestamps,
                               p.chkRestoreRun, p.chkASCII, p.chkScreen})
            click(box);
        retype(p.txtASCIIpath, "G:/");
        retype(p.txtScreenPath, "H:");
        retype(p.txtScreenPrefix, "i/_");
        retype(p.txtASCIIprefix, "c*_");
        const QStringList changed = {"0", "60",   "1",  "0", " 25",  "0",   "F:\\w\\", "w_",
                                     "1", "G:\\", "c_", "1", "H:\\", "i/_", "0"};
        const QStringList changedEnabled = {"txtASCIIpath", "txtASCIIprefix", "txtScreenPath",
                                            "txtScreenPrefix", "cbScreenOptions"};
        QCOMPARE(rig.values().mid(0, 15), changed);
        QCOMPARE(p.txtDelay->text(), QStringLiteral("60 Sec."));
        QCOMPARE(enabledBoxes(p), changedEnabled);

        leave(p, p.cbCancel, how);

        QVERIFY(!p.isVisible());
        QCOMPARE(returned.count(), 1);
        QVERIFY(!QFile::exists(rig.settingsPath()));
        if (how == Leave::ReturnKey) {
            QCOMPARE(rig.values().mid(0, 15), changed);
            QCOMPARE(enabledBoxes(p), changedEnabled);
            QCOMPARE(rig.publics().mid(0, 3), (QStringList{"F:\\w\\w_", "G:\\c_", "H:\\i/_"}));
            return;
        }
        QStringList expected = PrefsRig::savedDefaults;
        expected[0] = "0";
        expected[14] = "0";
        QCOMPARE(rig.values(), expected);
        QCOMPARE(p.txtDelay->text(), QStringLiteral("0 Sec."));
        QCOMPARE(enabledBoxes(p), defaultEnabled);
        QCOMPARE(rig.publics(), PrefsRig::defaultPublics);
    }

    // Confirmed, Defaults forgets the stored set and the image choices; the
    // Cancel after it brings back only the thirteen snapshotted controls.
    void defaultsThenCancel_data() {
        QTest::addColumn<Prompter::Answer>("answer");
        QTest::addRow("confirmed") << Prompter::Answer::Ok;
        QTest::addRow("declined") << Prompter::Answer::Cancel;
    }
    void defaultsThenCancel() {
        QFETCH(Prompter::Answer, answer);
        PrefsRig rig;
        frmPrefs &p = rig.prefs;
        rig.storeTexts({{"chkUseTimestamps", "0"},
                        {"hsDelay", "15"},
                        {"chkASCII", "1"},
                        {"cboFileType", "2"}});
        rig.store.loadPrefs(false);
        const QStringList loaded = rig.values();
        QVERIFY(showActive(p));

        rig.prompter.answers << answer;
        click(p.cbDefault);
        QCOMPARE(rig.prompter.asked, QStringList{"Default all prefs?"});
        QVERIFY(p.isVisible());
        click(p.cbCancel);

        if (answer == Prompter::Answer::Cancel) {
            QCOMPARE(rig.values(), loaded);
            return;
        }
        QStringList expected = PrefsRig::savedDefaults;
        expected[1] = "15";
        expected[8] = "1";
        QCOMPARE(rig.values(), expected);
        QVERIFY(QSettings(rig.settingsPath(), QSettings::IniFormat).allKeys().isEmpty());
    }

    // Options... hides the dialog without a snapshot, and the one taken when
    // it comes back holds what was edited before: the Cancel then keeps it, and
    // the image choices the options dialog took.
    void editPathThenOptionsThenCancel() {
        PrefsRig rig;
        frmPrefs &p = rig.prefs;
        frmScreenOptions &s = rig.screenOptions;
        rig.store.loadPrefs(false);
        QVERIFY(showActive(p));

        click(p.chkScreen);
        retype(p.txtWFMpath, "F:/new");
        click(p.cbScreenOptions);
        QVERIFY(!p.isVisible());
        QVERIFY(showActive(s));
        click(s.optPortrait);
        click(s.cbOK);
        QVERIFY(QTest::qWaitForWindowActive(&p));
        click(p.cbCancel);

        QCOMPARE(p.txtWFMpath->text(), QStringLiteral("F:\\new\\"));
        QCOMPARE(checkValue(p.chkScreen), 1);
        QCOMPARE(p.WFMfspec, QStringLiteral("F:\\new\\my_ISFs_"));
        QCOMPARE(s.Layout, QStringLiteral("SAV:IMAG:LAY PORTR"));
    }

    // A paste is not filtered, only tidied when the box loses focus; a box
    // that refuses control characters refuses the paste (Ctrl+V types one).
    void paste() {
        PrefsRig rig;
        frmPrefs &p = rig.prefs;
        rig.store.loadPrefs(false);
        QVERIFY(showActive(p));
        QApplication::clipboard()->setText(QStringLiteral("9/x y"));

        QStringList pasted, tidied;
        for (QLineEdit *box : {p.txtWFMpath, p.txtAcqLimit, p.txtWFMprefix}) {
            retype(box, "");
            QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
            pasted << box->text();
            QTest::keyClick(box, Qt::Key_Tab);
            tidied << box->text();
        }
        QCOMPARE(pasted, (QStringList{"9/x y", "", ""}));
        QCOMPARE(tidied, (QStringList{"9\\x y\\", "1", ""}));
    }

    // A release on the dialog itself shows the button's number; on a control,
    // nothing.
    void mouseReleaseOnTheDialog_data() {
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<bool>("onLabel");
        QTest::addColumn<QStringList>("asked");
        QTest::addRow("left") << Qt::LeftButton << false << QStringList{"1"};
        QTest::addRow("middle") << Qt::MiddleButton << false << QStringList{"4"};
        QTest::addRow("on a label") << Qt::LeftButton << true << QStringList{};
    }
    void mouseReleaseOnTheDialog() {
        QFETCH(Qt::MouseButton, button);
        QFETCH(bool, onLabel);
        PrefsRig rig;
        QVERIFY(showActive(rig.prefs));

        const QLabel *label = rig.prefs.findChild<QLabel *>();
        const QPoint at = onLabel ? label->mapTo(&rig.prefs, label->rect().center()) : QPoint(2, 2);
        QVERIFY(onLabel || rig.prefs.childAt(at) == nullptr);
        QTest::mouseClick(&rig.prefs, button, {}, at);
        QTEST(rig.prompter.asked, "asked");
    }
};

QTEST_MAIN(tst_frmPrefs)
#include "tst_frmPrefs.moc"
