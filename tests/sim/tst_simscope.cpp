#include "SimScope.h"

#include <QDir>
#include <QDirIterator>
#include <QImage>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

namespace {

class ManualClock : public SimClock {
public:
    qint64 nowMs() const override { return m_now; }
    void advance(qint64 ms) { m_now += ms; }

private:
    qint64 m_now = 1000;
};

// A scope on a temporary storage folder with a hand-moved clock.
struct Rig {
    explicit Rig(SimOptions options = {}) {
        options.storage = dir.path();
        options.recordLength = 500;
        options.seed = 7;
        options.saveSeconds = 0.5;
        scope.emplace(options, clock);
    }

    // The reply to a message, or "<none>" when it asked for nothing.
    QByteArray send(QByteArrayView message) {
        QByteArray reply;
        return scope->handleMessage(message, reply) ? reply : QByteArray("<none>");
    }

    QStringList files() const {
        QStringList found;
        QDirIterator it(dir.path(), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            found << QDir(dir.path()).relativeFilePath(it.next());
        found.sort();
        return found;
    }

    QByteArray file(const QString &path) const {
        QFile file(dir.filePath(path));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir dir;
    ManualClock clock;
    std::optional<SimScope> scope;
};

} // namespace

class TestSimScope : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void script_data();
    void script();
    void eventQueueIsBounded();
    void driveFaults_data();
    void driveFaults();
    void powerCycle();
    void saves_data();
    void saves();
    void images_data();
    void images();
    void isfMatchesCsvAndCurve();
    void observedEventsAndSavesWithoutFiles();
};

void TestSimScope::initTestCase() {
    QLoggingCategory::setFilterRules(QStringLiteral("mardock.scopesim.events=false"));
}

// Steps joined by "|": "message" must ask for no reply, "query => reply"
// must answer exactly that, "+N" moves the clock N ms.
void TestSimScope::script_data() {
    QTest::addColumn<QString>("steps");
    const QString none = R"(ALLEV? => 0,"No events to report - queue empty")";

    QTest::addRow("busy until the trigger, then for each queued save")
        << "HEAD 0;VERB 0|ACQ:STOPA SEQ;STATE 0|BUSY? => 0|ACQ:STATE 1|BUSY? => 1|"
           "ACQ:STATE? => 1|+3600000|BUSY? => 0|ACQ:STATE? => 0|ACQ:NUMACQ? => 1|"
           R"(SAV:WAVE ALL, "E:\a"|SAV:IMAG "E:\a.png"|+999|BUSY? => 1|+1|BUSY? => 0)";
    QTest::addRow("sequence abandoned, trigger forced, Stop's restore leaves it running")
        << "ACQ:STOPA SEQ;STATE RUN|BUSY? => 1|ACQ:STATE OFF|BUSY? => 0|+3600000|"
           "ACQ:NUMACQ? => 0|ACQ:STATE 1|BUSY? => 1|TRIG|BUSY? => 0|ACQ:NUMACQ? => 1|"
           "TRIG|ACQ:STATE 0|ACQ:STOPA RUNST|TRIG:A:MOD AUTO|ACQ:STATE 1|BUSY? => 0|"
           "ACQ:STOPA?;STATE?;:TRIG:A:MOD? => RUNSTOP;1;AUTO";
    QTest::addRow("headers long and short")
        << "HEAD 1|BUSY? => :BUSY 0|ACQ:STATE? => :ACQUIRE:STATE 1|VERB 0|"
           "ACQ:STATE? => :ACQ:STATE 1|HEAD OFF|BUSY? => 0";
    QTest::addRow("unknown commands queued, ALLEV? and *CLS clear")
        << "FOO 1|ACQ:BAR?|ALLEV? => -113,\"Undefined header; Command not found; input was "
           "'FOO 1'\",-113,\"Undefined header; Command not found; input was 'ACQ:BAR?'\"|" +
               none + "|FOO|*CLS|" + none;
    QTest::addRow("keywords long with VERB on, short with it off, headers or not")
        << "ACQ:STOPA SEQ|ACQ:STOPA? => SEQUENCE|VERB 0|ACQ:STOPA? => SEQ|HEAD 1|"
           "ACQ:STOPA RUNSTOP|ACQ:STOPA? => :ACQ:STOPA RUNST|VERB 1|"
           "ACQ:STOPA? => :ACQUIRE:STOPAFTER RUNSTOP|SAV:WAVE:FILEF SPREADS;GATI CURS|"
           "SAV:WAVE:FILEF?;GATI? => :SAVE:WAVEFORM:FILEFORMAT SPREADSHEET;"
           ":SAVE:WAVEFORM:GATING CURSOR";
    QTest::addRow("DESE gates the event status register and the queue")
        << "DESE? => 255|DESE 0|FOO|SAV:IMAG E:\\x|*ESR? => 0|" + none +
               "|DESE 16|DESE? => 16|FOO|SAV:IMAG E:\\x|*ESR? => 16|"
               "ALLEV? => -224,\"Illegal parameter value; input was 'SAV:IMAG E:\\x'\"|" +
               none;
    QTest::addRow("*ESR? sums the error classes and clears, the queue stays")
        << "FOO|FILES:CWD \"E:\\a*\"|FILES:CWD \"E:\\b*\"|*ESR? => 48|*ESR? => 0|"
           "ALLEV? => -113,\"Undefined header; Command not found; input was 'FOO'\","
           "-257,\"File name error; input was 'FILES:CWD \"\"E:\\a*\"\"'\","
           "-257,\"File name error; input was 'FILES:CWD \"\"E:\\b*\"\"'\"|*ESR? => 0";
    QTest::addRow("*CLS clears the register and the queue, not the mask")
        << "DESE 32|FOO|HEAD 1|*CLS|*ESR? => 0|ALLEV? => :ALLEV 0,\"No events to report - "
           "queue empty\"|DESE? => :DESE 32";
}

void TestSimScope::script() {
    QFETCH(QString, steps);
    Rig rig;
    for (const QString &step : steps.split(u'|')) {
        if (step.startsWith(u'+')) {
            rig.clock.advance(step.toLongLong());
            continue;
        }
        const qsizetype arrow = step.indexOf(QStringLiteral(" => "));
        const QByteArray expected = arrow < 0 ? "<none>" : step.mid(arrow + 4).toUtf8();
        const QByteArray reply = rig.send(step.left(arrow).toUtf8());
        QVERIFY2(reply == expected, qPrintable(step + " got " + reply));
    }
}

void TestSimScope::eventQueueIsBounded() {
    Rig rig;
    const QByteArray longCommand = "FOO " + QByteArray(100000, 'x');
    for (int i = 0; i < 1000; ++i)
        rig.send(longCommand);
    const QByteArray all = rig.send("ALLEV?");
    QCOMPARE(all.count("-113,"), 31);
    // Reports quote only the start of what was refused.
    QVERIFY(all.size() < 32 * 200);
    QVERIFY(all.endsWith("-350,\"Queue overflow\""));
}

void TestSimScope::driveFaults_data() {
    QTest::addColumn<SimOptions::DriveFault>("fault");
    QTest::addColumn<QByteArray>("reason");
    QTest::addColumn<QByteArray>("listing");
    QTest::addRow("missing") << SimOptions::DriveFault::Missing << QByteArray("drive not found")
                             << QByteArray();
    QTest::addRow("full") << SimOptions::DriveFault::Full << QByteArray("drive full")
                          << QByteArray(R"("old.png")");
}

// Every save is refused and writes nothing; a name the scope refuses anyway
// still says so.
void TestSimScope::driveFaults() {
    QFETCH(SimOptions::DriveFault, fault);
    QFETCH(QByteArray, reason);
    SimOptions options;
    options.driveFault = fault;
    Rig rig(options);
    QVERIFY(QDir(rig.dir.path()).mkpath("E"));
    QFile old(rig.dir.filePath("E/old.png"));
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.close();

    for (const char *message :
         {R"(SAV:WAVE ALL, "E:\a")", R"(SAV:IMAG "D:\b.png")", R"(SAV:IMAG "E:\c?.png")"})
        QCOMPARE(rig.send(message), QByteArray("<none>"));
    QCOMPARE(rig.files(), QStringList{"E/old.png"});
    QCOMPARE(rig.send("BUSY?;*ESR?"), QByteArray("0;16"));
    QTEST(rig.send("FILES:DIR?"), "listing");
    QCOMPARE(rig.send("ALLEV?"),
             "-250,\"Mass storage error; E: " + reason + "\",-250,\"Mass storage error; D: " +
                 reason + R"(",-257,"File name error; input was 'SAV:IMAG ""E:\c?.png""'")");
}

// The scope loses power right after the chosen save, with that save's files
// written, and comes back as after power-on.
void TestSimScope::powerCycle() {
    SimOptions options;
    options.powerCycleAfter = 2;
    Rig rig(options);
    const QByteArrayList run{"HEAD 0;VERB 0;DESE 56;*CLS", R"(FILES:CWD "E:\runs")",
                             "ACQ:STOPA SEQ;STATE 1",      "TRIG",
                             R"(SAV:WAVE ALL, "a")",       "FOO"};
    for (const QByteArray &message : run)
        rig.send(message);
    QVERIFY(!rig.scope->takePowerCycle());
    QCOMPARE(rig.send(R"(SAV:IMAG "a.png";*IDN?)"), QByteArray("<none>"));
    QVERIFY(rig.scope->takePowerCycle());
    QVERIFY(!rig.scope->takePowerCycle());
    QCOMPARE(rig.files(), (QStringList{"E/runs/a.png", "E/runs/a_CH1.isf", "E/runs/a_CH2.isf"}));

    rig.scope->powerOn();
    QCOMPARE(rig.send("BUSY?;:ACQ:STOPA?;STATE?;:DESE?;:FILES:CWD?"),
             QByteArray(R"(:BUSY 0;:ACQUIRE:STOPAFTER RUNSTOP;:ACQUIRE:STATE 1;:DESE 255;)"
                        R"(:FILESYSTEM:CWD "E:\")"));
    QCOMPARE(rig.send("HEAD 0;*ESR?;ALLEV?"),
             QByteArray(R"(0;0,"No events to report - queue empty")"));
    // Only the one power cycle.
    rig.send(R"(SAV:IMAG "b.png";SAV:IMAG "c.png")");
    QVERIFY(!rig.scope->takePowerCycle());
}

// The names the program itself saves under are checked end to end; these
// are the other ways a name can go.
void TestSimScope::saves_data() {
    QTest::addColumn<QByteArrayList>("messages");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QByteArray>("events");
    const QByteArray none = "0,\"No events to report - queue empty\"";

    QTest::addRow("CSV into new folders")
        << QByteArrayList{"SAV:WAVE:FILEF SPREADS", R"(SAV:WAVE ALL, "E:\data\run1\p_2")"}
        << QStringList{"E/data/run1/p_2_CH1.csv", "E/data/run1/p_2_CH2.csv"} << none;
    QTest::addRow("one channel") << QByteArrayList{R"(SAV:WAVE CH2,"D:\x")"}
                                 << QStringList{"D/x_CH2.isf"} << none;
    QTest::addRow("image in the current folder, named exactly as given")
        << QByteArrayList{R"(FILES:CWD "E:\runs")", R"(SAV:IMAG "scr;1 a.PNG")"}
        << QStringList{"E/runs/scr;1 a.PNG"} << none;
    QTest::addRow("folder that is a file")
        << QByteArrayList{R"(SAV:IMAG "E:\blocked")", R"(SAV:IMAG "E:\blocked\a.png")"}
        << QStringList{"E/blocked"}
        << QByteArray(R"(-250,"Mass storage error; cannot write '""E:\blocked\a.png""'")");
    QTest::addRow("escaping name refused")
        << QByteArrayList{R"(SAV:WAVE ALL, "E:\..\..\x")"} << QStringList{}
        << QByteArray(R"(-257,"File name error; input was 'SAV:WAVE ALL, ""E:\..\..\x""'")");
    QTest::addRow("unquoted name refused")
        << QByteArrayList{R"(SAV:IMAG E:\x.png)"} << QStringList{}
        << QByteArray(R"(-224,"Illegal parameter value; input was 'SAV:IMAG E:\x.png'")");
}

void TestSimScope::saves() {
    QFETCH(QByteArrayList, messages);
    Rig rig;
    for (const QByteArray &message : messages)
        QCOMPARE(rig.send(message), QByteArray("<none>"));
    QTEST(rig.files(), "files");
    QTEST(rig.send("ALLEV?"), "events");
}

void TestSimScope::images_data() {
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QByteArray>("layout");
    QTest::addColumn<bool>("inkSaver");
    QTest::addColumn<QSize>("size");
    QTest::addRow("PNG landscape ink saver")
        << QByteArray("PNG") << QByteArray("LAN") << true << QSize(800, 480);
    QTest::addRow("BMP portrait screen colours")
        << QByteArray("BMP") << QByteArray("PORTR") << false << QSize(480, 800);
    QTest::addRow("TIFF landscape screen colours")
        << QByteArray("TIFF") << QByteArray("LAN") << false << QSize(800, 480);
}

void TestSimScope::images() {
    QFETCH(QByteArray, format);
    QFETCH(QByteArray, layout);
    QFETCH(bool, inkSaver);
    QFETCH(QSize, size);
    Rig rig;
    rig.send("SAV:IMAG:FILEF " + format + ";LAY " + layout + ";INKS " + (inkSaver ? "ON" : "OFF"));
    // The extension says nothing: the chosen format decides what is written.
    rig.send(R"(SAV:IMAG "E:\shot.img")");

    QImage image;
    QVERIFY(image.loadFromData(rig.file("E/shot.img"), format.constData()));
    QCOMPARE(image.size(), size);
    const QColor background = inkSaver ? Qt::white : Qt::black;
    QCOMPARE(image.pixelColor(0, 0), background);
    QCOMPARE(image.pixelColor(size.width() - 1, size.height() - 1), background);
    // Both traces are drawn in colour, not only grey graticule and text.
    int coloured = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            coloured += image.pixelColor(x, y).saturation() > 100;
    QVERIFY2(coloured > 500, qPrintable(QString::number(coloured)));
}

void TestSimScope::isfMatchesCsvAndCurve() {
    Rig rig;
    rig.send("ACQ:STOPA SEQ;STATE 1;:TRIG");
    rig.send(R"(SAV:WAVE ALL, "E:\w")");
    rig.send("SAV:WAVE:FILEF SPREADS");
    rig.send(R"(SAV:WAVE ALL, "E:\w")");
    // The scope stopped after its sequence, so CURV? shows the saved record.
    const QByteArray curve = rig.send("CURV?");
    QVERIFY(curve.startsWith("#41000"));
    QCOMPARE(curve.size(), 6 + 1000);

    // Read as any client would: keys up to "CURVE", then the block.
    const QByteArray isf = rig.file("E/w_CH1.isf");
    QVERIFY(isf.endsWith(";CURVE " + curve));
    QHash<QByteArray, QByteArray> keys;
    for (const QByteArray &pair : isf.chopped(curve.size() + 7).split(';'))
        keys.insert(pair.first(pair.indexOf(' ')), pair.sliced(pair.indexOf(' ') + 1));
    QCOMPARE(keys.value("RECORD_LENGTH"), QByteArray("500"));
    QCOMPARE(keys.value("CHANNEL"), QByteArray("CH1"));
    const auto key = [&](const char *name) { return keys.value(name).toDouble(); };

    const QByteArrayList rows = rig.file("E/w_CH1.csv").trimmed().split('\n');
    QCOMPARE(rows.size(), 501);
    for (int i = 0; i < 500; i += 37) {
        const QByteArrayList columns = rows[i + 1].trimmed().split(',');
        QCOMPARE(columns.size(), 2);
        QVERIFY(!columns[0].contains('e') && !columns[1].contains('e'));
        const qint16 sample = qFromLittleEndian<qint16>(curve.constData() + 6 + 2 * i);
        QVERIFY(qAbs(columns[0].toDouble() -
                     (key("FIRST_SAMPLE_TIME") + i * key("SAMPLE_INTERVAL"))) < 1e-12);
        QVERIFY(qAbs(columns[1].toDouble() -
                     (sample * key("VOLTS_PER_COUNT") + key("OFFSET_VOLTS"))) < 1e-6);
    }
}

QTEST_MAIN(TestSimScope)
#include "tst_simscope.moc"

// Triggers and finished saves are told with the time they happened, not when
// a poll noticed them; without files, saves keep the scope busy all the same.
void TestSimScope::observedEventsAndSavesWithoutFiles() {
    SimOptions options;
    options.noFiles = true;
    Rig rig(options);
    QStringList seen;
    rig.scope->setObserver([&seen](QByteArrayView what, qint64 atMs) {
        seen << QStringLiteral("%1@%2").arg(QString::fromLatin1(what)).arg(atMs);
    });
    rig.send("ACQ:STOPA SEQ;STATE 0");
    rig.send("ACQ:STATE 1");
    rig.clock.advance(3600000);
    QCOMPARE(rig.send("BUSY?"), QByteArray("0"));
    QCOMPARE(seen.size(), 1);
    const qint64 triggeredAt = seen.front().section(u'@', 1).toLongLong();
    QVERIFY(seen.front().startsWith(QStringLiteral("triggered@")));
    QVERIFY(triggeredAt >= 1000 && triggeredAt < 3601000);

    rig.send(R"(SAV:WAVE ALL, "E:\a")");
    rig.send(R"(SAV:IMAG "E:\a.png")");
    rig.clock.advance(999);
    QCOMPARE(rig.send("BUSY?"), QByteArray("1"));
    QCOMPARE(seen.size(), 1);
    rig.clock.advance(500);
    QCOMPARE(rig.send("BUSY?"), QByteArray("0"));
    QCOMPARE(seen.back(), QStringLiteral("saved@%1").arg(3601000 + 1000));
    rig.clock.advance(10);
    rig.send("BUSY?");
    QCOMPARE(seen.size(), 2);
    QCOMPARE(rig.files(), QStringList());
}
