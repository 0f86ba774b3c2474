#include "CommandExchange.h"
#include "FakeClock.h"
#include "FakeHost.h"
#include "FakeInstrument.h"
#include "InlineExecutor.h"

#include <QTest>
#include <stdexcept>

namespace {

// The exchange against a scripted instrument, with a clock that only the
// window's pumps move, and a status line already showing a step.
struct Rig {
    Rig() {
        host.setStatusText(QStringLiteral("3: Save ISF"));
        host.repaints = 0;
    }
    qint64 elapsedMs() const { return start.msecsTo(clock.now()); }

    FakeClock clock;
    const QDateTime start = clock.now();
    FakeHost host{&clock};
    FakeInstrument instrument;
    InlineExecutor io;
    CommandExchange exchange{instrument, host, clock, io};
};

} // namespace

class tst_CommandExchange : public QObject {
    Q_OBJECT

private slots:
    void retries_data() {
        QTest::addColumn<bool>("query");
        QTest::addColumn<bool>("runActive");
        QTest::addColumn<int>("failures");
        QTest::addColumn<int>("maxAttempts");
        QTest::addColumn<int>("attempts");
        QTest::addColumn<int>("pauses"); // of 0.1 s each
        QTest::addColumn<int>("dots");
        QTest::addColumn<QString>("reply");
        // Stop is pressed in the pause after this many attempts (0: never).
        QTest::addColumn<int>("stopAt");

        const int unlimited = CommandExchange::Unlimited;
        QTest::addRow("write, idle, fails: one pause")
            << false << false << 1 << unlimited << 1 << 1 << 0 << "" << 0;
        QTest::addRow("write, run, fails twice")
            << false << true << 2 << unlimited << 3 << 2 << 2 << "" << 0;
        QTest::addRow("write, run, one attempt allowed")
            << false << true << 50 << 1 << 1 << 0 << 0 << "" << 0;
        QTest::addRow("write, run, three attempts allowed")
            << false << true << 50 << 3 << 3 << 2 << 2 << "" << 0;
        QTest::addRow("query, idle, fails: that attempt's text")
            << true << false << 1 << unlimited << 1 << 1 << 0 << "garbled" << 0;
        QTest::addRow("query, run, fails twice")
            << true << true << 2 << unlimited << 3 << 2 << 2 << "1" << 0;
        // Stop enables Start: the exchange ends there instead of retrying forever.
        QTest::addRow("write, run, Stop after the second attempt")
            << false << true << 1000 << unlimited << 2 << 2 << 1 << "" << 2;
        QTest::addRow("query, run, Stop after the second attempt")
            << true << true << 1000 << unlimited << 2 << 2 << 1 << "garbled" << 2;
    }
    void retries() {
        QFETCH(bool, query);
        QFETCH(bool, runActive);
        QFETCH(int, maxAttempts);
        QFETCH(int, attempts);
        QFETCH(int, pauses);
        QFETCH(int, dots);
        Rig rig;
        rig.host.setStartEnabled(!runActive);
        QFETCH(int, stopAt);
        rig.host.onPump = [&] {
            if (rig.instrument.sent().size() == stopAt)
                rig.host.setStartEnabled(true);
        };
        QFETCH(int, failures);
        rig.instrument.failNext = failures;
        rig.instrument.failedReply = QStringLiteral("garbled");
        rig.instrument.replies.insert(QStringLiteral("BUSY?"), QStringLiteral("1"));
        const QString command = query ? QStringLiteral("BUSY?") : QStringLiteral("ACQ:STATE 1");

        if (query)
            QTEST(rig.exchange.scopeQuery(command), "reply");
        else
            rig.exchange.scopeWrite(command, maxAttempts);

        QCOMPARE(rig.instrument.sent(), QStringList(attempts, command));
        QCOMPARE(rig.host.repaints, dots);
        if (dots == 0)
            QCOMPARE(rig.host.statusText(), QStringLiteral("3: Save ISF"));
        // Stop cuts the pause it comes in short.
        const qint64 ms = rig.elapsedMs();
        const int whole = stopAt > 0 ? pauses - 1 : pauses;
        QVERIFY2(ms >= 100 * whole && ms < 100 * pauses + 20 * (pauses + 1) - (stopAt > 0 ? 40 : 0),
                 qPrintable(QString::number(ms)));
        QCOMPARE(rig.instrument.log.first(), QStringLiteral("errors off"));
        QCOMPARE(rig.instrument.log.last(), QStringLiteral("errors on"));
    }

    // Stop runs nested in a retry's pump, and its own exchange ends by switching
    // error reporting on. The outer retry must still go out with it off, or its
    // failure would throw out of the capture loop.
    void nestedExchangeLeavesReportingOffForTheRetry() {
        Rig rig;
        rig.host.setStartEnabled(false);
        rig.instrument.failNext = 2;
        rig.instrument.refusedWrites << QStringLiteral("ACQ:STATE 1");
        rig.host.onPump = [&] {
            if (rig.host.pumps == 1)
                rig.exchange.scopeWrite(QStringLiteral("ACQ:STATE 0"), 1);
        };
        rig.exchange.scopeWrite(QStringLiteral("ACQ:STATE 1"));
        QCOMPARE(rig.instrument.sent(), (QStringList{"ACQ:STATE 1", "ACQ:STATE 0", "ACQ:STATE 1"}));
        QVERIFY(rig.instrument.errorReporting());
    }

    // Whether the instrument or a handler run in a pump throws, the exchange
    // leaves error reporting on.
    void reportingBackOnAfterAnException() {
        const auto raise = [] { throw std::runtime_error("boom"); };
        Rig fromInstrument;
        fromInstrument.instrument.failNext = 1;
        fromInstrument.instrument.afterExchange = [&](const QString &) { raise(); };
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, fromInstrument.exchange.scopeQuery("*IDN?"));
        QVERIFY(fromInstrument.instrument.errorReporting());

        Rig fromPump;
        fromPump.instrument.failNext = 1;
        fromPump.host.onPump = raise;
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, fromPump.exchange.scopeWrite("*CLS"));
        QVERIFY(fromPump.instrument.errorReporting());
    }

    void waitSeconds_data() {
        QTest::addColumn<QTime>("start");
        QTest::addColumn<float>("seconds");
        QTest::addColumn<bool>("dots");
        QTest::addColumn<QDateTime>("end");

        const QDate day(2024, 3, 5);
        const QTime noon(12, 0);
        QTest::addRow("zero") << noon << 0.0f << false << QDateTime(day, noon);
        QTest::addRow("one second") << noon << 1.0f << false << QDateTime(day, QTime(12, 0, 1));
        QTest::addRow("two seconds") << noon << 2.0f << true << QDateTime(day, QTime(12, 0, 2));
        QTest::addRow("pause across midnight") << QTime(23, 59, 59, 950) << 0.1f << false
                                               << QDateTime(day.addDays(1), QTime(0, 0, 0, 50));
        QTest::addRow("ending on midnight")
            << QTime(23, 59, 58) << 2.0f << true << QDateTime(day.addDays(1), QTime(0, 0));
    }
    // A wait ends after its time and within one wake-up (plus the clock's
    // single-precision step) of it; a wait of zero does not pump at all.
    void waitSeconds() {
        QFETCH(QTime, start);
        QFETCH(float, seconds);
        QFETCH(QDateTime, end);
        Rig rig;

        rig.clock.set(QDateTime(QDate(2024, 3, 5), start));
        rig.exchange.waitSeconds(seconds);

        const qint64 late = end.msecsTo(rig.clock.now());
        QVERIFY2(late >= 0 && late <= 20, qPrintable(rig.clock.now().toString(Qt::ISODateWithMs)));
        QCOMPARE(rig.host.pumps > 0, seconds > 0);
        QTEST(rig.host.repaints > 0, "dots");
    }

    // Closing the program ends a wait at once: a post-trigger delay must not
    // keep a closed program alive for up to a minute.
    void waitEndsWhenClosing() {
        Rig rig;
        const QDateTime start(QDate(2024, 3, 5), QTime(12, 0));
        rig.clock.set(start);
        rig.host.onPump = [&] { rig.host.closing = true; };
        rig.exchange.waitSeconds(60.0f);
        QVERIFY(rig.clock.now() < start.addSecs(1));
    }

    void progressDot_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");

        const auto row = [](const char *name, const char *before, const char *after) {
            QTest::addRow("%s", name) << QString(before) << QString(after);
        };
        row("eight dots grow to nine", "1: Save CSV........", "1: Save CSV.........");
        row("nine dots collapse to one", "1: Save CSV.........", "1: Save CSV.");
        row("a row of ten inside cuts every time", "ab..........cdefghijk", "ab..........c");
        row("ten dots alone", "..........", "..");
    }
    void progressDot() {
        QFETCH(QString, before);
        Rig rig;
        rig.host.setStatusText(before);
        rig.host.repaints = 0;
        rig.exchange.showProgressDot();
        QTEST(rig.host.statusText(), "after");
        QCOMPARE(rig.host.repaints, 1);
        QCOMPARE(rig.host.pumps, 1);
    }
};

QTEST_GUILESS_MAIN(tst_CommandExchange)
#include "tst_CommandExchange.moc"
