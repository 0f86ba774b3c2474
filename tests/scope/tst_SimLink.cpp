#include "InstrumentControl.h"
#include "InstrumentError.h"
#include "SimProcess.h"

#include <QTest>

// The I/O control against the simulated scope over loopback, healthy and
// with each of its link faults.

namespace {

constexpr auto Idn = "MARDOCK,KXA5104-SIM,000001,1.0.0";

void prepare(InstrumentControl &control, const SimProcess &sim, qint16 timeoutMs) {
    control.setErrorReporting(false);
    control.setSetting(Instrument::TimeoutSetting, timeoutMs);
    control.setDescriptor(sim.descriptor());
}

} // namespace

class tst_SimLink : public QObject {
    Q_OBJECT

private slots:
    void plainExchange() {
        SimProcess sim;
        QVERIFY(sim.started());
        InstrumentControl control({});
        control.setDescriptor(sim.descriptor());

        control.deviceClear();
        QCOMPARE(control.query(QStringLiteral("*IDN?")), QLatin1String(Idn));
        control.write(QStringLiteral("HEAD 0"));
        QCOMPARE(control.query(QStringLiteral("BUSY?")), QStringLiteral("0"));
        QCOMPARE(control.status(), 0);
        QTRY_COMPARE(sim.commandLog(), (QStringList{"*IDN?", "HEAD 0", "BUSY?"}));

        // A scope restarted between two exchanges: the dead link is noticed
        // before the next command goes out, and that command is not lost.
        QVERIFY(sim.restart());
        control.write(QStringLiteral("ACQ:STATE 1"));
        QCOMPARE(control.status(), 0);
        QTRY_COMPARE(sim.commandLog().value(3), QStringLiteral("ACQ:STATE 1"));
    }

    void faultFailsAndTheNextExchangeWorks_data() {
        QTest::addColumn<QStringList>("fault");
        QTest::addColumn<QString>("reason");

        QTest::addRow("reply later than the timeout")
            << QStringList{"--reply-delay", "600"} << "timed out";
        QTest::addRow("scope hangs") << QStringList{"--hang-after", "0"} << "timed out";
        QTest::addRow("unterminated reply") << QStringList{"--unterminated"} << "timed out";
        QTest::addRow("oversized block") << QStringList{"--oversize"} << "larger than 64 MiB";
        // Random bytes make a reply as good as any other, or look like a block
        // that never completes; either way nothing breaks.
        QTest::addRow("garbage") << QStringList{"--garbage"} << QString();
    }
    void faultFailsAndTheNextExchangeWorks() {
        QFETCH(QStringList, fault);
        QFETCH(QString, reason);

        SimProcess sim(fault);
        QVERIFY(sim.started());
        InstrumentControl control({});
        prepare(control, sim, 200);

        for (int i = 0; i < 3; ++i) {
            control.query(QStringLiteral("*IDN?"));
            if (!reason.isEmpty()) {
                QVERIFY(control.status() < 0);
                QVERIFY2(control.lastError().contains(reason), qPrintable(control.lastError()));
            }
        }

        QVERIFY(sim.restart());
        control.setSetting(Instrument::TimeoutSetting, 5000);
        QCOMPARE(control.query(QStringLiteral("*IDN?")), QLatin1String(Idn));
        QCOMPARE(control.status(), 0);
    }

    void lateReplyNeverAnswersTheNextQuery() {
        SimProcess sim({QStringLiteral("--reply-delay"), QStringLiteral("400")});
        QVERIFY(sim.started());
        InstrumentControl control({});
        prepare(control, sim, 100);

        control.query(QStringLiteral("*IDN?"));
        QVERIFY(control.status() < 0);

        control.setSetting(Instrument::TimeoutSetting, 5000);
        QCOMPARE(control.query(QStringLiteral("BUSY?")), QStringLiteral("0"));
        QCOMPARE(control.query(QStringLiteral("*IDN?")), QLatin1String(Idn));
    }

    // The scope hangs up right after every second reply. An exchange that races
    // the hang-up may fail, but it says so, and the one after it reconnects and
    // gets its own reply.
    void connectionClosedByTheScopeIsReopened() {
        SimProcess sim({QStringLiteral("--close-after"), QStringLiteral("2")});
        QVERIFY(sim.started());
        InstrumentControl control({});
        prepare(control, sim, 2000);

        for (int round = 0; round < 6; ++round) {
            const QString command = round % 2 ? QStringLiteral("BUSY?") : QStringLiteral("*IDN?");
            const QString expected = round % 2 ? QStringLiteral("0") : QLatin1String(Idn);
            QString reply = control.query(command);
            if (control.status() < 0)
                reply = control.query(command);
            QVERIFY2(control.status() == 0, qPrintable(control.lastError()));
            QCOMPARE(reply, expected);
        }
        QVERIFY(sim.commandLog().size() >= 6);
    }

    void largeBlockArrivesIntact() {
        SimProcess sim({QStringLiteral("--record-length"), QStringLiteral("1000000")});
        QVERIFY(sim.started());
        InstrumentControl control({});
        prepare(control, sim, 10000);
        control.write(QStringLiteral("HEAD 0"));

        const QByteArray block = control.query(QStringLiteral("CURV?")).toLatin1();
        QVERIFY2(control.status() == 0, qPrintable(control.lastError()));
        QVERIFY(block.startsWith("#72000000"));
        QCOMPARE(block.size(), 9 + 2000000);
        // Nothing of the block is left over to spoil the next reply.
        QCOMPARE(control.query(QStringLiteral("BUSY?")), QStringLiteral("0"));
    }

    void refusedConnectionAndClearOfAGoneScope() {
        SimProcess sim;
        QVERIFY(sim.started());
        InstrumentControl control({});
        prepare(control, sim, 300);
        sim.kill();

        control.query(QStringLiteral("*IDN?"));
        QVERIFY(control.status() < 0);
        QVERIFY2(control.lastError().contains(QStringLiteral("refused")),
                 qPrintable(control.lastError()));

        control.setErrorReporting(true);
        QVERIFY_THROWS_EXCEPTION(InstrumentError, control.write(QStringLiteral("*CLS")));
        // Stop clears the instrument before anything else; that must not fail.
        control.deviceClear();
    }
};

QTEST_GUILESS_MAIN(tst_SimLink)
#include "tst_SimLink.moc"
