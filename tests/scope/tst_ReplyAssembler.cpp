#include "DroppedReply.h"
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

    // A dropped 4 MiB block, chunk after chunk, never holds more than one.
    void droppedBlockHoldsOneChunk() {
        ReplyAssembler assembler(64 * 1024 * 1024);
        assembler.start('\n', ReplyAssembler::Bytes::Dropped);
        const QByteArray header = "#74194304";
        const qint64 total = header.size() + 4194304 + 1;
        const qint64 before = heapInUse();
        std::optional<QByteArrayView> reply;
        for (qint64 fed = 0; !reply && fed < total;) {
            const qsizetype size = std::min<qint64>(ReplyAssembler::ChunkBytes, total - fed);
            char *chunk = assembler.chunk();
            std::memset(chunk, 'x', size);
            if (fed == 0)
                std::memcpy(chunk, header.constData(), header.size());
            fed += size;
            if (fed == total)
                chunk[size - 1] = '\n';
            reply = assembler.add(size, fed == total);
        }
        QVERIFY(reply && reply->isEmpty());
        QVERIFY(heapInUse() - before < 1024 * 1024);
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
