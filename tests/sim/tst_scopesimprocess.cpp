#include "SimProcess.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QTcpSocket>
#include <QTest>

// The simulator as its own program: what a bare socket client sees, and how
// the process starts and ends. Its link faults are exercised through the
// instrument I/O control in the scope tests.
namespace {

// A bare client of the simulator's socket, as an instrument library would be.
class Client {
public:
    explicit Client(quint16 port) {
        m_socket.connectToHost(QHostAddress::LocalHost, port);
        m_socket.waitForConnected(5000);
    }

    void send(const QByteArray &message) {
        m_socket.write(message + '\n');
        m_socket.waitForBytesWritten(5000);
    }
    // One reply line without its terminator, or nullopt when none came.
    std::optional<QByteArray> reply() {
        QDeadlineTimer deadline(5000);
        while (!m_socket.canReadLine())
            if (!m_socket.waitForReadyRead(int(deadline.remainingTime())))
                return std::nullopt;
        return m_socket.readLine().chopped(1);
    }
    std::optional<QByteArray> query(const QByteArray &message) {
        send(message);
        return reply();
    }
    bool waitForDisconnected() {
        return m_socket.state() == QAbstractSocket::UnconnectedState ||
               m_socket.waitForDisconnected(5000);
    }

private:
    QTcpSocket m_socket;
};

} // namespace

class TestScopeSimProcess : public QObject {
    Q_OBJECT

private slots:
    void exchange_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArrayList>("messages"); // sent back to back, before any reply
        QTest::addColumn<QByteArrayList>("replies");

        QTest::addRow("start-up, run set-up and a compound query")
            << QStringList{"--trigger-mean", "0"}
            << QByteArrayList{"*IDN?",
                              "DESE 0",
                              "*ESE 0",
                              "*SRE 0",
                              "HEAD 0",
                              "*CLS",
                              "ALLEV?",
                              "HEAD 0;VERB 0",
                              "ACQ:STOPA SEQ;STATE 0",
                              "ACQ:STOPA?;STATE?",
                              "ACQ:STATE 1",
                              "BUSY?"}
            << QByteArrayList{"MARDOCK,KXA5104-SIM,000001,1.0.0",
                              "0,\"No events to report - queue empty\"", "SEQ;0", "0"};
        QTest::addRow("carriage return before the line feed")
            << QStringList{} << QByteArrayList{"BUSY?\r", "*OPC?\r"} << QByteArrayList{"0", "1"};
    }
    void exchange() {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArrayList, messages);
        QFETCH(QByteArrayList, replies);
        SimProcess sim(arguments);
        QVERIFY(sim.started());
        Client client(sim.port());

        for (const QByteArray &message : messages)
            client.send(message);

        for (const QByteArray &expected : replies)
            QCOMPARE(client.reply(), expected);
        QStringList logged;
        for (const QByteArray &message : messages)
            logged << QString::fromLatin1(message).remove(u'\r');
        QCOMPARE(sim.commandLog(), logged);
    }

    void newConnectionReplacesOld() {
        SimProcess sim;
        QVERIFY(sim.started());
        Client old(sim.port());
        QCOMPARE(old.query("*OPC?"), QByteArray("1"));
        // A client that gave up on a connection and opens a new one is served.
        Client fresh(sim.port());
        QCOMPARE(fresh.query("*OPC?"), QByteArray("1"));
        QVERIFY(old.waitForDisconnected());
        QCOMPARE(fresh.query("BUSY?"), QByteArray("0"));
    }

    void overlongLineIsDropped() {
        SimProcess sim;
        QVERIFY(sim.started());
        Client client(sim.port());
        // A client that never ends its line must not make the scope buffer it all.
        client.send(QByteArray(17 * 1024 * 1024, 'A') + "BUSY?");
        QCOMPARE(client.query("*OPC?"), QByteArray("1"));
        QCOMPARE(client.query("ALLEV?"), QByteArray("-223,\"Too much data\""));
    }

    void helpListsEveryOption() {
        QProcess process;
        process.start(QStringLiteral(SCOPESIM_PATH), {QStringLiteral("--help")});
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitCode(), 0);
        const QString help = QString::fromUtf8(process.readAllStandardOutput());
        const QString options = "--port --storage --idn --trigger-mean --save-time --log "
                                "--record-length --seed --close-after --hang-after --hang-ms "
                                "--garbage --unterminated --oversize --busy-forever "
                                "--reply-delay --help --version _CH1.isf";
        for (const QString &option : options.split(' '))
            QVERIFY2(help.contains(option), qPrintable(option));
    }

    void portTakenFails() {
        SimProcess first;
        QVERIFY(first.started());
        QProcess second;
        second.start(QStringLiteral(SCOPESIM_PATH),
                     {"--port", QString::number(first.port()), "--storage", first.storageDir()});
        QVERIFY(second.waitForFinished(10000));
        QVERIFY(second.exitCode() != 0);
        QVERIFY(second.readAllStandardOutput().isEmpty());
        QVERIFY(second.readAllStandardError().contains("cannot listen on 127.0.0.1:"));
    }

    void terminateEndsCleanly() {
        SimProcess sim;
        QVERIFY(sim.started());
        QProcess process;
        process.start(QStringLiteral(SCOPESIM_PATH),
                      {"--port", "0", "--storage", sim.storageDir()});
        QVERIFY(process.waitForReadyRead(10000));
        process.terminate();
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(TestScopeSimProcess)
#include "tst_scopesimprocess.moc"
