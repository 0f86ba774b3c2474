#include "PrefsRig.h"

#include <QPushButton>
#include <QSignalSpy>

namespace {

QStringList choices(const PrefsRig &rig) {
    return rig.values().mid(15);
}

} // namespace

class tst_frmScreenOptions : public QObject {
    Q_OBJECT

private slots:
    // Return presses OK, which publishes the changes; the three ways of
    // cancelling restore the five controls as they were when the dialog
    // opened, even with neither option of a pair selected. Either way the
    // preferences dialog comes back.
    void leaveAfterChanges_data() {
        QTest::addColumn<Leave>("how");
        QTest::addColumn<StoredTexts>("stored");
        StoredTexts portraitOff = PrefsRig::optionTexts("False True False True");
        portraitOff.insert("cboFileType", "0");
        StoredTexts noneSelected = PrefsRig::optionTexts("False False False False");
        noneSelected.insert("cboFileType", "-1");
        addLeaveRows(portraitOff);
        QTest::addRow("neither selected comes back") << Leave::CancelButton << noneSelected;
    }
    void leaveAfterChanges() {
        QFETCH(Leave, how);
        QFETCH(StoredTexts, stored);
        PrefsRig rig;
        frmScreenOptions &s = rig.screenOptions;
        rig.storeTexts(stored);
        rig.store.loadPrefs(false);
        const QStringList loaded = choices(rig);
        const QStringList loadedCommands = rig.publics().mid(3);
        QVERIFY(showActive(s));
        QSignalSpy returned(&s, &frmScreenOptions::returnToPrefs);
        QSignalSpy help(&s, &frmScreenOptions::helpRequested);

        // From OK, which has the focus when the dialog opens, past Help to the list.
        QCOMPARE(s.focusWidget(), s.cbOK);
        QTest::keyClick(s.cbOK, Qt::Key_Tab);
        QTest::keyClick(s.cbHelp, Qt::Key_Tab);
        QTest::keyClick(s.cboFileType, Qt::Key_End);
        click(s.cbHelp);
        QCOMPARE(help.count(), 1);
        click(s.optInksaverOn);
        click(s.optLandscape);
        const QStringList changed = {"2", "True", "False", "True", "False"};
        QCOMPARE(choices(rig), changed);

        leave(s, s.cbCancel, how);

        const bool ok = how == Leave::ReturnKey;
        QCOMPARE(choices(rig), ok ? changed : loaded);
        const QStringList okCommands = {"SAV:IMAG:FILEF TIFF", "SAV:IMAG:LAY LAN",
                                        "SAV:IMAG:INKS ON"};
        QCOMPARE(rig.publics().mid(3), ok ? okCommands : loadedCommands);
        QVERIFY(!s.isVisible());
        QCOMPARE(returned.count(), 1);
        QVERIFY(rig.prefs.isVisible());
    }
};

QTEST_MAIN(tst_frmScreenOptions)
#include "tst_frmScreenOptions.moc"
