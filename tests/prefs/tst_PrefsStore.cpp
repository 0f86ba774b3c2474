#include "PrefsRig.h"

#include <QDir>
#include <QFile>

class tst_PrefsStore : public QObject {
    Q_OBJECT

private slots:
    // A first run loads every default and saves the twenty texts.
    void firstRunThenEmptiedTexts() {
        PrefsRig rig;
        rig.store.loadPrefs(false);
        QCOMPARE(rig.values(), PrefsRig::savedDefaults);
        QCOMPARE(rig.publics(), PrefsRig::defaultPublics);
        QVERIFY(!QFile::exists(rig.settingsPath()));
        QVERIFY(rig.store.savePrefs());
        QSettings settings(rig.settingsPath(), QSettings::IniFormat);
        QCOMPARE(settings.childGroups(), QStringList{"Prefs"});
        QCOMPARE(settings.allKeys().size(), 20);
        QCOMPARE(rig.storedInTableOrder(), PrefsRig::savedDefaults);

        // An emptied path or prefix is saved as empty, not left out.
        rig.prefs.txtWFMpath->clear();
        rig.prefs.txtScreenPrefix->clear();
        QVERIFY(rig.store.savePrefs());
        rig.store.loadPrefs(false);
        QCOMPARE(rig.prefs.txtWFMpath->text() + rig.prefs.txtScreenPrefix->text(), QString());
    }

    // Option buttons read words in any case or numbers, and a pair stored as
    // False/False selects neither.
    void storedChoicesDecideTheImageCommands_data() {
        QTest::addColumn<StoredTexts>("stored");
        QTest::addColumn<QStringList>("commands");
        const QString png = "SAV:IMAG:FILEF PNG";
        QTest::addRow("both False") << PrefsRig::optionTexts("False False False False")
                                    << QStringList{png, "SAV:IMAG:LAY PORTR", "SAV:IMAG:INKS OFF"};
        QTest::addRow("words in any case, numbers")
            << PrefsRig::optionTexts("true FALSE 0 -1")
            << QStringList{png, "SAV:IMAG:LAY PORTR", "SAV:IMAG:INKS ON"};
        QTest::addRow("no entry, no file type")
            << StoredTexts{{"cboFileType", "-1"}}
            << QStringList{"SAV:IMAG:FILEF ", "SAV:IMAG:LAY LAN", "SAV:IMAG:INKS ON"};
    }
    void storedChoicesDecideTheImageCommands() {
        QFETCH(StoredTexts, stored);
        PrefsRig rig;
        rig.storeTexts(stored);
        rig.store.loadPrefs(false);
        QTEST(rig.publics().mid(3), "commands");
    }

    // A greyed check box (2) only comes from an edited store: it loads and
    // saves back as 2, enables the limit but not its file boxes, and a user's
    // clicks never come back to it.
    void greyedCheckValueFromTheStore() {
        PrefsRig rig;
        frmPrefs &p = rig.prefs;
        rig.storeTexts({{"chkStopAfter", "2"}, {"chkWFM", "2"}});
        rig.store.loadPrefs(false);
        QVERIFY(p.txtAcqLimit->isEnabled());
        QVERIFY(!p.txtWFMpath->isEnabled());
        QVERIFY(rig.store.savePrefs());
        QCOMPARE(rig.storedInTableOrder().mid(3, 3), (QStringList{"2", "10", "2"}));

        QVERIFY(showActive(p));
        QList<int> seen;
        for (int clicks = 0; clicks < 3; ++clicks) {
            click(p.chkWFM);
            seen << checkValue(p.chkWFM);
        }
        QCOMPARE(seen, (QList<int>{1, 0, 1}));
        QVERIFY(p.txtWFMpath->isEnabled());
    }

    // A settings file kept as a link (relative, as dotfile managers make
    // them) stays a link through every kind of save, and nothing is left
    // beside either end.
    void linkedSettingsFileStaysALink_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<bool>("defaults");
        QTest::addRow("plain save") << QByteArray("[Prefs]\nchkAsk=1\n") << false;
        QTest::addRow("damaged file replaced whole")
            << QByteArray("[Prefs]\nhsDelay=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\0)\n") << false;
        QTest::addRow("after Defaults") << QByteArray("[Prefs]\nchkAsk=1\n") << true;
        QTest::addRow("link to a file not made yet") << QByteArray() << false;
    }
    void linkedSettingsFileStaysALink() {
        QFETCH(QByteArray, before);
        QFETCH(bool, defaults);
        PrefsRig rig;
        QDir dir(rig.dir.path());
        QVERIFY(dir.mkdir("dotfiles"));
        const QString target = dir.filePath("dotfiles/mardock.ini");
        if (!before.isEmpty()) {
            QFile file(target);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(before) == before.size());
        }
        QVERIFY(QFile::link("dotfiles/mardock.ini", rig.settingsPath()));

        rig.store.loadPrefs(defaults);
        rig.prefs.txtWFMprefix->setText("linked_");
        QVERIFY(rig.store.savePrefs());

        QVERIFY(QFileInfo(rig.settingsPath()).isSymLink());
        QCOMPARE(QFileInfo(rig.settingsPath()).symLinkTarget(), target);
        QSettings saved(target, QSettings::IniFormat);
        QCOMPARE(saved.value("Prefs/txtWFMprefix").toString(), "linked_");
        QCOMPARE(saved.value("Prefs/hsDelay").toString(), "0");
        QCOMPARE(dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
                 (QStringList{"dotfiles", "mardock.ini"}));
        QCOMPARE(QDir(dir.filePath("dotfiles")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList{"mardock.ini"});
    }
};

QTEST_MAIN(tst_PrefsStore)
#include "tst_PrefsStore.moc"
