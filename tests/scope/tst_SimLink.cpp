#include "DroppedReply.h"
#include "InstrumentControl.h"
#include "SimProcess.h"
#include "SocketTransport.h"
#include "TransportError.h"
#include "Vxi11Transport.h"

#include <QTest>

using namespace std::chrono_literals;

// The I/O control against the simulated scope over loopback, by raw socket
// and by VXI-11, healthy and with each of its link faults.

namespace {

enum class Link { Socket, Vxi11 };

constexpr auto Idn = "MARDOCK,KXA5104-SIM,000001,1.0.0";

// Opens the simulator's VXI-11 descriptor on its port, so no portmapper is
// needed.
class Vxi11Source : public ResourceSource {
public:
    explicit Vxi11Source(const SimProcess &sim)
        : m_sim(sim) {}
    std::optional<QStringList> descriptors() override { return QStringList(); }
    std::unique_ptr<Transport> open(const QString &descriptor) override {
        if (descriptor != m_sim.vxi11Descriptor())
            return nullptr;
        return std::make_unique<Vxi11Transport>("127.0.0.1", "inst0", m_sim.vxi11Port());
    }

private:
    const SimProcess &m_sim;
};

// A simulator serving the link under test, and a control that reaches it
// and reports by status alone.
struct Rig {
    Rig(Link link, const QStringList &fault, qint16 timeoutMs)
        : vxi11(link == Link::Vxi11)
        , sim(args(fault)) {
        control.setErrorReporting(false);
        control.setSetting(Instrument::TimeoutSetting, timeoutMs);
        control.setDescriptor(vxi11 ? sim.vxi11Descriptor() : sim.descriptor());
    }
    QStringList args(const QStringList &fault) const {
        return (vxi11 ? QStringList{"--vxi11-port", "0", "--no-portmapper"} : QStringList()) +
               fault;
    }
    bool restart() { return sim.restart(args({})); }

    const bool vxi11;
    SimProcess sim;
    InstrumentControl control{{std::make_shared<Vxi11Source>(sim)}};
};

void linkRows() {
    QTest::addColumn<Link>("link");
    QTest::addRow("socket") << Link::Socket;
    QTest::addRow("VXI-11") << Link::Vxi11;
}

} // namespace

class tst_SimLink : public QObject {
    Q_OBJECT

private slots:
    void faults_data() {
        QTest::addColumn<Link>("link");
        QTest::addColumn<QStringList>("fault");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<qint16>("timeoutMs");

        for (const Link link : {Link::Socket, Link::Vxi11}) {
            const auto row = [link](const char *name, const QStringList &fault, const char *reason,
                                    int timeoutMs = 300) {
                QTest::addRow("%s, %s", link == Link::Vxi11 ? "VXI-11" : "socket", name)
                    << link << fault << QString(reason) << qint16(timeoutMs);
            };
            // No fault: the scope is killed after a first exchange.
            row("scope gone", {}, "refused");
            row("reply later than the timeout", {"--reply-delay", "600"}, "timed out");
            row("unterminated reply", {"--unterminated"}, "timed out");
            // Over VXI-11 the filler comes without end; only the size cap ends it.
            row("oversized block", {"--oversize"}, "larger than 64 MiB",
                link == Link::Vxi11 ? 20000 : 300);
            // Random bytes make a reply as good as any other, or look like a
            // block that never completes; either way nothing breaks.
            row("garbage", {"--garbage"}, "");
        }
    }
    // Each exchange fails and says why; a reply that comes too late never
    // answers a later query; the clear that Stop begins with never fails; and
    // once the scope is well again, so is the link.
    void faults() {
        QFETCH(Link, link);
        QFETCH(QStringList, fault);
        QFETCH(QString, reason);
        QFETCH(qint16, timeoutMs);
        Rig rig(link, fault, timeoutMs);
        QVERIFY(rig.sim.started());
        InstrumentControl &control = rig.control;
        // The first exchange on a link has a longer bound (slowFirstReply);
        // the faults are about the ones after it.
        if (fault.isEmpty()) {
            QCOMPARE(control.query("*IDN?"), QLatin1String(Idn));
            rig.sim.kill();
        } else {
            control.write("*CLS");
        }

        // A failure that dropped the connection gives the next exchange a new
        // one, with the longer bound of a first exchange: it may then succeed,
        // but only with its own reply.
        for (int i = 0; i < 2; ++i) {
            const QString reply = control.query("*IDN?");
            if (i > 0 && control.status() >= 0 && link == Link::Socket && !reason.isEmpty())
                QCOMPARE(reply, QLatin1String(Idn));
            else if (!reason.isEmpty())
                QVERIFY2(control.status() < 0 && control.lastError().contains(reason),
                         qPrintable(control.lastError()));
        }
        control.setSetting(Instrument::TimeoutSetting, 5000);
        if (fault.startsWith("--reply-delay"))
            QCOMPARE(control.query("BUSY?"), "0");
        control.deviceClear();
        QCOMPARE(control.status(), 0);

        QVERIFY(rig.restart());
        QCOMPARE(control.query("*IDN?"), QLatin1String(Idn));
    }

    void slowFirstReply_data() { linkRows(); }
    // A scope waking up takes a second over its first reply: the first
    // exchange waits for it, so start-up does not pass the scope over, and
    // the ones after it are back to the I/O timeout.
    void slowFirstReply() {
        QFETCH(Link, link);
        Rig rig(link, {"--first-reply-delay", "1000", "--reply-delay", "400"}, 300);
        QVERIFY(rig.sim.started());
        InstrumentControl &control = rig.control;
        QCOMPARE(control.query("*IDN?"), QLatin1String(Idn));
        control.query("BUSY?");
        QVERIFY2(control.lastError().contains("timed out"), qPrintable(control.lastError()));
    }

    // The scope stops answering for a while: exchanges fail within their
    // bound, and once it answers again the link reconnects by itself. (Over
    // the socket a hang looks no different from a late reply.)
    void hungScopeRecovers() {
        Rig rig(Link::Vxi11, {"--hang-after", "1", "--hang-ms", "700"}, 5000);
        QVERIFY(rig.sim.started());
        InstrumentControl &control = rig.control;
        QCOMPARE(control.query("*IDN?"), QLatin1String(Idn));

        control.setSetting(Instrument::TimeoutSetting, 200);
        control.query("BUSY?");
        QVERIFY2(control.lastError().contains("timed out"), qPrintable(control.lastError()));
        QTRY_COMPARE_WITH_TIMEOUT(control.query("BUSY?"), "0", 5000);
        control.setSetting(Instrument::TimeoutSetting, 5000);
        QCOMPARE(control.query("*IDN?"), QLatin1String(Idn));
    }

    void clearDropsTheUnreadReply_data() { linkRows(); }
    // A device clear drops a reply not yet read: a read after it finds
    // nothing.
    void clearDropsTheUnreadReply() {
        QFETCH(Link, link);
        Rig rig(link, {}, 5000);
        QVERIFY(rig.sim.started());
        std::unique_ptr<Transport> transport;
        if (link == Link::Vxi11)
            transport = std::make_unique<Vxi11Transport>("127.0.0.1", "inst0", rig.sim.vxi11Port());
        else
            transport = std::make_unique<SocketTransport>("127.0.0.1", rig.sim.port());
        transport->write("*IDN?", 5s);
        transport->clear();
        QVERIFY_THROWS_EXCEPTION(TransportError, transport->read('\n', 300ms));
    }

    void closedConnectionIsReopened_data() { linkRows(); }
    // The scope hangs up right after every second message. An exchange that
    // races the hang-up may fail, but it says so, and the one after it
    // reconnects and gets its own reply.
    void closedConnectionIsReopened() {
        QFETCH(Link, link);
        Rig rig(link, {"--close-after", "2"}, 2000);
        QVERIFY(rig.sim.started());
        InstrumentControl &control = rig.control;

        for (int round = 0; round < 6; ++round) {
            const QString command = round % 2 ? "BUSY?" : "*IDN?";
            QString reply = control.query(command);
            if (control.status() < 0)
                reply = control.query(command);
            QVERIFY2(control.status() == 0, qPrintable(control.lastError()));
            QCOMPARE(reply, round % 2 ? QString("0") : QString(Idn));
        }
    }

    void powerCycle_data() { linkRows(); }
    // The scope loses power after a save and comes back as after power-on:
    // the link finds it again, with headers on and in run/stop mode.
    void powerCycle() {
        QFETCH(Link, link);
        Rig rig(link, {"--power-cycle-after", "1", "--power-off-ms", "300"}, 1000);
        QVERIFY(rig.sim.started());
        InstrumentControl &control = rig.control;
        control.write("HEAD 0");
        QCOMPARE(control.query("BUSY?"), "0");
        control.write(R"(SAV:IMAG "E:\a.png")");
        QTRY_COMPARE_WITH_TIMEOUT(control.query("BUSY?;:ACQ:STOPA?"),
                                  ":BUSY 0;:ACQUIRE:STOPAFTER RUNSTOP", 10000);
    }

    void exchanges_data() { linkRows(); }
    // Both ways longer than the scope takes at once: a command goes out in
    // pieces and is carried out as one, a 2 MB block comes back intact, and
    // nothing of it is left over to spoil the next reply. A scope restarted
    // between two exchanges is noticed before the next command goes out, and
    // that command is not lost.
    void exchanges() {
        QFETCH(Link, link);
        Rig rig(link, {"--record-length", "1000000"}, 10000);
        QVERIFY(rig.sim.started());
        InstrumentControl &control = rig.control;

        QString command = "HEAD 0";
        while (command.size() < 3 * 64 * 1024 + 100)
            command += ";HEAD 0";
        control.write(command);
        const QByteArray block = control.query("CURV?").toLatin1();
        QVERIFY2(control.status() == 0, qPrintable(control.lastError()));
        QVERIFY(block.startsWith("#72000000"));
        QCOMPARE(block.size(), 9 + 2000000);
        QCOMPARE(control.query("BUSY?"), "0");
        QTRY_COMPARE(rig.sim.commandLog().value(0), command);

        QVERIFY(rig.restart());
        control.write("ACQ:STATE 1");
        QCOMPARE(control.status(), 0);
        QTRY_VERIFY(rig.sim.commandLog().contains("ACQ:STATE 1"));
    }

    void droppedReply_data() { linkRows(); }
    // A 4 MB reply nobody reads is taken in whole, so the next query gets its
    // own reply, and the link keeps none of it once done.
    void droppedReply() {
        QFETCH(Link, link);
        Rig rig(link, {"--record-length", "2000000"}, 10000);
        QVERIFY(rig.sim.started());
        InstrumentControl &control = rig.control;
        QCOMPARE(control.query("BUSY?"), "0");

        verifyDroppedWhole(control, "CURV?");
        if (QTest::currentTestFailed())
            return;
        QTRY_COMPARE(rig.sim.commandLog().mid(1), QStringList({"CURV?", "BUSY?"}));
    }
};

QTEST_GUILESS_MAIN(tst_SimLink)
#include "tst_SimLink.moc"
