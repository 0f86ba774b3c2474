#include "PrefsRig.h"

#include <QFile>
#include <random>

namespace {

// Not one of these is a default, and each has a shape a careless store might
// change: empty, a leading blank, a comma or a quote.
const StoredTexts storedByUser = {{"hsDelay", "45"},          {"chkAsk", "1"},
                                  {"txtAcqLimit", " 25"},     {"txtWFMpath", ""},
                                  {"txtWFMprefix", "a,b\"c"}, {"txtScreenPrefix", ""},
                                  {"cboFileType", "2"},       {"optInksaverOn", "False"},
                                  {"optInksaverOff", "True"}};

void writeFile(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

} // namespace

// Settings files damaged outside the program: cut short by a full disk or a
// crash of an editor, overwritten with binary, or edited to absurd values.
// Loading never fails; each key is either what was stored or its default, and
// one Close makes the file whole again.
class tst_badsettings : public QObject {
    Q_OBJECT

private slots:
    void truncatedAtEveryByte() {
        PrefsRig saved;
        saved.storeTexts(storedByUser);
        saved.store.loadPrefs(false);
        const QStringList full = saved.values();
        for (auto it = storedByUser.begin(); it != storedByUser.end(); ++it)
            QCOMPARE(full[PrefsRig::tableOrder.indexOf(it.key())], it.value());
        QFile file(saved.settingsPath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray whole = file.readAll();

        for (qsizetype cut = 0; cut <= whole.size(); ++cut) {
            PrefsRig rig;
            writeFile(rig.settingsPath(), whole.first(cut));
            rig.store.loadPrefs(false);
            const QStringList values = rig.values();
            for (int i = 0; i < values.size(); ++i) {
                // A line cut inside its value leaves the start of a text or a number.
                const bool fromFile = full[i].startsWith(values[i]);
                QVERIFY2(fromFile || values[i] == PrefsRig::savedDefaults[i],
                         qPrintable(QStringLiteral("cut at %1: %2 = %3")
                                        .arg(cut)
                                        .arg(PrefsRig::tableOrder[i], values[i])));
            }
            QVERIFY(rig.store.savePrefs());
            QCOMPARE(rig.storedInTableOrder(), values);
        }
    }

    void damagedFiles_data() {
        QTest::addColumn<QByteArray>("bytes");
        // Values in table order after loading; empty: only that it loads and settles.
        QTest::addColumn<QStringList>("expected");

        const QStringList defaults = PrefsRig::savedDefaults;
        QTest::addRow("empty file") << QByteArray() << defaults;
        QTest::addRow("NUL bytes") << QByteArray(4096, '\0') << defaults;

        std::mt19937 random(7);
        QByteArray noise;
        for (int i = 0; i < 65536; ++i)
            noise += char(random());
        QTest::addRow("random bytes") << noise << QStringList();
        QTest::addRow("random bytes under the section") << "[Prefs]\n" + noise << QStringList();
        QTest::addRow("unclosed section header")
            << QByteArray("[Prefs\nhsDelay=5\n[Prefs]\nchkAsk=1\n") << QStringList();

        // A value that does not convert, or that its control refuses, gives
        // that key its default; the later option word still moves the
        // selection, since a refused key leaves its control alone.
        QStringList garbage = defaults;
        garbage[4] = "garbage";
        garbage[7] = "a,b";
        garbage[8] = "1";
        garbage[16] = "False";
        garbage[17] = "True";
        garbage[18] = "False";
        garbage[19] = "True";
        QTest::addRow("garbage")
            << QByteArray("[Prefs]\nchkUseTimestamps=yes\nhsDelay=61\nchkAsk=3\nchkStopAfter=-1\n"
                          "txtAcqLimit=garbage\nchkWFM=\ntxtWFMprefix=a,b\nchkASCII=1\n"
                          "chkScreen=@Rect(1 2 3 4)\nchkRestoreRun=32768\ncboFileType=99\n"
                          "optInksaverOn=maybe\noptInksaverOff=True\noptLandscape=1.5.2\n"
                          "optPortrait=2\n")
            << garbage;

        // A text box holds at most 32767 characters; the rest is cut off.
        QStringList huge = defaults;
        huge[7] = QString(32767, u'x');
        QTest::addRow("a megabyte of prefix")
            << "[Prefs]\ntxtWFMprefix=" + QByteArray(1 << 20, 'x') + "\n"
            << huge;

        // "@Variant(...)" would be deserialised, with a length a damaged file
        // can set to gigabytes; it stays text, for the save as well.
        QStringList typed = defaults;
        typed[6] = "E:\\,F:\\";
        typed[7] = QString::fromUtf16(u"@Variant(\0\0\0\x7f\xff\xff\xff\xf0)", 18);
        typed[10] = "@kept";
        QTest::addRow("typed and serialised values, lists")
            << QByteArray("[Prefs]\nhsDelay=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\0)\n"
                          "chkAsk=@ByteArray(1)\ntxtWFMpath=\"E:\\\\\", \"F:\\\\\"\n"
                          "txtWFMprefix=@Variant(\\0\\0\\0\\x7f\\xff\\xff\\xff\\xf0)\n"
                          "txtASCIIprefix=@@kept\ncboFileType=@Rect(1 2 3 4)\n")
            << typed;
    }
    void damagedFiles() {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, expected);

        PrefsRig rig;
        writeFile(rig.settingsPath(), bytes);
        rig.store.loadPrefs(false);
        const QStringList loaded = rig.values();
        if (!expected.isEmpty())
            QCOMPARE(loaded, expected);
        // Qt reports a damaged file as a format error; the save must still go
        // through, and leave a file that reads cleanly.
        QVERIFY(rig.store.savePrefs());
        QCOMPARE(QSettings(rig.settingsPath(), QSettings::IniFormat).status(), QSettings::NoError);
        QCOMPARE(rig.storedInTableOrder(), loaded);

        PrefsRig again;
        QFile::remove(again.settingsPath());
        QVERIFY(QFile::copy(rig.settingsPath(), again.settingsPath()));
        again.store.loadPrefs(false);
        QCOMPARE(again.values(), loaded);
    }
};

QTEST_MAIN(tst_badsettings)
#include "tst_badsettings.moc"
