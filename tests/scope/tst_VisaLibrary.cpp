#include "InstrumentControl.h"
#include "SimProcess.h"
#include "VisaLibrary.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

// A vendor's VISA library, played by a stand-in built with the tests that
// reaches the simulated scope over loopback.
class tst_VisaLibrary : public QObject {
    Q_OBJECT

private slots:
    void missingLibraryIsNoSource();
    void opensWhatItListed();
    void timeout_data();
    void timeout();
    void blockSpanningReadsAndLineFeeds();
};

namespace {

constexpr auto Idn = "MARDOCK,KXA5104-SIM,000001,1.0.0";

class FixedSource : public ResourceSource {
public:
    explicit FixedSource(QStringList listed)
        : m_listed(std::move(listed)) {}
    std::optional<QStringList> descriptors() override { return m_listed; }

private:
    QStringList m_listed;
};

// The stand-in, told where the simulator listens and where to log its calls.
class Standin {
public:
    explicit Standin(const SimProcess &sim) {
        qputenv("MARDOCK_STANDIN_VISA_PORT", QByteArray::number(sim.port()));
        qputenv("MARDOCK_STANDIN_VISA_LOG", logPath().toUtf8());
        library = VisaLibrary::load(QStringList{QStringLiteral("/nonexistent/libvisa.so"),
                                                QStringLiteral(MARDOCK_STANDIN_VISA)});
    }
    ~Standin() {
        qunsetenv("MARDOCK_STANDIN_VISA_PORT");
        qunsetenv("MARDOCK_STANDIN_VISA_LOG");
    }

    QStringList calls() const {
        QFile file(logPath());
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            return {};
        return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    std::shared_ptr<VisaLibrary> library;

private:
    QString logPath() const { return m_dir.filePath(QStringLiteral("calls.log")); }

    QTemporaryDir m_dir;
};

} // namespace

void tst_VisaLibrary::missingLibraryIsNoSource() {
    const auto library = VisaLibrary::load(QStringList{"/nonexistent/libvisa.so"});
    QVERIFY(!library->isLoaded());
    QCOMPARE(library->descriptors(), QStringList());
    QVERIFY(!library->open(QStringLiteral("TCPIP0::127.0.0.1::4000::SOCKET")));
}

void tst_VisaLibrary::opensWhatItListed() {
    SimProcess sim;
    QVERIFY(sim.started());
    Standin standin(sim);
    const QString notListed = QStringLiteral("TCPIP0::127.0.0.1::1::SOCKET");
    const QString standinUsb = QStringLiteral("USB0::0x1234::0x5678::STANDIN::INSTR");
    InstrumentControl control(
        {std::make_shared<FixedSource>(QStringList{sim.descriptor(), notListed}), standin.library});
    control.setErrorReporting(false);
    QCOMPARE(control.resourceList(), (QStringList{sim.descriptor(), notListed, standinUsb}));

    control.setDescriptor(sim.descriptor());
    QCOMPARE(control.query(QStringLiteral("*IDN?")), QLatin1String(Idn));
    control.deviceClear();
    control.write(QStringLiteral("ACQ:STATE 1"));
    QCOMPARE(control.status(), 0);
    QTRY_COMPARE(sim.commandLog(), (QStringList{"*IDN?", "ACQ:STATE 1"}));
    const QStringList calls = standin.calls();
    QVERIFY(calls.contains("viOpen " + sim.descriptor()));
    const auto cleared = calls.indexOf("viClear", calls.indexOf("viWrite *IDN?"));
    QVERIFY2(cleared > 0 && cleared < calls.indexOf("viWrite ACQ:STATE 1"),
             qPrintable(calls.join(" | ")));

    // A USB descriptor the library listed is its own to open, not the
    // usbtmc driver's; the stand-in refuses it.
    control.setDescriptor(standinUsb);
    control.write(QStringLiteral("*CLS"));
    QVERIFY2(control.lastError().contains("VISA library could not open"),
             qPrintable(control.lastError()));

    control.setDescriptor(notListed);
    control.write(QStringLiteral("*CLS"));
    QCOMPARE(control.status(), InstrumentControl::Failed);
    QVERIFY(!standin.calls().contains("viOpen " + notListed));
}

void tst_VisaLibrary::timeout_data() {
    QTest::addColumn<int>("replyDelayMs");
    QTest::addColumn<qint16>("timeoutMs");
    QTest::addColumn<bool>("answered");

    QTest::addRow("reply within the timeout") << 300 << qint16(5000) << true;
    QTest::addRow("reply later than the timeout") << 600 << qint16(200) << false;
}

void tst_VisaLibrary::timeout() {
    QFETCH(int, replyDelayMs);
    QFETCH(qint16, timeoutMs);
    QFETCH(bool, answered);

    SimProcess sim({QStringLiteral("--reply-delay"), QString::number(replyDelayMs)});
    QVERIFY(sim.started());
    Standin standin(sim);
    InstrumentControl control({standin.library});
    control.setErrorReporting(false);
    QVERIFY(control.resourceList());
    control.setSetting(Instrument::TimeoutSetting, timeoutMs);
    control.setDescriptor(sim.descriptor());

    const QString reply = control.query(QStringLiteral("*IDN?"));
    QCOMPARE(control.status(), answered ? 0 : InstrumentControl::Failed);
    QCOMPARE(reply, answered ? QLatin1String(Idn) : QLatin1String(""));
    QCOMPARE(control.lastError().contains("timed out"), !answered);

    // Each call waits no longer than what is left of the exchange.
    static const QRegularExpression timeoutSet(
        QStringLiteral("^viSetAttribute 0x3FFF001A (\\d+)$"));
    const QStringList timeouts = standin.calls().filter(timeoutSet);
    QVERIFY(!timeouts.isEmpty());
    for (const QString &call : timeouts) {
        const int ms = timeoutSet.match(call).captured(1).toInt();
        QVERIFY2(ms >= 1 && ms <= timeoutMs, qPrintable(call));
    }

    // The late reply never answers the next query.
    control.setSetting(Instrument::TimeoutSetting, 5000);
    QCOMPARE(control.query(QStringLiteral("BUSY?")), QStringLiteral("0"));
}

// The library stops each read at a line feed or a full buffer; a block's
// bytes hold both, and the reply must still come back whole.
void tst_VisaLibrary::blockSpanningReadsAndLineFeeds() {
    SimProcess sim({QStringLiteral("--record-length"), QStringLiteral("100000")});
    QVERIFY(sim.started());
    Standin standin(sim);
    InstrumentControl control({standin.library});
    control.setErrorReporting(false);
    QVERIFY(control.resourceList());
    control.setSetting(Instrument::TimeoutSetting, 10000);
    control.setDescriptor(sim.descriptor());
    control.write(QStringLiteral("HEAD 0"));

    const QByteArray block = control.query(QStringLiteral("CURV?")).toLatin1();
    QVERIFY2(control.status() == 0, qPrintable(control.lastError()));
    QVERIFY(block.startsWith("#6200000"));
    QCOMPARE(block.size(), 8 + 200000);
    QVERIFY(block.contains('\n'));
    QCOMPARE(control.query(QStringLiteral("BUSY?")), QStringLiteral("0"));
}

QTEST_GUILESS_MAIN(tst_VisaLibrary)
#include "tst_VisaLibrary.moc"
