#include "Samples.h"

#include <QTest>

// Nearest-rank order statistics: the benchmarks' medians and tails.
class tst_Samples : public QObject {
    Q_OBJECT

private slots:
    void percentile_data() {
        QTest::addColumn<QList<double>>("values");
        QTest::addColumn<double>("p");
        QTest::addColumn<double>("expected");
        QTest::addRow("empty") << QList<double>{} << 50.0 << 0.0;
        QTest::addRow("one value is every percentile") << QList<double>{7.0} << 99.0 << 7.0;
        QTest::addRow("median of an odd count, unsorted")
            << QList<double>{5, 1, 4, 2, 3} << 50.0 << 3.0;
        QTest::addRow("median of an even count is the lower middle")
            << QList<double>{4, 1, 3, 2} << 50.0 << 2.0;
        QList<double> hundred;
        for (int i = 100; i >= 1; --i)
            hundred << double(i);
        QTest::addRow("p99 of 1..100") << hundred << 99.0 << 99.0;
        QTest::addRow("p100 is the largest") << hundred << 100.0 << 100.0;
        QTest::addRow("a tiny percentile is the smallest") << hundred << 0.1 << 1.0;
    }
    void percentile() {
        QFETCH(QList<double>, values);
        QFETCH(double, p);
        Samples samples;
        for (double value : values)
            samples.add(value);

        QTEST(samples.percentile(p), "expected");
        QCOMPARE(samples.count(), values.size());
    }
};

QTEST_GUILESS_MAIN(tst_Samples)
#include "tst_Samples.moc"
