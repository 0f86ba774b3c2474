#include "FakeClock.h"
#include "FileNamer.h"

#include <QTest>

class tst_FileNamer : public QObject {
    Q_OBJECT

private slots:
    void timestampStem_data() {
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QString>("stem");
        const QDate day(2024, 3, 5);
        QTest::addRow("date, time and milliseconds")
            << QDateTime(day, QTime(14, 7, 9, 250)) << "20240305140709250";
        QTest::addRow("single digits padded")
            << QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5, 7)) << "20240102030405007";
        QTest::addRow("999 ms stays three digits")
            << QDateTime(QDate(2024, 12, 31), QTime(23, 59, 59, 999)) << "20241231235959999";
    }
    void timestampStem() {
        QFETCH(QDateTime, now);
        FakeClock clock(now);
        FileNamer namer(clock);
        QTEST(namer.nextFileStem(true), "stem");
    }

    void stemsOneSecondApartDiffer_data() {
        QTest::addColumn<QTime>("first");
        QTest::addRow("late in a second") << QTime(13, 59, 58, 999);
        QTest::addRow("across midnight") << QTime(23, 59, 59, 999);
    }
    void stemsOneSecondApartDiffer() {
        QFETCH(QTime, first);
        FakeClock clock(QDateTime(QDate(2024, 3, 5), first));
        FileNamer namer(clock);
        const QString earlier = namer.nextFileStem(true);
        clock.advanceMs(1000);
        const QString later = namer.nextFileStem(true);
        QVERIFY2(earlier < later, qPrintable(earlier + " then " + later));
        QCOMPARE(later.size(), 17);
    }

    void counterStem_data() {
        QTest::addColumn<qint64>("lastCounter");
        QTest::addColumn<QStringList>("stems");
        QTest::addRow("from program start") << qint64(0) << QStringList{"1", "2", "3"};
        QTest::addRow("past 32 bits, no wrap")
            << qint64(2147483646) << QStringList{"2147483647", "2147483648", "2147483649"};
    }
    void counterStem() {
        QFETCH(qint64, lastCounter);
        QFETCH(QStringList, stems);
        FakeClock clock;
        FileNamer namer(clock, lastCounter);
        QStringList taken;
        for (qsizetype i = 0; i < stems.size(); ++i)
            taken << namer.nextFileStem(false);
        QCOMPARE(taken, stems);
    }

    void timestampsLeaveCounterAlone() {
        FakeClock clock;
        FileNamer namer(clock);
        QCOMPARE(namer.nextFileStem(false), "1");
        QCOMPARE(namer.nextFileStem(true), "20240305140709250");
        QCOMPARE(namer.nextFileStem(false), "2");
    }
};

QTEST_GUILESS_MAIN(tst_FileNamer)
#include "tst_FileNamer.moc"
