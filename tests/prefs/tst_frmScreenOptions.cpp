#include "PrefsRig.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace {

// From OK, which has the focus when the dialog opens, past Help to the list.
void tabToFileType(frmScreenOptions &s) {
    QCOMPARE(s.focusWidget(), s.cbOK);
    QTest::keyClick(s.cbOK, Qt::Key_Tab);
    QTest::keyClick(s.cbHelp, Qt::Key_Tab);
    QCOMPARE(s.focusWidget(), s.cboFileType);
}

QStringList choices(const PrefsRig &rig) {
    return rig.values().mid(15);
}

QStringList commands(const frmScreenOptions &s) {
    return {s.FileType, s.Layout, s.InkSaver};
}

} // namespace

class tst_frmScreenOptions : public QObject {
    Q_OBJECT

private slots:
    void okPublishesTheChoices() {
        PrefsRig rig;
        frmScreenOptions &s = rig.screenOptions;
        rig.store.loadPrefs(false);
        QVERIFY(showActive(s));
        QSignalSpy returned(&s, &frmScreenOptions::returnToPrefs);

        tabToFileType(s);
        QTest::keyClick(s.cboFileType, Qt::Key_Down);
        click(s.optPortrait);
        click(s.optInksaverOff);
        QCOMPARE(commands(s),
                 (QStringList{"SAV:IMAG:FILEF PNG", "SAV:IMAG:LAY LAN", "SAV:IMAG:INKS ON"}));
        QTest::keyClick(s.optInksaverOff, Qt::Key_Return);

        QCOMPARE(choices(rig), (QStringList{"2", "False", "True", "False", "True"}));
        QCOMPARE(commands(s),
                 (QStringList{"SAV:IMAG:FILEF TIFF", "SAV:IMAG:LAY PORTR", "SAV:IMAG:INKS OFF"}));
        QVERIFY(!s.isVisible());
        QCOMPARE(returned.count(), 1);
        QVERIFY(rig.prefs.isVisible());
    }

    void cancelRestoresTheActivationState_data() {
        QTest::addColumn<StoredTexts>("stored");
        QTest::addColumn<Leave>("how");
        StoredTexts portraitOff = PrefsRig::optionTexts("False True False True");
        portraitOff.insert("cboFileType", "0");
        StoredTexts noneSelected = PrefsRig::optionTexts("False False False False");
        noneSelected.insert("cboFileType", "-1");
        QTest::addRow("Cancel button") << portraitOff << Leave::CancelButton;
        QTest::addRow("Esc key") << portraitOff << Leave::EscKey;
        QTest::addRow("window frame") << portraitOff << Leave::WindowFrame;
        QTest::addRow("neither selected comes back") << noneSelected << Leave::CancelButton;
    }
    void cancelRestoresTheActivationState() {
        QFETCH(StoredTexts, stored);
        QFETCH(Leave, how);
        PrefsRig rig;
        frmScreenOptions &s = rig.screenOptions;
        rig.storeTexts(stored);
        rig.store.loadPrefs(false);
        const QStringList loaded = choices(rig);
        const QStringList loadedCommands = commands(s);
        QVERIFY(showActive(s));
        QSignalSpy returned(&s, &frmScreenOptions::returnToPrefs);
        QSignalSpy help(&s, &frmScreenOptions::helpRequested);

        tabToFileType(s);
        QTest::keyClick(s.cboFileType, Qt::Key_End);
        click(s.optInksaverOn);
        click(s.optLandscape);
        click(s.cbHelp);
        QCOMPARE(help.count(), 1);
        QVERIFY(s.isVisible());
        QCOMPARE(choices(rig), (QStringList{"2", "True", "False", "True", "False"}));

        leave(s, s.cbCancel, how);

        QCOMPARE(choices(rig), loaded);
        QCOMPARE(commands(s), loadedCommands);
        QVERIFY(!s.isVisible());
        QCOMPARE(returned.count(), 1);
        QVERIFY(rig.prefs.isVisible());
    }
};

QTEST_MAIN(tst_frmScreenOptions)
#include "tst_frmScreenOptions.moc"
