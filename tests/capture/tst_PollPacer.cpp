#include "PollPacer.h"
#include "SaveLengths.h"

#include <QTest>

using namespace std::chrono;

class tst_PollPacer : public QObject {
    Q_OBJECT

private slots:
    void pace_data() {
        QTest::addColumn<int>("waitedMs");
        QTest::addColumn<int>("usualMs"); // 0: the save's length is not known
        QTest::addColumn<double>("pauseMs");

        QTest::addRow("a fresh wait polls back to back") << 0 << 0 << 0.0;
        QTest::addRow("until 20 ms") << 19 << 0 << 0.0;
        QTest::addRow("then 2 ms") << 20 << 0 << 2.0;
        QTest::addRow("still 2 ms just before a second") << 999 << 0 << 2.0;
        QTest::addRow("growing after a second") << 3000 << 0 << 6.0;
        QTest::addRow("never above 10 ms") << 3600000 << 0 << 10.0;
        // A save of a known 2.5 s: sparse, then close around its usual end
        // (from 60 ms before it to 60 ms after).
        QTest::addRow("save, first 20 ms: back to back") << 10 << 2500 << 0.0;
        QTest::addRow("save, early: sparse") << 50 << 2500 << 10.0;
        QTest::addRow("save, waking on time for its end") << 2435 << 2500 << 5.0;
        QTest::addRow("save, near its end: close") << 2440 << 2500 << 0.5;
        QTest::addRow("save, just past its end: close") << 2559 << 2500 << 0.5;
        QTest::addRow("save, long past its end: as a wait that long") << 5000 << 2500 << 5.0;
        QTest::addRow("short save: back to back, then close") << 20 << 15 << 0.5;
    }
    void pace() {
        QFETCH(int, waitedMs);
        QFETCH(int, usualMs);
        QFETCH(double, pauseMs);
        const auto waited = milliseconds(waitedMs);
        const auto pause = usualMs > 0 ? PollPacer::forSave(waited, milliseconds(usualMs))
                                       : PollPacer::forSave(waited, std::nullopt);
        const double pausedMs = duration<double, std::milli>(pause).count();
        QCOMPARE(pausedMs, pauseMs);
        if (usualMs == 0)
            QCOMPARE(PollPacer::forWait(waited), pause);
    }

    // The usual length is the median of the last five saves of a kind, known
    // from the third on; one slow save does not move it.
    void saveLengths() {
        SaveLengths lengths;
        const auto isf = SaveLengths::Kind::Isf;
        lengths.record(isf, milliseconds(100));
        lengths.record(isf, milliseconds(120));
        QVERIFY(!lengths.usual(isf));
        lengths.record(isf, milliseconds(5000));
        QCOMPARE(lengths.usual(isf), milliseconds(120));
        for (int i = 0; i < 3; ++i)
            lengths.record(isf, milliseconds(300));
        // The first save has left the last five.
        QCOMPARE(lengths.usual(isf), milliseconds(300));
        QVERIFY(!lengths.usual(SaveLengths::Kind::Csv));
    }
};

QTEST_GUILESS_MAIN(tst_PollPacer)
#include "tst_PollPacer.moc"
