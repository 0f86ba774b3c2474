#include "BareClient.h"

#include <QScopeGuard>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <stdexcept>
#include <thread>

namespace {

QString reply(BareClient &bare) {
    const std::string text = bare.query("BUSY?");
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// A loopback peer for the bare client, which blocks and so runs on a thread
// of its own while this one serves. Whatever happens, the link is cut before
// the thread is joined, so a failed check cannot leave it blocked in recv.
struct Peer {
    Peer() { listening = server.listen(QHostAddress::LocalHost); }

    // Runs the client with a connected BareClient; an exception ends it as "error".
    void runClient(std::function<void(BareClient &)> body) {
        client = std::jthread([this, body, port = server.serverPort()] {
            try {
                BareClient bare("127.0.0.1", port);
                body(bare);
            } catch (const std::runtime_error &) {
                got << QStringLiteral("error");
            }
        });
    }

    bool accept() {
        if (!server.waitForNewConnection(5000))
            return false;
        socket = server.nextPendingConnection();
        return socket != nullptr;
    }

    QTcpServer server;
    bool listening = false;
    QTcpSocket *socket = nullptr;
    QStringList got;
    std::jthread client;
    const QScopeGuard<std::function<void()>> cut{[this] {
        if (socket)
            socket->abort();
        server.close();
    }};
};

} // namespace

class tst_BareClient : public QObject {
    Q_OBJECT

private slots:
    void replies_data() {
        QTest::addColumn<QList<QByteArray>>("pieces");
        QTest::addColumn<QStringList>("expected");
        QTest::addRow("one reply") << QList<QByteArray>{"0\n"} << QStringList{"0"};
        QTest::addRow("a reply in pieces")
            << QList<QByteArray>{"\"a", "b,", "c\"\n"} << QStringList{"\"ab,c\""};
        QTest::addRow("two replies in one piece")
            << QList<QByteArray>{"1\n0\n"} << QStringList{"1", "0"};
        QTest::addRow("the next reply starts in the same piece")
            << QList<QByteArray>{"1\n0", "\n"} << QStringList{"1", "0"};
        QTest::addRow("empty reply") << QList<QByteArray>{"\n"} << QStringList{""};
    }
    void replies() {
        QFETCH(QList<QByteArray>, pieces);
        QFETCH(QStringList, expected);
        Peer peer;
        QVERIFY(peer.listening);
        peer.runClient([&](BareClient &bare) {
            for (qsizetype i = 0; i < expected.size(); ++i)
                peer.got << reply(bare);
        });
        QVERIFY(peer.accept());

        QTRY_VERIFY(peer.socket->canReadLine());
        QCOMPARE(peer.socket->readLine(), QByteArray("BUSY?\n"));
        for (const QByteArray &piece : pieces) {
            peer.socket->write(piece);
            QVERIFY(peer.socket->waitForBytesWritten(5000));
        }
        // Each further query comes only once the one before was answered.
        for (qsizetype i = 1; i < expected.size(); ++i) {
            QTRY_VERIFY(peer.socket->canReadLine());
            QCOMPARE(peer.socket->readLine(), QByteArray("BUSY?\n"));
        }
        peer.client.join();

        QCOMPARE(peer.got, expected);
    }

    void closedPeerIsAnError() {
        Peer peer;
        QVERIFY(peer.listening);
        peer.runClient([&](BareClient &bare) { peer.got << reply(bare); });
        QVERIFY(peer.accept());
        QTRY_VERIFY(peer.socket->canReadLine());

        peer.socket->close();
        peer.client.join();

        QCOMPARE(peer.got, QStringList{"error"});
    }
};

QTEST_GUILESS_MAIN(tst_BareClient)
#include "tst_BareClient.moc"
