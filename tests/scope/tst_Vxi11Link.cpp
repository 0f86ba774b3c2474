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

// The VXI-11 link against the simulated scope's VXI-11 server on loopback,
// healthy and with its faults. The port is given, so no portmapper is needed
// except where one is the point.
class tst_Vxi11Link : public QObject {
    Q_OBJECT

private slots:
    void exchangesAndDeviceClear();
    void largeBlockArrivesIntact();
    void longCommandArrivesWhole();
    void faultFailsAndTheNextExchangeWorks_data();
    void faultFailsAndTheNextExchangeWorks();
    void lateReplyNeverAnswersTheNextQuery();
    void hangEndsAndTheLinkRecovers();
    void twoLinksEachGetTheirOwnReplies();
    void scopeKilledThenBackOnTheSamePort();
    void refusedConnection();
    void silentListenerFailsTheOpen();
    void descriptorFoundThroughThePortmapper();
};

namespace {

constexpr auto Idn = "MARDOCK,KXA5104-SIM,000001,1.0.0";

QStringList vxi11Args(QStringList more = {}) {
    return QStringList{"--vxi11-port", "0", "--no-portmapper"} + more;
}

QByteArray query(Vxi11Transport &link, QByteArrayView command,
                 std::chrono::milliseconds timeout = 5s) {
    link.write(command, timeout);
    return link.read('\n', timeout).toByteArray();
}

// The reason of the TransportError a query fails with.
QString failure(Vxi11Transport &link, QByteArrayView command, std::chrono::milliseconds timeout) {
    try {
        query(link, command, timeout);
    } catch (const TransportError &error) {
        return error.reason();
    }
    return {};
}

} // namespace

void tst_Vxi11Link::exchangesAndDeviceClear() {
    SimProcess sim(vxi11Args());
    QVERIFY(sim.started());
    Vxi11Transport link(QStringLiteral("127.0.0.1"), QStringLiteral("inst0"), sim.vxi11Port());

    QCOMPARE(query(link, "*IDN?"), QByteArray(Idn));
    link.write("HEAD 0", 5s);
    QCOMPARE(query(link, "BUSY?"), QByteArray("0"));
    QTRY_COMPARE(sim.commandLog(), (QStringList{"*IDN?", "HEAD 0", "BUSY?"}));

    // The clear drops the unread reply: a read after it finds nothing.
    link.write("*IDN?", 5s);
    link.clear();
    QVERIFY_THROWS_EXCEPTION(TransportError, link.read('\n', 300ms));
    QCOMPARE(query(link, "BUSY?"), QByteArray("0"));
}

void tst_Vxi11Link::largeBlockArrivesIntact() {
    SimProcess sim(vxi11Args({"--record-length", "1000000"}));
    QVERIFY(sim.started());
    Vxi11Transport link(QStringLiteral("127.0.0.1"), QStringLiteral("inst0"), sim.vxi11Port());
    link.write("HEAD 0", 5s);

    const QByteArray block = query(link, "CURV?", 10s);
    QVERIFY(block.startsWith("#72000000"));
    QCOMPARE(block.size(), 9 + 2000000);
    QCOMPARE(query(link, "BUSY?"), QByteArray("0"));
}

// Longer than the scope takes in one call: sent in pieces, logged as one.
void tst_Vxi11Link::longCommandArrivesWhole() {
    SimProcess sim(vxi11Args());
    QVERIFY(sim.started());
    Vxi11Transport link(QStringLiteral("127.0.0.1"), QStringLiteral("inst0"), sim.vxi11Port());

    QByteArray command = "HEAD 0";
    while (command.size() < 3 * 64 * 1024 + 100)
        command += ";HEAD 0";
    link.write(command, 5s);
    QCOMPARE(query(link, "*IDN?"), QByteArray(Idn));
    QTRY_COMPARE(sim.commandLog(), (QStringList{QString::fromLatin1(command), "*IDN?"}));
}

void tst_Vxi11Link::faultFailsAndTheNextExchangeWorks_data() {
    QTest::addColumn<QStringList>("fault");
    QTest::addColumn<QString>("reason");

    QTest::addRow("reply later than the timeout")
        << QStringList{"--reply-delay", "600"} << "timed out";
    QTest::addRow("scope hangs") << QStringList{"--hang-after", "0"} << "timed out";
    QTest::addRow("reply without its end") << QStringList{"--unterminated"} << "timed out";
    // Filler without end, faster than the timeout: the size cap ends it.
    QTest::addRow("oversized block") << QStringList{"--oversize"} << "larger than 64 MiB";
    // Random bytes with the end flag are a reply like any other.
    QTest::addRow("garbage") << QStringList{"--garbage"} << QString();
    QTest::addRow("link closed after each message")
        << QStringList{"--close-after", "1"} << "a reply";
}

void tst_Vxi11Link::faultFailsAndTheNextExchangeWorks() {
    QFETCH(QStringList, fault);
    QFETCH(QString, reason);

    SimProcess sim(vxi11Args(fault));
    QVERIFY(sim.started());
    Vxi11Transport link(QStringLiteral("127.0.0.1"), QStringLiteral("inst0"), sim.vxi11Port());

    for (int i = 0; i < 2; ++i) {
        const QString why = failure(link, "*IDN?", reason == "larger than 64 MiB" ? 20s : 300ms);
        QVERIFY2(why.contains(reason), qPrintable(why));
    }

    QVERIFY(sim.restart(vxi11Args()));
    QCOMPARE(query(link, "*IDN?"), QByteArray(Idn));
}

void tst_Vxi11Link::lateReplyNeverAnswersTheNextQuery() {
    SimProcess sim(vxi11Args({"--reply-delay", "400"}));
    QVERIFY(sim.started());
    Vxi11Transport link(QStringLiteral("127.0.0.1"), QStringLiteral("inst0"), sim.vxi11Port());

    QVERIFY(failure(link, "*IDN?", 100ms).contains(QStringLiteral("timed out")));
    QCOMPARE(query(link, "BUSY?"), QByteArray("0"));
    QCOMPARE(query(link, "*IDN?"), QByteArray(Idn));
}

// A call the scope never answers drops the connection; once the scope is
// back, the next exchange reconnects by itself and gets its own reply.
void tst_Vxi11Link::hangEndsAndTheLinkRecovers() {
    SimProcess sim(vxi11Args({"--hang-after", "1", "--hang-ms", "700"}));
    QVERIFY(sim.started());
    Vxi11Transport link(QStringLiteral("127.0.0.1"), QStringLiteral("inst0"), sim.vxi11Port());
    QCOMPARE(query(link, "*IDN?"), QByteArray(Idn));

    QVERIFY(failure(link, "BUSY?", 200ms).contains(QStringLiteral("timed out")));
    QTRY_VERIFY_WITH_TIMEOUT(failure(link, "BUSY?", 200ms).isEmpty(), 5000);
    QCOMPARE(query(link, "*IDN?"), QByteArray(Idn));
}

void tst_Vxi11Link::twoLinksEachGetTheirOwnReplies() {
    SimProcess sim(vxi11Args());
    QVERIFY(sim.started());
    Vxi11Transport first(QStringLiteral("127.0.0.1"), QStringLiteral("inst0"), sim.vxi11Port());
    Vxi11Transport second(QStringLiteral("127.0.0.1"), QStringLiteral("inst0"), sim.vxi11Port());

    first.write("*IDN?", 5s);
    second.write("BUSY?", 5s);
    QCOMPARE(first.read('\n', 5s).toByteArray(), QByteArray(Idn));
    QCOMPARE(second.read('\n', 5s).toByteArray(), QByteArray("0"));
}

void tst_Vxi11Link::scopeKilledThenBackOnTheSamePort() {
    SimProcess sim(vxi11Args());
    QVERIFY(sim.started());
    Vxi11Transport link(QStringLiteral("127.0.0.1"), QStringLiteral("inst0"), sim.vxi11Port());
    QCOMPARE(query(link, "*IDN?"), QByteArray(Idn));

    sim.kill();
    QVERIFY(!failure(link, "*IDN?", 500ms).isEmpty());
    // Stop clears the instrument first; a gone one must not make it throw.
    link.clear();

    QVERIFY(sim.restart(vxi11Args()));
    QCOMPARE(query(link, "*IDN?"), QByteArray(Idn));
}

void tst_Vxi11Link::refusedConnection() {
    SimProcess sim(vxi11Args());
    QVERIFY(sim.started());
    const quint16 port = sim.vxi11Port();
    sim.kill();

    Vxi11Transport link(QStringLiteral("127.0.0.1"), QStringLiteral("inst0"), port);
    const QString why = failure(link, "*IDN?", 500ms);
    QVERIFY2(why.contains(QStringLiteral("refused")), qPrintable(why));
    QVERIFY_THROWS_EXCEPTION(TransportError, link.read('\n', 100ms));
}

// Something takes the connection but never answers: opening the link gives
// up by itself instead of waiting on the RPC library's long default.
void tst_Vxi11Link::silentListenerFailsTheOpen() {
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    Vxi11Transport link(QStringLiteral("127.0.0.1"), QStringLiteral("inst0"), silent.serverPort());

    const QString why = failure(link, "*IDN?", 500ms);
    QVERIFY2(why.contains(QStringLiteral("timed out")), qPrintable(why));
}

// The one test of the way a real descriptor is opened: the simulator
// registers with the local portmapper, the control asks it for the port.
void tst_Vxi11Link::descriptorFoundThroughThePortmapper() {
    QTcpSocket probe;
    probe.connectToHost(QHostAddress::LocalHost, 111);
    if (!probe.waitForConnected(1000)) {
        const QString rpcbind = QStringLiteral("/usr/sbin/rpcbind");
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
    QCOMPARE(control.query(QStringLiteral("*IDN?")), QLatin1String(Idn));
    QVERIFY2(control.status() == 0, qPrintable(control.lastError()));
}

QTEST_GUILESS_MAIN(tst_Vxi11Link)
#include "tst_Vxi11Link.moc"
