#include "PrefsRig.h"

#include <QFile>
#include <QPushButton>
#include <QTest>

class tst_PrefsStore : public QObject {
    Q_OBJECT

private slots:
    void firstRunLoadsDefaultsAndSavesTheTwentyTexts() {
        PrefsRig rig;
        rig.store.loadPrefs(false);
        QCOMPARE(rig.values(), PrefsRig::savedDefaults);
        QCOMPARE(rig.publics(), PrefsRig::defaultPublics);
        QCOMPARE(rig.prefs.txtDelay->text(), QStringLiteral("0 Sec."));
        QVERIFY(!rig.prefs.txtASCIIpath->isEnabled());
        QVERIFY(!QFile::exists(rig.settingsPath()));

        QVERIFY(rig.store.savePrefs());
        QSettings settings(rig.settingsPath(), QSettings::IniFormat);
        QCOMPARE(settings.childGroups(), QStringList{"Prefs"});
        QCOMPARE(settings.allKeys().size(), 20);
        QCOMPARE(rig.storedInTableOrder(), PrefsRig::savedDefaults);
    }

    void textsRoundTripUnchanged_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("text");
        const auto row = [](const char *name, const char *key, const char *text) {
            QTest::addRow("%s", name) << QString(key) << QString(text);
        };
        row("empty path", "txtWFMpath", "");
        row("empty prefix", "txtScreenPrefix", "");
        row("limit after fix-up", "txtAcqLimit", " 10");
        row("prefix with comma and quote", "txtScreenPrefix", "a,b\"c");
    }
    void textsRoundTripUnchanged() {
        QFETCH(QString, key);
        QFETCH(QString, text);
        PrefsRig rig;
        rig.store.loadPrefs(false);
        rig.prefs.findChild<QLineEdit *>(key)->setText(text);
        QVERIFY(rig.store.savePrefs());

        rig.prefs.findChild<QLineEdit *>(key)->setText(QStringLiteral("changed"));
        rig.store.loadPrefs(false);
        QCOMPARE(rig.prefs.findChild<QLineEdit *>(key)->text(), text);
    }

    void storedChoicesDecideTheImageCommands_data() {
        QTest::addColumn<StoredTexts>("stored");
        QTest::addColumn<QString>("selected");
        QTest::addColumn<QStringList>("commands");
        const QString png = "SAV:IMAG:FILEF PNG";
        QTest::addRow("both False") << PrefsRig::optionTexts("False False False False") << ""
                                    << QStringList{png, "SAV:IMAG:LAY PORTR", "SAV:IMAG:INKS OFF"};
        QTest::addRow("both 1, later wins")
            << PrefsRig::optionTexts("1 1 1 1") << "optInksaverOff optPortrait"
            << QStringList{png, "SAV:IMAG:LAY PORTR", "SAV:IMAG:INKS OFF"};
        QTest::addRow("words in any case, numbers")
            << PrefsRig::optionTexts("true FALSE 0 -1") << "optInksaverOn optPortrait"
            << QStringList{png, "SAV:IMAG:LAY PORTR", "SAV:IMAG:INKS ON"};
        QTest::addRow("no entry") << StoredTexts{{"cboFileType", "-1"}}
                                  << "optInksaverOn optLandscape"
                                  << QStringList{"SAV:IMAG:FILEF ", "SAV:IMAG:LAY LAN",
                                                 "SAV:IMAG:INKS ON"};
    }
    void storedChoicesDecideTheImageCommands() {
        QFETCH(StoredTexts, stored);
        PrefsRig rig;
        rig.storeTexts(stored);
        rig.store.loadPrefs(false);

        const frmScreenOptions &s = rig.screenOptions;
        QTEST((QStringList{s.FileType, s.Layout, s.InkSaver}), "commands");
        QStringList selectedNow;
        for (const QRadioButton *b :
             {s.optInksaverOn, s.optInksaverOff, s.optLandscape, s.optPortrait})
            if (b->isChecked())
                selectedNow << b->objectName();
        QTEST(selectedNow.join(u' '), "selected");
    }

    void garbageGivesDefaultsForTheBadKeysOnly() {
        PrefsRig rig;
        rig.storeTexts({{"chkUseTimestamps", "yes"},
                        {"hsDelay", "61"},
                        {"chkAsk", "3"},
                        {"chkStopAfter", "-1"},
                        {"txtAcqLimit", "garbage"},
                        {"chkWFM", ""},
                        {"chkASCII", "1"},
                        {"chkRestoreRun", "99999"},
                        {"cboFileType", "3"},
                        {"optInksaverOn", "maybe"},
                        {"optInksaverOff", "True"},
                        {"optLandscape", "1.5.2"},
                        {"optPortrait", "2"}});
        {
            QSettings settings(rig.settingsPath(), QSettings::IniFormat);
            settings.setValue(QStringLiteral("Prefs/chkScreen"), QRect(1, 2, 3, 4));
        }
        QFile ini(rig.settingsPath());
        QVERIFY(ini.open(QIODevice::Append | QIODevice::Text));
        ini.write("txtWFMprefix=a,b\n");
        ini.close();

        // Bad keys keep their defaults; the later option word still moves the
        // selection, since a refused key leaves the control alone.
        QStringList expected = PrefsRig::savedDefaults;
        expected[4] = "garbage";
        expected[7] = "a,b";
        expected[8] = "1";
        expected[16] = "False";
        expected[17] = "True";
        expected[18] = "False";
        expected[19] = "True";
        rig.store.loadPrefs(false);
        QCOMPARE(rig.values(), expected);
        QCOMPARE(rig.publics(),
                 (QStringList{"E:\\a,b", "E:\\my_CSVs_", "E:\\my_Images_", "SAV:IMAG:FILEF PNG",
                              "SAV:IMAG:LAY PORTR", "SAV:IMAG:INKS OFF"}));
    }

    void greyedCheckValueFromTheStore() {
        PrefsRig rig;
        rig.storeTexts({{"chkStopAfter", "2"}, {"chkWFM", "2"}});
        rig.store.loadPrefs(false);

        frmPrefs &p = rig.prefs;
        QCOMPARE(checkValue(p.chkWFM), 2);
        QVERIFY(p.txtAcqLimit->isEnabled());
        QVERIFY(!p.txtWFMpath->isEnabled());
        QVERIFY(!p.txtWFMprefix->isEnabled());
        QVERIFY(rig.store.savePrefs());
        QCOMPARE(rig.storedInTableOrder().at(5), QStringLiteral("2"));

        // A user's clicks never come back to greyed.
        p.show();
        QList<int> seen;
        for (int click = 0; click < 3; ++click) {
            QTest::mouseClick(p.chkWFM, Qt::LeftButton, {}, QPoint(6, p.chkWFM->height() / 2));
            seen << checkValue(p.chkWFM);
        }
        QCOMPARE(seen, (QList<int>{1, 0, 1}));
        QVERIFY(p.txtWFMpath->isEnabled());
    }
};

QTEST_MAIN(tst_PrefsStore)
#include "tst_PrefsStore.moc"
