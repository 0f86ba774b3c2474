#include "PrefsRig.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

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
    void cancelRestoresTheThirteen_data() { addLeaveRows(); }
    void cancelRestoresTheThirteen() {
        QFETCH(Leave, how);
        PrefsRig rig;
        frmPrefs &p = rig.prefs;
        rig.store.loadPrefs(false);
        QVERIFY(showActive(p));
        QSignalSpy returned(&p, &frmPrefs::returnToMain);

        retype(p.txtAcqLimit, "25");
        retype(p.txtWFMpath, "F:/w");
        retype(p.txtWFMprefix, "w_");
        click(p.chkASCII);
        retype(p.txtASCIIpath, "G:");
        retype(p.txtASCIIprefix, "c_");
        click(p.chkScreen);
        retype(p.txtScreenPath, "H:");
        retype(p.txtScreenPrefix, "i_");
        QTest::mouseClick(p.hsDelay, Qt::LeftButton);
        QTest::keyClick(p.hsDelay, Qt::Key_End);
        for (QCheckBox *box :
             {p.chkStopAfter, p.chkWFM, p.chkAsk, p.chkUseTimestamps, p.chkRestoreRun})
            click(box);
        QCOMPARE(rig.values().mid(0, 15),
                 (QStringList{"0", "60", "1", "0", " 25", "0", "F:\\w\\", "w_", "1", "G:\\", "c_",
                              "1", "H:\\", "i_", "0"}));
        QCOMPARE(p.txtDelay->text(), QStringLiteral("60 Sec."));
        QCOMPARE(enabledBoxes(p), (QStringList{"txtASCIIpath", "txtASCIIprefix", "txtScreenPath",
                                               "txtScreenPrefix", "cbScreenOptions"}));

        leave(p, p.cbCancel, how);

        QStringList expected = PrefsRig::savedDefaults;
        expected[0] = "0";
        expected[14] = "0";
        QCOMPARE(rig.values(), expected);
        QCOMPARE(p.txtDelay->text(), QStringLiteral("0 Sec."));
        QCOMPARE(enabledBoxes(p), defaultEnabled);
        QCOMPARE(rig.publics(), PrefsRig::defaultPublics);
        QVERIFY(!p.isVisible());
        QCOMPARE(returned.count(), 1);
    }

    void okTakesTheBoxesAsTheyStand() {
        PrefsRig rig;
        frmPrefs &p = rig.prefs;
        rig.store.loadPrefs(false);
        QVERIFY(showActive(p));
        QSignalSpy returned(&p, &frmPrefs::returnToMain);
        QSignalSpy help(&p, &frmPrefs::helpRequested);

        click(p.cbHelp);
        QCOMPARE(help.count(), 1);
        retype(p.txtWFMprefix, "run_");
        click(p.chkWFM);
        click(p.chkASCII);
        retype(p.txtASCIIpath, "");
        retype(p.txtAcqLimit, "7");
        QTest::keyClick(p.txtAcqLimit, Qt::Key_Return);

        QVERIFY(!p.isVisible());
        QCOMPARE(returned.count(), 1);
        QVERIFY(!p.txtWFMprefix->isEnabled());
        QCOMPARE(p.WFMfspec, QStringLiteral("E:\\run_"));
        QCOMPARE(p.ASCIIfspec, QStringLiteral("my_CSVs_"));
        QVERIFY(!QFile::exists(rig.settingsPath()));
    }

    void defaultsThenCancel_data() {
        QTest::addColumn<Prompter::Answer>("answer");
        QTest::addRow("confirmed") << Prompter::Answer::Ok;
        QTest::addRow("declined") << Prompter::Answer::Cancel;
    }
    void defaultsThenCancel() {
        QFETCH(Prompter::Answer, answer);
        PrefsRig rig;
        frmPrefs &p = rig.prefs;
        const StoredTexts saved = {{"chkUseTimestamps", "0"}, {"chkRestoreRun", "0"},
                                   {"hsDelay", "15"},         {"txtWFMprefix", "mine_"},
                                   {"chkASCII", "1"},         {"cboFileType", "2"},
                                   {"optLandscape", "False"}, {"optPortrait", "True"}};
        rig.storeTexts(saved);
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
            QCOMPARE(QSettings(rig.settingsPath(), QSettings::IniFormat).allKeys().size(),
                     saved.size());
            return;
        }
        QStringList expected = PrefsRig::savedDefaults;
        expected[1] = "15";
        expected[7] = "mine_";
        expected[8] = "1";
        QCOMPARE(rig.values(), expected);
        QCOMPARE(p.txtDelay->text(), QStringLiteral("15 Sec."));
        QCOMPARE(rig.publics(),
                 (QStringList{"E:\\mine_", "E:\\my_CSVs_", "E:\\my_Images_", "SAV:IMAG:FILEF PNG",
                              "SAV:IMAG:LAY LAN", "SAV:IMAG:INKS ON"}));
        QVERIFY(QSettings(rig.settingsPath(), QSettings::IniFormat).allKeys().isEmpty());
    }

    void editPathThenOptionsThenCancel_data() {
        QTest::addColumn<bool>("optionsOk");
        QTest::addColumn<QString>("layout");
        QTest::addRow("options OK") << true << "SAV:IMAG:LAY PORTR";
        QTest::addRow("options Cancel") << false << "SAV:IMAG:LAY LAN";
    }
    void editPathThenOptionsThenCancel() {
        QFETCH(bool, optionsOk);
        PrefsRig rig;
        frmPrefs &p = rig.prefs;
        frmScreenOptions &s = rig.screenOptions;
        rig.store.loadPrefs(false);
        QVERIFY(showActive(p));

        click(p.cbScreenOptions);
        QVERIFY(!s.isVisible());
        click(p.chkScreen);
        retype(p.txtWFMpath, "F:/new");
        click(p.cbScreenOptions);
        QVERIFY(!p.isVisible());
        QVERIFY(showActive(s));
        click(s.optPortrait);
        click(optionsOk ? s.cbOK : s.cbCancel);
        QVERIFY(!s.isVisible());
        QVERIFY(p.isVisible());

        QVERIFY(QTest::qWaitForWindowActive(&p));
        click(p.cbCancel);
        QCOMPARE(p.txtWFMpath->text(), QStringLiteral("F:\\new\\"));
        QCOMPARE(checkValue(p.chkScreen), 1);
        QCOMPARE(p.WFMfspec, QStringLiteral("F:\\new\\my_ISFs_"));
        QTEST(s.Layout, "layout");
    }

    // Each box filters what is typed, not what is pasted ("paste": Ctrl+V with
    // "9/x y" on the clipboard), and tidies its text when it loses focus.
    void boxRules_data() {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("afterTyping");
        QTest::addColumn<QString>("afterFocusLoss");
        const auto row = [](const char *box, const char *typed, const char *afterTyping,
                            const char *afterFocusLoss) {
            QTest::addRow("%s %s", box, qstrcmp(typed, "paste") ? "typed" : "pasted")
                << QString(box) << QString(typed) << QString(afterTyping)
                << QString(afterFocusLoss);
        };
        row("txtAcqLimit", "1a2 3.-4\b", "123", " 123");
        row("txtAcqLimit", "paste", "", "1");
        row("txtWFMpath", "E:/data", "E:\\data", "E:\\data\\");
        row("txtWFMpath", "paste", "9/x y", "9\\x y\\");
        row("txtASCIIpath", "E:", "E:", "E:\\");
        row("txtScreenPath", "", "", "");
        row("txtWFMprefix", "a/b c*d\b", "abc", "abc");
        row("txtWFMprefix", "paste", "", "");
        row("txtASCIIprefix", "x:y?z", "xyz", "xyz");
        row("txtScreenPrefix", "a b/c\\", "a b/c\\", "a b/c\\");
    }
    void boxRules() {
        QFETCH(QString, box);
        QFETCH(QString, typed);
        PrefsRig rig;
        rig.store.loadPrefs(false);
        setCheckValue(rig.prefs.chkASCII, 1);
        setCheckValue(rig.prefs.chkScreen, 1);
        QVERIFY(showActive(rig.prefs));
        QApplication::clipboard()->setText(QStringLiteral("9/x y"));

        QLineEdit *edit = rig.prefs.findChild<QLineEdit *>(box);
        if (typed == QLatin1String("paste")) {
            retype(edit, "");
            QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
        } else {
            retype(edit, typed);
        }
        QTEST(edit->text(), "afterTyping");
        QTest::keyClick(edit, Qt::Key_Tab);
        QVERIFY(!edit->hasFocus());
        QTEST(edit->text(), "afterFocusLoss");
    }

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
        QFETCH(QStringList, asked);
        PrefsRig rig;
        QVERIFY(showActive(rig.prefs));

        const QLabel *label = rig.prefs.findChild<QLabel *>();
        const QPoint at = onLabel ? label->mapTo(&rig.prefs, label->rect().center()) : QPoint(2, 2);
        QVERIFY(onLabel || rig.prefs.childAt(at) == nullptr);
        QTest::mouseClick(&rig.prefs, button, {}, at);
        QCOMPARE(rig.prompter.asked, asked);
        if (!asked.isEmpty())
            QCOMPARE(rig.prompter.icons.first(), Prompter::Icon::None);
    }
};

QTEST_MAIN(tst_frmPrefs)
#include "tst_frmPrefs.moc"
