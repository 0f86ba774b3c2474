#include "InstrumentControl.h"
#include "SimProcess.h"
#include "TransportError.h"
#include "Vxi11Transport.h"

#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using namespace std::chrono_literals;

// What only the VXI-11 link does: opening it. Its exchanges and faults
// against the simulated scope are tested with the socket's in tst_SimLink.
class tst_Vxi11Link : public QObject {
    Q_OBJECT

private slots:
    // Something takes the connection but never answers: opening the link
    // gives up by itself instead of waiting on the RPC library's long default.
    void silentListenerFailsTheOpen() {
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        Vxi11Transport link("127.0.0.1", "inst0", silent.serverPort());
        try {
            link.write("*IDN?", 500ms);
            QFAIL("a link opened without an answer");
        } catch (const TransportError &error) {
            QVERIFY2(error.reason().contains("timed out"), qPrintable(error.reason()));
        }
    }

    // The one test of the way a real descriptor is opened: the simulator
    // registers with the local portmapper, the control asks it for the port.
    void descriptorFoundThroughThePortmapper() {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, 111);
        if (!probe.waitForConnected(1000)) {
            const QString rpcbind = "/usr/sbin/rpcbind";
            if (!QFileInfo::exists(rpcbind))
                QSKIP("rpcbind is not installed");
            // Loopback only; it stays running for later tests. Needs root, and
            // some rpcbind builds abort on -h: then there is nothing to test.
            if (QProcess::execute(rpcbind, {"-w", "-h", "127.0.0.1"}) != 0)
                QSKIP("no portmapper runs, and rpcbind would not start on loopback alone");
            probe.connectToHost(QHostAddress::LocalHost, 111);
            QVERIFY(probe.waitForConnected(5000));
        }
        probe.abort();

        SimProcess sim({"--vxi11-port", "0"});
        QVERIFY(sim.started());
        InstrumentControl control({});
        control.setErrorReporting(false);
        control.setDescriptor(sim.vxi11Descriptor());
        QCOMPARE(control.query("*IDN?"), "MARDOCK,KXA5104-SIM,000001,1.0.0");
        QVERIFY2(control.status() == 0, qPrintable(control.lastError()));
    }
};

QTEST_GUILESS_MAIN(tst_Vxi11Link)
#include "tst_Vxi11Link.moc"
