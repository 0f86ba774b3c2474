#include "SimProcess.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QTcpSocket>
#include <QTest>

namespace {

const QByteArray defaultIdn = "MARDOCK,KXA5104-SIM,000001,1.0.0";

// A bare client of the simulator's socket, as an instrument library would be.
class Client {
public:
    explicit Client(quint16 port) {
        m_socket.connectToHost(QHostAddress::LocalHost, port);
        m_socket.waitForConnected(5000);
    }

    bool connected() const { return m_socket.state() == QAbstractSocket::ConnectedState; }
    void send(const QByteArray &message) {
        m_socket.write(message + '\n');
        m_socket.waitForBytesWritten(5000);
    }
    // One reply line without its terminator, or nullopt when none came.
    std::optional<QByteArray> reply(int timeoutMs = 5000) {
        QDeadlineTimer deadline(timeoutMs);
        while (!m_socket.canReadLine()) {
            if (!m_socket.waitForReadyRead(int(deadline.remainingTime())))
                return std::nullopt;
        }
        return m_socket.readLine().chopped(1);
    }
    std::optional<QByteArray> query(const QByteArray &message) {
        send(message);
        return reply();
    }
    QByteArray readAtLeast(qint64 count) {
        QDeadlineTimer deadline(5000);
        while (m_socket.bytesAvailable() < count &&
               m_socket.waitForReadyRead(int(deadline.remainingTime()))) {
        }
        return m_socket.readAll();
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
    void exchange_data();
    void exchange();
    void closeAfter();
    void newConnectionReplacesOld();
    void garbage();
    void unterminated();
    void oversize();
    void hangDropsWhatItRead();
    void overlongLineIsDropped();
    void helpListsEveryOption();
    void portTakenFails();
    void terminateEndsCleanly();
};

void TestScopeSimProcess::exchange_data() {
    QTest::addColumn<QStringList>("arguments");
    // Sent back to back, before any reply is read.
    QTest::addColumn<QByteArrayList>("messages");
    QTest::addColumn<QByteArrayList>("replies");

    QTest::addRow("identification")
        << QStringList{} << QByteArrayList{"*IDN?"} << QByteArrayList{defaultIdn};
    QTest::addRow("start-up, run set-up and a compound query")
        << QStringList{"--trigger-mean", "0"}
        << QByteArrayList{"DESE 0",
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
        << QByteArrayList{"0,\"No events to report - queue empty\"", "SEQ;0", "0"};
    QTest::addRow("carriage return before the line feed")
        << QStringList{} << QByteArrayList{"BUSY?\r", "*OPC?\r"} << QByteArrayList{"0", "1"};
    QTest::addRow("busy forever") << QStringList{"--busy-forever", "--trigger-mean", "0"}
                                  << QByteArrayList{"ACQ:STOPA SEQ;STATE 1", "BUSY?", "TRIG",
                                                    "BUSY?"}
                                  << QByteArrayList{"1", "1"};
    QTest::addRow("delayed replies keep their order")
        << QStringList{"--reply-delay", "150"} << QByteArrayList{"*OPC?", "ACQ:STOPA?", "*ESE?"}
        << QByteArrayList{"1", "RUNST", "255"};
    QTest::addRow("large binary block")
        << QStringList{"--record-length", "1000000"} << QByteArrayList{"CURV?", "*OPC?"}
        << QByteArrayList{"<block 2000000>", "1"};
}

void TestScopeSimProcess::exchange() {
    QFETCH(QStringList, arguments);
    QFETCH(QByteArrayList, messages);
    QFETCH(QByteArrayList, replies);

    SimProcess sim(arguments);
    QVERIFY(sim.started());
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, sim.port());
    QVERIFY(socket.waitForConnected(5000));
    QElapsedTimer sent;
    sent.start();
    socket.write(messages.join('\n') + '\n');

    QByteArray received;
    for (const QByteArray &expected : replies) {
        if (expected.startsWith("<block ")) {
            const qsizetype length = expected.mid(7).chopped(1).toLongLong();
            const QByteArray header = "#" + QByteArray::number(QByteArray::number(length).size()) +
                                      QByteArray::number(length);
            while (received.size() < header.size() + length + 1 && socket.waitForReadyRead(5000))
                received += socket.readAll();
            QVERIFY(received.startsWith(header));
            QCOMPARE(received.at(header.size() + length), '\n');
            received.remove(0, header.size() + length + 1);
            continue;
        }
        while (!received.contains('\n') && socket.waitForReadyRead(5000))
            received += socket.readAll();
        const qsizetype end = received.indexOf('\n');
        QVERIFY2(end >= 0, expected.constData());
        QCOMPARE(received.first(end), expected);
        received.remove(0, end + 1);
    }
    if (arguments.contains(QStringLiteral("--reply-delay")))
        QVERIFY(sent.elapsed() >= 150);

    QStringList logged;
    for (const QByteArray &message : messages)
        logged << QString::fromLatin1(message).remove(u'\r');
    QCOMPARE(sim.commandLog(), logged);
}

void TestScopeSimProcess::closeAfter() {
    SimProcess sim({"--close-after", "2"});
    QVERIFY(sim.started());
    for (int connection = 0; connection < 2; ++connection) {
        Client client(sim.port());
        QVERIFY(client.connected());
        QCOMPARE(client.query("*OPC?"), QByteArray("1"));
        // The second message is still answered, then the scope hangs up.
        QCOMPARE(client.query("BUSY?"), QByteArray("0"));
        QVERIFY(client.waitForDisconnected());
    }
    QCOMPARE(sim.commandLog(), QStringList({"*OPC?", "BUSY?", "*OPC?", "BUSY?"}));
}

void TestScopeSimProcess::newConnectionReplacesOld() {
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

void TestScopeSimProcess::garbage() {
    SimProcess sim({"--garbage"});
    QVERIFY(sim.started());
    Client client(sim.port());
    const auto first = client.query("*IDN?");
    const auto second = client.query("*IDN?");
    QVERIFY(first && second);
    QVERIFY(*first != defaultIdn && *second != defaultIdn);
    QVERIFY(*first != *second);
    QVERIFY(!first->isEmpty());
}

void TestScopeSimProcess::unterminated() {
    SimProcess sim({"--unterminated"});
    QVERIFY(sim.started());
    Client client(sim.port());
    client.send("*IDN?");
    QCOMPARE(client.readAtLeast(defaultIdn.size()), defaultIdn);
    QCOMPARE(client.reply(300), std::nullopt);
    QVERIFY(client.connected());
}

void TestScopeSimProcess::oversize() {
    SimProcess sim({"--oversize"});
    QVERIFY(sim.started());
    Client client(sim.port());
    client.send("*IDN?");
    const QByteArray start = client.readAtLeast(100000);
    QVERIFY(start.startsWith("#9200000000"));
    QVERIFY(start.size() >= 100000);
    QVERIFY(start.size() < 200000000);
}

void TestScopeSimProcess::hangDropsWhatItRead() {
    SimProcess sim({"--hang-after", "1", "--hang-ms", "300"});
    QVERIFY(sim.started());
    Client client(sim.port());
    QCOMPARE(client.query("*OPC?"), QByteArray("1"));
    client.send("*IDN?");
    // Poll until the scope answers again: the first answer must belong to
    // a query sent after the hang, never to the one it swallowed.
    std::optional<QByteArray> answer;
    for (int attempt = 0; attempt < 100 && !answer; ++attempt) {
        client.send("BUSY?");
        answer = client.reply(100);
    }
    QCOMPARE(answer, QByteArray("0"));
    QCOMPARE(sim.commandLog().mid(0, 2), QStringList({"*OPC?", "*IDN?"}));
}

void TestScopeSimProcess::overlongLineIsDropped() {
    SimProcess sim;
    QVERIFY(sim.started());
    Client client(sim.port());
    // A client that never ends its line must not make the scope buffer it all.
    client.send(QByteArray(17 * 1024 * 1024, 'A') + "BUSY?");
    QCOMPARE(client.query("*OPC?"), QByteArray("1"));
    QCOMPARE(client.query("ALLEV?"), QByteArray("-223,\"Too much data\""));
}

void TestScopeSimProcess::helpListsEveryOption() {
    QProcess process;
    process.start(QStringLiteral(SCOPESIM_PATH), {QStringLiteral("--help")});
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    const QString help = QString::fromUtf8(process.readAllStandardOutput());
    for (const char *option :
         {"--port", "--storage", "--idn", "--trigger-mean", "--save-time", "--log",
          "--record-length", "--seed", "--close-after", "--hang-after", "--hang-ms", "--garbage",
          "--unterminated", "--oversize", "--busy-forever", "--reply-delay", "--help", "--version"})
        QVERIFY2(help.contains(QLatin1String(option)), option);
    QVERIFY(help.contains(QStringLiteral("_CH1.isf")));
}

void TestScopeSimProcess::portTakenFails() {
    SimProcess first;
    QVERIFY(first.started());
    QProcess second;
    second.start(QStringLiteral(SCOPESIM_PATH),
                 {QStringLiteral("--port"), QString::number(first.port()),
                  QStringLiteral("--storage"), first.storageDir()});
    QVERIFY(second.waitForFinished(10000));
    QVERIFY(second.exitCode() != 0);
    QVERIFY(second.readAllStandardOutput().isEmpty());
    QVERIFY(second.readAllStandardError().contains("cannot listen on 127.0.0.1:"));
}

void TestScopeSimProcess::terminateEndsCleanly() {
    SimProcess sim;
    QVERIFY(sim.started());
    QProcess process;
    process.start(QStringLiteral(SCOPESIM_PATH), {QStringLiteral("--port"), QStringLiteral("0"),
                                                  QStringLiteral("--storage"), sim.storageDir()});
    QVERIFY(process.waitForReadyRead(10000));
    QVERIFY(process.readAllStandardOutput().startsWith("mardock-scopesim listening on 127.0.0.1:"));
    process.terminate();
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestScopeSimProcess)
#include "tst_scopesimprocess.moc"
