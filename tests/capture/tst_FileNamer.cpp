#include "FakeClock.h"
#include "FileNamer.h"

#include <QTest>

class tst_FileNamer : public QObject {
    Q_OBJECT

private slots:
    // Date, time and milliseconds from one reading: always 17 digits, and a
    // stem taken one second later is a different, later one.
    void timestampStems_data() {
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QStringList>("stems");
        QTest::addRow("padded, trailing zero kept")
            << QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5, 70))
            << QStringList{"20240102030405070", "20240102030406070"};
        QTest::addRow("999 ms, across midnight")
            << QDateTime(QDate(2024, 12, 31), QTime(23, 59, 59, 999))
            << QStringList{"20241231235959999", "20250101000000999"};
    }
    void timestampStems() {
        QFETCH(QDateTime, now);
        FakeClock clock(now);
        FileNamer namer(clock);
        const QString first = namer.nextFileStem(true);
        clock.advanceMs(1000);
        QTEST((QStringList{first, namer.nextFileStem(true)}), "stems");
    }

    // Past 32 bits the counter goes on instead of wrapping onto earlier files;
    // timestamp stems taken in between leave it alone.
    void counterStems() {
        FakeClock clock;
        FileNamer namer(clock, 2147483646);
        QStringList taken;
        for (int i = 0; i < 3; ++i) {
            taken << namer.nextFileStem(false);
            namer.nextFileStem(true);
        }
        QCOMPARE(taken, (QStringList{"2147483647", "2147483648", "2147483649"}));
    }
};

QTEST_GUILESS_MAIN(tst_FileNamer)
#include "tst_FileNamer.moc"
