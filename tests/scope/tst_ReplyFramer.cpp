#include "ReplyFramer.h"
#include "TransportError.h"

#include <QTest>

class tst_ReplyFramer : public QObject {
    Q_OBJECT

private slots:
    void frames_data() {
        QTest::addColumn<QByteArray>("received");
        QTest::addColumn<char>("terminator");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("consumed");
        QTest::addColumn<bool>("terminatorMayFollow");

        QTest::addRow("CR LF") << QByteArray("0\r\nmore") << '\n' << QByteArray("0") << 3 << false;
        QTest::addRow("only the first line") << QByteArray("a\nb\n") << '\n'
                                             << QByteArray("a") << 2 << false;
        QTest::addRow("other terminator")
            << QByteArray("a\nb\r") << '\r' << QByteArray("a\nb") << 4 << false;
        QTest::addRow("block holding terminators") << QByteArray("#16a\r\nb\nc\n") << '\n'
                                                   << QByteArray("#16a\r\nb\nc") << 10 << false;
        QTest::addRow("block, terminator not yet") << QByteArray("#13abc") << '\n'
                                                   << QByteArray("#13abc") << 6 << true;
        QTest::addRow("block, something else after") << QByteArray("#13abcX") << '\n'
                                                     << QByteArray("#13abc") << 6 << false;
        QTest::addRow("indefinite block")
            << QByteArray("#0a\rb\n") << '\r' << QByteArray("#0a\rb") << 6 << false;
        QTest::addRow("hash, then text") << QByteArray("#x\n") << '\n'
                                         << QByteArray("#x") << 3 << false;
        QTest::addRow("hash digit, then text") << QByteArray("#5\n") << '\n'
                                               << QByteArray("#5") << 3 << false;
    }
    // The reply is the same whether the bytes come at once or one at a time,
    // kept or let go of as they come; until then the framer asks for more.
    void frames() {
        QFETCH(QByteArray, received);
        QFETCH(char, terminator);
        QFETCH(QByteArray, reply);

        ReplyFramer whole(terminator, 1024);
        const auto frame = whole.find(received);
        QVERIFY(frame);
        QCOMPARE(received.left(frame->length), reply);
        QTEST(int(frame->consumed), "consumed");
        QTEST(frame->terminatorMayFollow, "terminatorMayFollow");

        ReplyFramer piecewise(terminator, 1024);
        std::optional<ReplyFramer::Frame> first;
        qsizetype fed = 0;
        while (!first && fed < received.size())
            first = piecewise.find(QByteArrayView(received).first(++fed));
        QVERIFY(first);
        QCOMPARE(received.left(first->length), reply);

        ReplyFramer dropping(terminator, 1024);
        std::optional<ReplyFramer::Frame> dropped;
        for (qsizetype i = 0; !dropped && i < received.size(); ++i)
            dropped = dropping.findNext(QByteArray(1, received[i]));
        QVERIFY(dropped);
        QCOMPARE(dropped->length, first->length);
        QCOMPARE(dropped->consumed, first->consumed);
        QCOMPARE(dropped->terminatorMayFollow, first->terminatorMayFollow);
    }

    void tooLong_data() {
        QTest::addColumn<QByteArray>("received");

        QTest::addRow("block header beyond the cap") << QByteArray("#9100000000");
        QTest::addRow("block just beyond the cap") << QByteArray("#217");
        QTest::addRow("text without an end") << QByteArray(17, 'x');
        QTest::addRow("indefinite block without an end") << "#0" + QByteArray(15, 'x');
    }
    void tooLong() {
        QFETCH(QByteArray, received);
        ReplyFramer framer('\n', 16);
        QVERIFY_THROWS_EXCEPTION(TransportError, framer.find(received));
    }
};

QTEST_GUILESS_MAIN(tst_ReplyFramer)
#include "tst_ReplyFramer.moc"
