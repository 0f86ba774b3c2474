#include "SimProcess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpSocket>
#include <QTest>

#include <time.h>

// The simulator as its own program: what a bare socket client sees, and how
// the process starts and ends. The program's own traffic with it is checked
// end to end, and its link faults through the instrument I/O control.
namespace {

qint64 monotonicUs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1'000'000 + now.tv_nsec / 1000;
}

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
    // What a bare client sees: messages sent back to back are answered in
    // order, and a carriage return before the line feed is no part of one.
    void bareClient() {
        SimProcess sim;
        QVERIFY(sim.started());
        Client client(sim.port());
        // A client that never ends its line must not make the scope buffer it all.
        client.send(QByteArray(17 * 1024 * 1024, 'A') + "BUSY?");
        const QByteArrayList messages{"*IDN?", "FOO\r", "ALLEV?", "ACQ:STOPA SEQ;STATE 0",
                                      "ACQ:STOPA?;STATE?\r"};
        for (const QByteArray &message : messages)
            client.send(message);

        QCOMPARE(client.reply(), QByteArray("MARDOCK,KXA5104-SIM,000001,1.0.0"));
        QCOMPARE(client.reply(), QByteArray(R"(-223,"Too much data",-113,"Undefined header; )"
                                            R"(Command not found; input was 'FOO'")"));
        QCOMPARE(client.reply(), QByteArray("SEQUENCE;0"));
        QStringList logged;
        for (const QByteArray &message : messages)
            logged << QString::fromLatin1(message).remove(u'\r');
        QCOMPARE(sim.commandLog(), logged);
        // A client that gave up on a connection and opens a new one is served.
        Client fresh(sim.port());
        QCOMPARE(fresh.query("BUSY?"), QByteArray("0"));
        QVERIFY(client.waitForDisconnected());
    }

    // With timestamps every line carries the monotonic time and its kind, so
    // a reader can place the scope's own events among the messages; saves
    // without files still keep the scope busy for the save time.
    void timestampedLogAndSavesWithoutFiles() {
        const qint64 before = monotonicUs();
        SimProcess sim(
            {"--log-timestamps", "--no-files", "--trigger-mean", "0", "--save-time", "0.05"});
        QVERIFY(sim.started());
        Client client(sim.port());
        client.send("ACQ:STOPA SEQ;STATE 0");
        client.send("ACQ:STATE 1");
        QCOMPARE(client.query("BUSY?"), QByteArray("0"));
        client.send(R"(SAV:WAVE ALL, "E:\x")");
        while (client.query("BUSY?") != QByteArray("0")) {
        }
        const qint64 after = monotonicUs();

        QStringList kinds;
        qint64 savedAt = 0, saveSentAt = 0, lastMessageAt = 0;
        for (const QString &line : sim.commandLog()) {
            const qint64 at = line.section(u' ', 0, 0).toLongLong();
            const QString kind = line.section(u' ', 1, 1);
            const QString text = line.section(u' ', 2);
            QVERIFY2(at >= before && at <= after, qPrintable(line));
            if (kind == u">") {
                QVERIFY2(at >= lastMessageAt, qPrintable(line));
                lastMessageAt = at;
                if (text.startsWith(QStringLiteral("SAV:WAVE ALL")))
                    saveSentAt = at;
                if (!kinds.isEmpty() && kinds.back() == text)
                    continue;
            } else if (text == u"saved") {
                savedAt = at;
            }
            kinds << (kind == u">" ? text : kind + text);
        }
        // An event is written when the next message notices it.
        QCOMPARE(kinds, QStringList({"ACQ:STOPA SEQ;STATE 0", "ACQ:STATE 1", "BUSY?", "*triggered",
                                     R"(SAV:WAVE ALL, "E:\x")", "BUSY?", "*saved"}));
        // The save ends on the scope's millisecond clock, 50 ms after it began
        // (its whole milliseconds allow 1 ms less). No upper bound: a loaded
        // machine may process the save command late.
        QVERIFY(savedAt - saveSentAt >= 49000);
        QVERIFY(QDir(sim.storageDir())
                    .entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)
                    .isEmpty());
    }

    // Power lost right after the second save: its files are written, the
    // rest of its message is lost with the link, and connecting is refused
    // while the power is off.
    void powerCycle() {
        SimProcess sim({"--power-cycle-after", "2", "--power-off-ms", "600000"});
        QVERIFY(sim.started());
        Client client(sim.port());
        client.send(R"(HEAD 0;DESE 0;ACQ:STOPA SEQ;:SAV:IMAG "E:\a.png")");
        client.send(R"(SAV:IMAG "E:\b.png";*IDN?)");
        QVERIFY(client.waitForDisconnected());
        QCOMPARE(client.reply(), std::nullopt);
        QVERIFY(QFile::exists(sim.storageDir() + "/E/a.png"));
        QVERIFY(QFile::exists(sim.storageDir() + "/E/b.png"));
        QVERIFY(!Client(sim.port()).connected());
    }

    // A port already taken is an error, told on standard error; a request to
    // terminate ends the simulator cleanly.
    void portTakenFailsAndTerminateEnds() {
        SimProcess sim;
        QVERIFY(sim.started());
        QProcess taken;
        QProcess other;
        taken.start(QStringLiteral(SCOPESIM_PATH),
                    {"--port", QString::number(sim.port()), "--storage", sim.storageDir()});
        other.start(QStringLiteral(SCOPESIM_PATH), {"--port", "0", "--storage", sim.storageDir()});

        QVERIFY(taken.waitForFinished(10000));
        QVERIFY(taken.exitCode() != 0);
        QVERIFY(taken.readAllStandardOutput().isEmpty());
        QVERIFY(taken.readAllStandardError().contains("cannot listen on 127.0.0.1:"));
        QVERIFY(other.waitForReadyRead(10000));
        other.terminate();
        QVERIFY(other.waitForFinished(10000));
        QCOMPARE(other.exitStatus(), QProcess::NormalExit);
        QCOMPARE(other.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(TestScopeSimProcess)
#include "tst_scopesimprocess.moc"
