#include "InstrumentControl.h"
#include "RpcConnection.h"
#include "SimProcess.h"
#include "TransportError.h"
#include "Vxi11Transport.h"

#include <vxi11.h>

#include <QTcpServer>
#include <QTest>
#include <QThread>
#include <QtEndian>

#include <mutex>

using namespace std::chrono_literals;

namespace {

QByteArray words(std::initializer_list<quint32> values) {
    QByteArray bytes;
    for (const quint32 value : values) {
        const quint32 wire = qToBigEndian(value);
        bytes.append(reinterpret_cast<const char *>(&wire), sizeof wire);
    }
    return bytes;
}

// A VXI-11 server that announces it takes only 64 bytes per write call and
// keeps the data of each call. It answers on a thread of its own, as the
// link under test waits in its calls.
class SmallWriteServer {
public:
    static constexpr quint32 MaxRecvSize = 64;

    SmallWriteServer() {
        m_server.moveToThread(&m_thread);
        m_thread.start();
        QMetaObject::invokeMethod(
            &m_server,
            [this] {
                m_server.listen(QHostAddress::LocalHost);
                QObject::connect(&m_server, &QTcpServer::newConnection, &m_server,
                                 [this] { accept(); });
            },
            Qt::BlockingQueuedConnection);
    }
    ~SmallWriteServer() {
        // Its connections' sockets belong to the server's thread.
        QMetaObject::invokeMethod(
            &m_server,
            [this] {
                qDeleteAll(m_server.findChildren<RpcConnection *>());
                m_server.close();
            },
            Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }

    quint16 port() const { return m_server.serverPort(); }
    QList<QByteArray> writes() const {
        const std::lock_guard lock(m_mutex);
        return m_writes;
    }

private:
    void accept() {
        auto *connection = new RpcConnection(m_server.nextPendingConnection(), 1 << 20, &m_server);
        QObject::connect(
            connection, &RpcConnection::callReceived, connection,
            [this, connection](const RpcConnection::Call &call) { answer(*connection, call); });
    }
    void answer(RpcConnection &connection, const RpcConnection::Call &call) {
        switch (call.procedure) {
        case create_link:
            return connection.reply(call.xid, words({0, 1, 0, MaxRecvSize}));
        case device_write: {
            // Link, I/O and lock timeouts, flags, then the data's length.
            const quint32 length = qFromBigEndian<quint32>(call.arguments.constData() + 16);
            const std::lock_guard lock(m_mutex);
            m_writes.append(call.arguments.mid(20, length));
            return connection.reply(call.xid, words({0, length}));
        }
        default:
            return connection.reply(call.xid, words({0}));
        }
    }

    QThread m_thread;
    QTcpServer m_server;
    mutable std::mutex m_mutex;
    QList<QByteArray> m_writes;
};

} // namespace

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

    // However little the server takes per call, no call carries more, and
    // the whole command still arrives.
    void writesHonourTheServersMaxRecvSize() {
        SmallWriteServer server;
        const QByteArray command = "SAV:WAVE ALL, \"E:\\" + QByteArray(150, 'w') + "\"";
        {
            Vxi11Transport link("127.0.0.1", "inst0", server.port());
            link.write(command, 2s);
        }
        const QList<QByteArray> writes = server.writes();
        QVERIFY(!writes.isEmpty());
        for (const QByteArray &piece : writes)
            QVERIFY2(piece.size() <= qsizetype(SmallWriteServer::MaxRecvSize),
                     qPrintable(QString::number(piece.size())));
        QCOMPARE(writes.join(), command);
    }

    // The one test of the way a real descriptor is opened: the simulator
    // registers with the portmapper, the control asks it for the port. No
    // test starts a portmapper on the machine, so this runs only beside the
    // private one of scripts/loopback-portmapper.sh, as tst_Vxi11Link_portmapper.
    void descriptorFoundThroughThePortmapper() {
        if (qEnvironmentVariable("MARDOCK_LOOPBACK_NAMESPACE") != u"1")
            QSKIP("needs the portmapper of scripts/loopback-portmapper.sh (run through CTest as "
                  "tst_Vxi11Link_portmapper, as root)");
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
