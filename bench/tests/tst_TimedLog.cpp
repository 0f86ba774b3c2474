#include "TimedLog.h"

#include <QTest>

namespace {

// Two cycles as the simulator writes them: an event follows the message that
// noticed it, stamped earlier; the second trigger came at once, before the
// arming command on the scope's millisecond clock. Plain lines are no part.
const QByteArray Log = R"(HEAD 0;VERB 0
1000 > ACQ:STATE 1
1500 > BUSY?
1400 * triggered
2000 > SAV:WAVE:FILEF INTERNAL
2100 > SAV:WAVE ALL, "E:\a"
2200 > BUSY?
52600 > BUSY?
52100 * saved
52900 > FILES:DIR?
53000 > ACQ:STATE 1
53100 > BUSY?
52800 * triggered
53400 > SAV:WAVE:FILEF INTERNAL
53500 > SAV:WAVE ALL, "E:\b"
)";

} // namespace

class tst_TimedLog : public QObject {
    Q_OBJECT

private slots:
    void measures_data() {
        QTest::addColumn<int>("measure");
        QTest::addColumn<QList<double>>("expectedUs");
        QTest::addRow("trigger to the first command that is no poll")
            << 0 << QList<double>{600, 400};
        QTest::addRow("save done to the next command") << 1 << QList<double>{800};
        // Arming to arming, less the 50 ms the scope spent saving; the last
        // cycle is never armed again.
        QTest::addRow("dead time beyond the save") << 2 << QList<double>{1600};
    }
    void measures() {
        QFETCH(int, measure);
        QFETCH(QList<double>, expectedUs);
        const TimedLog log(Log);
        const Samples samples = measure == 0   ? log.triggerToCommand()
                                : measure == 1 ? log.saveDoneToCommand()
                                               : log.deadTime();
        QCOMPARE(samples.count(), expectedUs.size());
        QCOMPARE(qRound(samples.percentile(1) * 1e6), qRound(expectedUs.back()));
        QCOMPARE(qRound(samples.max() * 1e6), qRound(expectedUs.front()));
        QCOMPARE(log.triggers(), 2);
    }
};

QTEST_GUILESS_MAIN(tst_TimedLog)
#include "tst_TimedLog.moc"
