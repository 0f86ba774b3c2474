#include "PrefsRig.h"

#include <QFile>
#include <QTest>
#include <random>

// Settings files damaged outside the program: cut short by a full disk or a
// crash of an editor, overwritten with binary, or edited to absurd values.
// Loading never fails; each key is either what was stored or its default, and
// one Close makes the file whole again.
class tst_badsettings : public QObject {
    Q_OBJECT

private slots:
    void truncatedAtEveryByte();
    void damagedFiles_data();
    void damagedFiles();
    void serialisedDataIsReadAsText();

private:
    static void writeFile(const QString &path, const QByteArray &bytes);
};

namespace {

// Not one of these is a default, so a loaded value shows where it came from.
const StoredTexts storedByUser = {
    {"chkUseTimestamps", "0"}, {"hsDelay", "45"},          {"chkAsk", "1"},
    {"chkStopAfter", "0"},     {"txtAcqLimit", "2500"},    {"chkWFM", "0"},
    {"txtWFMpath", "F:\\w\\"}, {"txtWFMprefix", "wf_"},    {"chkASCII", "1"},
    {"txtASCIIpath", "F:\\"},  {"chkScreen", "1"},         {"txtScreenPrefix", "shot_"},
    {"cboFileType", "2"},      {"optInksaverOn", "False"}, {"optInksaverOff", "True"},
    {"optLandscape", "False"}, {"optPortrait", "True"}};

} // namespace

void tst_badsettings::writeFile(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

void tst_badsettings::truncatedAtEveryByte() {
    PrefsRig saved;
    saved.storeTexts(storedByUser);
    saved.store.loadPrefs(false);
    const QStringList full = saved.values();
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

void tst_badsettings::damagedFiles_data() {
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

    QStringList absurd = defaults;
    absurd[4] = "1e999999";
    QTest::addRow("absurd numbers")
        << QByteArray("[Prefs]\nchkUseTimestamps=32768\nhsDelay=-2147483649\nchkAsk=1e3\n"
                      "chkStopAfter=0x1\ntxtAcqLimit=1e999999\ncboFileType=99\n"
                      "optInksaverOn=1e999\n")
        << absurd;

    // A text box holds at most 32767 characters; the rest is cut off.
    QStringList huge = defaults;
    huge[7] = QString(32767, u'x');
    QTest::addRow("a megabyte of prefix")
        << "[Prefs]\ntxtWFMprefix=" + QByteArray(1 << 20, 'x') + "\n"
        << huge;

    QStringList typed = defaults;
    typed[6] = "E:\\,F:\\";
    QTest::addRow("typed values and lists")
        << QByteArray("[Prefs]\nhsDelay=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\0)\n"
                      "chkAsk=@ByteArray(1)\ntxtWFMpath=\"E:\\\\\", \"F:\\\\\"\n"
                      "cboFileType=@Rect(1 2 3 4)\n")
        << typed;
    QTest::addRow("unclosed section header")
        << QByteArray("[Prefs\nhsDelay=5\n[Prefs]\nchkAsk=1\n") << QStringList();
    QTest::addRow("section twice, keys in both")
        << QByteArray("[Prefs]\nhsDelay=5\n[Other]\nhsDelay=6\n[Prefs]\nchkAsk=1\n")
        << QStringList();
}

void tst_badsettings::damagedFiles() {
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

// "@Variant(...)" would be deserialised, with a length a damaged file can set
// to gigabytes; it must stay text, and saving must not read it either.
void tst_badsettings::serialisedDataIsReadAsText() {
    PrefsRig rig;
    writeFile(rig.settingsPath(), "[Prefs]\nhsDelay=@Variant(\\0\\0\\0\\x7f)\n"
                                  "txtWFMprefix=@Variant(\\0\\0\\0\\x7f\\xff\\xff\\xff\\xf0)\n"
                                  "txtASCIIprefix=@@kept\n");
    rig.store.loadPrefs(false);
    QCOMPARE(rig.prefs.hsDelay->value(), 0);
    QVERIFY(rig.prefs.txtWFMprefix->text().startsWith("@Variant("));
    QCOMPARE(rig.prefs.txtASCIIprefix->text(), "@kept");
    QVERIFY(rig.store.savePrefs());
    rig.store.loadPrefs(false);
    QVERIFY(rig.prefs.txtWFMprefix->text().startsWith("@Variant("));
}

QTEST_MAIN(tst_badsettings)
#include "tst_badsettings.moc"
