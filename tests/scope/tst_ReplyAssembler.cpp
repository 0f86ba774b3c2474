#include "ReplyAssembler.h"
#include "TransportError.h"

#include <QTest>

#include <cstring>

namespace {

// Feeds chunks until a reply comes; `ends` says which chunks ended a message.
QByteArray nextReply(ReplyAssembler &assembler, QByteArrayList &chunks, QList<bool> &ends,
                     ReplyAssembler::Bytes bytes = ReplyAssembler::Bytes::Kept) {
    assembler.start('\n', bytes);
    while (!chunks.isEmpty()) {
        const QByteArray chunk = chunks.takeFirst();
        std::memcpy(assembler.chunk(), chunk.constData(), chunk.size());
        if (const auto reply = assembler.add(chunk.size(), ends.takeFirst()))
            return reply->toByteArray();
    }
    return QByteArray("<no reply>");
}

} // namespace

class tst_ReplyAssembler : public QObject {
    Q_OBJECT

private slots:
    void assembles_data() {
        QTest::addColumn<QByteArrayList>("chunks");
        QTest::addColumn<QList<bool>>("ends");
        QTest::addColumn<QByteArrayList>("replies");

        QTest::addRow("line over two chunks")
            << QByteArrayList{"BU", "SY 1\n"} << QList{false, true} << QByteArrayList{"BUSY 1"};
        QTest::addRow("message end without terminator")
            << QByteArrayList{"42"} << QList{true} << QByteArrayList{"42"};
        // The block filled the chunk; its terminator comes as a message of its own.
        QTest::addRow("late terminator of a block")
            << QByteArrayList{"#13abc", "\n", "0\n"} << QList{false, true, true}
            << QByteArrayList{"#13abc", "0"};
        QTest::addRow("late terminator before the next reply")
            << QByteArrayList{"#13abc", "\n0\n"} << QList{false, true}
            << QByteArrayList{"#13abc", "0"};
        QTest::addRow("no terminator after a block")
            << QByteArrayList{"#13abc", "1\n"} << QList{false, true}
            << QByteArrayList{"#13abc", "1"};
        // The message ended with the block: a line feed next is a reply of its own.
        QTest::addRow("block ending its message")
            << QByteArrayList{"#13abc", "\n"} << QList{true, true} << QByteArrayList{"#13abc", ""};
    }
    void assembles() {
        QFETCH(QByteArrayList, chunks);
        QFETCH(QList<bool>, ends);
        QFETCH(QByteArrayList, replies);

        QByteArrayList dropChunks = chunks;
        QList<bool> dropEnds = ends;
        ReplyAssembler assembler(1024);
        for (const QByteArray &reply : replies)
            QCOMPARE(nextReply(assembler, chunks, ends), reply);
        QVERIFY(chunks.isEmpty());

        // Dropped replies end where kept ones do.
        ReplyAssembler dropping(1024);
        for (qsizetype i = 0; i + 1 < replies.size(); ++i)
            QCOMPARE(nextReply(dropping, dropChunks, dropEnds, ReplyAssembler::Bytes::Dropped),
                     QByteArray());
        QCOMPARE(nextReply(dropping, dropChunks, dropEnds), replies.last());
        QVERIFY(dropChunks.isEmpty());
    }

    // A reply over the cap fails at once, without waiting for the rest.
    void tooLongFails() {
        ReplyAssembler assembler(8);
        assembler.start('\n');
        std::memset(assembler.chunk(), 'x', 9);
        QVERIFY_THROWS_EXCEPTION(TransportError, assembler.add(9, false));
    }
};

QTEST_GUILESS_MAIN(tst_ReplyAssembler)
#include "tst_ReplyAssembler.moc"
