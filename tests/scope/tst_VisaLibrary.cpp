#include "DroppedReply.h"
#include "InstrumentControl.h"
#include "InstrumentListFile.h"
#include "SimProcess.h"
#include "TransportError.h"
#include "VisaLibrary.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

// A vendor's VISA library, played by a stand-in built with the tests that
// reaches the simulated scope over loopback.

using Listed = std::optional<QStringList>;

namespace {

constexpr auto Idn = "MARDOCK,KXA5104-SIM,000001,1.0.0";

// The simulator, the stand-in told where it listens and where to log its
// calls, and a control with the stand-in as its only source, reporting by
// status alone.
struct Rig {
    explicit Rig(const QStringList &simArgs = {})
        : sim(simArgs) {
        qputenv("MARDOCK_STANDIN_VISA_PORT", QByteArray::number(sim.port()));
        qputenv("MARDOCK_STANDIN_VISA_LOG", logPath().toUtf8());
        control.setErrorReporting(false);
    }

    QString logPath() const { return dir.filePath("calls.log"); }
    QStringList calls() const {
        QFile file(logPath());
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            return {};
        return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    }

    QTemporaryDir dir;
    SimProcess sim;
    InstrumentControl control{
        {VisaLibrary::load({"/nonexistent/libvisa.so", QStringLiteral(MARDOCK_STANDIN_VISA)})}};
};

// Sets one of the stand-in's switches for the life of the object.
struct Switch {
    Switch(const char *name, const QByteArray &value)
        : name(name) {
        qputenv(name, value);
    }
    ~Switch() { qunsetenv(name); }
    const char *name;
};

std::shared_ptr<VisaLibrary> standin() {
    return VisaLibrary::load({QStringLiteral(MARDOCK_STANDIN_VISA)});
}

} // namespace

class tst_VisaLibrary : public QObject {
    Q_OBJECT

private slots:
    void missingLibraryIsNoSource() {
        const auto library = VisaLibrary::load({"/nonexistent/libvisa.so"});
        QVERIFY(!library->isLoaded());
        QCOMPARE(library->descriptors(), QStringList());
        QVERIFY(!library->open("TCPIP0::127.0.0.1::4000::SOCKET"));
    }

    void opensWhatItListed() {
        Rig rig;
        QVERIFY(rig.sim.started());
        InstrumentControl &control = rig.control;
        const QString usb = "USB0::0x1234::0x5678::STANDIN::INSTR";
        QCOMPARE(control.resourceList(), (QStringList{rig.sim.descriptor(), usb}));

        control.setDescriptor(rig.sim.descriptor());
        QCOMPARE(control.query("*IDN?"), QLatin1String(Idn));
        control.deviceClear();
        control.write("ACQ:STATE 1");
        QCOMPARE(control.status(), 0);
        QTRY_COMPARE(rig.sim.commandLog(), (QStringList{"*IDN?", "ACQ:STATE 1"}));
        const QStringList calls = rig.calls();
        QVERIFY(calls.contains("viOpen " + rig.sim.descriptor()));
        const auto cleared = calls.indexOf("viClear", calls.indexOf("viWrite *IDN?"));
        QVERIFY2(cleared > 0 && cleared < calls.indexOf("viWrite ACQ:STATE 1"),
                 qPrintable(calls.join(" | ")));

        // A USB descriptor the library listed is its own to open, not the
        // usbtmc driver's; the stand-in refuses it.
        control.setDescriptor(usb);
        control.write("*CLS");
        QVERIFY2(control.lastError().contains("VISA library could not open"),
                 qPrintable(control.lastError()));

        // One it did not list is left to a transport of our own.
        const QString notListed = "TCPIP0::127.0.0.1::1::SOCKET";
        control.setDescriptor(notListed);
        control.write("*CLS");
        QCOMPARE(control.status(), InstrumentControl::Failed);
        QVERIFY(!rig.calls().contains("viOpen " + notListed));
    }

    // Each call waits no longer than what is left of the exchange, and a
    // reply later than that never answers the next query. The library stops
    // each read at a line feed or a full buffer; a block holds both, and must
    // still come back whole.
    void timeoutAndBlock() {
        Rig rig({"--reply-delay", "600", "--record-length", "100000"});
        QVERIFY(rig.sim.started());
        InstrumentControl &control = rig.control;
        QVERIFY(control.resourceList());
        control.setSetting(Instrument::TimeoutSetting, 200);
        control.setDescriptor(rig.sim.descriptor());
        // The first exchange on a link has a longer bound of its own.
        control.write("*CLS");
        const qsizetype firstExchangeCalls = rig.calls().size();

        QCOMPARE(control.query("*IDN?"), QString());
        QVERIFY2(control.lastError().contains("timed out"), qPrintable(control.lastError()));
        static const QRegularExpression timeoutSet("^viSetAttribute 0x3FFF001A (\\d+)$");
        const QStringList timeouts = rig.calls().mid(firstExchangeCalls).filter(timeoutSet);
        QVERIFY(!timeouts.isEmpty());
        for (const QString &call : timeouts) {
            const int ms = timeoutSet.match(call).captured(1).toInt();
            QVERIFY2(ms >= 1 && ms <= 200, qPrintable(call));
        }

        control.setSetting(Instrument::TimeoutSetting, 10000);
        const QByteArray block = control.query("CURV?").toLatin1();
        QVERIFY2(control.status() == 0, qPrintable(control.lastError()));
        QVERIFY(block.startsWith("#6200000"));
        QCOMPARE(block.size(), 8 + 200000);
        QVERIFY(block.contains('\n'));
        QCOMPARE(control.query("BUSY?"), "0");
    }

    // A 2 MB reply nobody reads is taken in whole, chunk by chunk, so the
    // next query gets its own reply, and the link keeps none of it.
    void droppedReply() {
        Rig rig({"--record-length", "1000000"});
        QVERIFY(rig.sim.started());
        InstrumentControl &control = rig.control;
        QVERIFY(control.resourceList());
        control.setSetting(Instrument::TimeoutSetting, 10000);
        control.setDescriptor(rig.sim.descriptor());
        QCOMPARE(control.query("BUSY?"), "0");

        verifyDroppedWhole(control, "CURV?");
    }

    // A library that never returns from its listing is given up on and not
    // asked again, and the other sources still list; one that reports
    // billions of resources gives no more than the cap.
    void misbehavingListing_data() {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<Listed>("fromLibrary");
        QTest::addRow("hangs in find")
            << QByteArray("MARDOCK_STANDIN_VISA_HANG") << QByteArray("find") << Listed();
        QStringList capped;
        for (VisaApi::ViUInt32 i = 0; i < VisaLibrary::MaxResources; ++i)
            capped << QStringLiteral("GPIB0::%1::INSTR").arg(i);
        QTest::addRow("reports 4 billion") << QByteArray("MARDOCK_STANDIN_VISA_COUNT")
                                           << QByteArray("4000000000") << Listed(capped);
    }
    void misbehavingListing() {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, value);
        QFETCH(Listed, fromLibrary);
        QTemporaryDir dir;
        const Switch log("MARDOCK_STANDIN_VISA_LOG", dir.filePath("calls.log").toUtf8());
        const Switch misbehaviour(name.constData(), value);
        const QString scope = "TCPIP0::127.0.0.1::4000::SOCKET";
        QFile list(dir.filePath("instruments.txt"));
        QVERIFY(list.open(QIODevice::WriteOnly) && list.write(scope.toUtf8()) > 0);
        list.close();
        const auto library = standin();

        QCOMPARE(library->descriptors(), fromLibrary);
        const Listed merged =
            InstrumentControl({std::make_shared<InstrumentListFile>(list.fileName()), library})
                .resourceList();
        QVERIFY(merged);
        QCOMPARE(merged->first(), scope);
        QCOMPARE(merged->size(), 1 + (fromLibrary ? fromLibrary->size() : 0));
        QFile calls(dir.filePath("calls.log"));
        QVERIFY(calls.open(QIODevice::ReadOnly));
        QCOMPARE(calls.readAll().count("viFindRsrc"), fromLibrary ? 2 : 1);
    }

    // An open that never returns fails the write within the write's bound,
    // and later opens fail at once instead of leaving a thread each behind
    // in the library.
    void hangInOpen() {
        QTemporaryDir dir;
        const QString logPath = dir.filePath("calls.log");
        const Switch log("MARDOCK_STANDIN_VISA_LOG", logPath.toUtf8());
        const Switch port("MARDOCK_STANDIN_VISA_PORT", "4000");
        const Switch hang("MARDOCK_STANDIN_VISA_HANG", "open");
        const auto library = standin();
        const QString listed = "TCPIP0::127.0.0.1::4000::SOCKET";
        QVERIFY(library->descriptors().value_or(QStringList()).contains(listed));
        const std::unique_ptr<Transport> first = library->open(listed);
        const std::unique_ptr<Transport> second = library->open(listed);
        QVERIFY(first && second);
        const QStringList expected = {"timed out waiting for the VISA library to open",
                                      "has not returned from an earlier open",
                                      "has not returned from an earlier open"};
        Transport *const tried[] = {first.get(), first.get(), second.get()};
        for (int i = 0; i < expected.size(); ++i) {
            try {
                tried[i]->write("*IDN?", std::chrono::milliseconds(200));
                QFAIL("the write went through a hung open");
            } catch (const TransportError &error) {
                QVERIFY2(error.reason().contains(expected[i]), qPrintable(error.reason()));
            }
        }
        QFile calls(logPath);
        QVERIFY(calls.open(QIODevice::ReadOnly));
        QCOMPARE(calls.readAll().count("viOpen"), 1);
    }
};

QTEST_GUILESS_MAIN(tst_VisaLibrary)
#include "tst_VisaLibrary.moc"
