#include "CommandExchange.h"
#include "FakeClock.h"
#include "FakeHost.h"
#include "FakeInstrument.h"

#include <QTest>
#include <stdexcept>

class tst_CommandExchange : public QObject {
    Q_OBJECT

private slots:
    void init();

    void writeRetries_data();
    void writeRetries();
    void queryRetries_data();
    void queryRetries();
    void stopDuringRetriesAbandonsTheExchange();
    void nestedExchangeDoesNotLeaveReportingOnForTheRetry();
    void reportingBackOnWhenAnExceptionEscapes_data();
    void reportingBackOnWhenAnExceptionEscapes();

    void waitSeconds_data();
    void waitSeconds();
    void waitAcrossMidnight_data();
    void waitAcrossMidnight();

    void progressDot_data();
    void progressDot();

private:
    qint64 elapsedMs() const { return m_start.msecsTo(m_clock.now()); }
    int dotsShown() const { return m_host.repaints; }

    FakeClock m_clock;
    FakeHost m_host{&m_clock};
    FakeInstrument m_instrument;
    CommandExchange m_exchange{m_instrument, m_host, m_clock};
    QDateTime m_start;
};

void tst_CommandExchange::init() {
    m_clock.set(QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9, 250)));
    m_start = m_clock.now();
    m_host = FakeHost(&m_clock);
    m_host.setStatusText(QStringLiteral("3: Save ISF"));
    m_host.repaints = 0;
    m_instrument = FakeInstrument();
}

void tst_CommandExchange::writeRetries_data() {
    QTest::addColumn<bool>("runActive");
    QTest::addColumn<int>("failures");
    QTest::addColumn<int>("maxAttempts");
    QTest::addColumn<int>("writes");
    QTest::addColumn<int>("dots");
    QTest::addColumn<qint64>("minElapsedMs");

    QTest::addRow("idle, succeeds") << false << 0 << 0 << 1 << 0 << 0LL;
    QTest::addRow("idle, fails once: abandoned after the pause")
        << false << 1 << 0 << 1 << 0 << 100LL;
    QTest::addRow("run, fails twice then succeeds") << true << 2 << 0 << 3 << 2 << 200LL;
    QTest::addRow("run, bounded to one attempt") << true << 50 << 1 << 1 << 0 << 0LL;
    QTest::addRow("run, bounded to three attempts") << true << 50 << 3 << 3 << 2 << 200LL;
    QTest::addRow("run, bound not reached") << true << 2 << 5 << 3 << 2 << 200LL;
}

void tst_CommandExchange::writeRetries() {
    QFETCH(bool, runActive);
    QFETCH(int, failures);
    QFETCH(int, maxAttempts);
    QFETCH(int, writes);
    QFETCH(int, dots);
    QFETCH(qint64, minElapsedMs);

    m_host.setStartEnabled(!runActive);
    m_host.repaints = 0;
    m_instrument.failNext = failures;

    m_exchange.scopeWrite(QStringLiteral("ACQ:STATE 1"), maxAttempts);

    QCOMPARE(m_instrument.sent(), QStringList(writes, QStringLiteral("ACQ:STATE 1")));
    QCOMPARE(dotsShown(), dots);
    QVERIFY2(elapsedMs() >= minElapsedMs, qPrintable(QString::number(elapsedMs())));
    if (dots == 0)
        QCOMPARE(m_host.statusText(), QStringLiteral("3: Save ISF"));
    QCOMPARE(m_instrument.log.first(), QStringLiteral("errors off"));
    QCOMPARE(m_instrument.log.last(), QStringLiteral("errors on"));
}

void tst_CommandExchange::queryRetries_data() {
    QTest::addColumn<bool>("runActive");
    QTest::addColumn<int>("failures");
    QTest::addColumn<QString>("reply");
    QTest::addColumn<int>("queries");
    QTest::addColumn<int>("dots");

    QTest::addRow("idle, succeeds") << false << 0 << "1" << 1 << 0;
    QTest::addRow("idle, fails: the failed attempt's text") << false << 1 << "garbled" << 1 << 0;
    QTest::addRow("run, fails twice then succeeds") << true << 2 << "1" << 3 << 2;
}

void tst_CommandExchange::queryRetries() {
    QFETCH(bool, runActive);
    QFETCH(int, failures);
    QFETCH(QString, reply);
    QFETCH(int, queries);
    QFETCH(int, dots);

    m_host.setStartEnabled(!runActive);
    m_host.repaints = 0;
    m_instrument.failNext = failures;
    m_instrument.failedReply = QStringLiteral("garbled");
    m_instrument.replies.insert(QStringLiteral("BUSY?"), QStringLiteral("1"));

    QCOMPARE(m_exchange.scopeQuery(QStringLiteral("BUSY?")), reply);
    QCOMPARE(m_instrument.sent(), QStringList(queries, QStringLiteral("BUSY?")));
    QCOMPARE(dotsShown(), dots);
    QVERIFY(m_instrument.errorReporting());
}

void tst_CommandExchange::stopDuringRetriesAbandonsTheExchange() {
    m_host.setStartEnabled(false);
    m_instrument.failNext = 1000;
    int pumps = 0;
    m_host.onPump = [&] {
        if (++pumps == 25)
            m_host.setStartEnabled(true);
    };

    m_exchange.scopeWrite(QStringLiteral("ACQ:STATE 1"));
    const int writes = m_instrument.sent().size();
    QVERIFY2(writes >= 2 && writes <= 4, qPrintable(QString::number(writes)));

    m_instrument.failNext = 1000;
    m_host.setStartEnabled(false);
    pumps = 0;
    QCOMPARE(m_exchange.scopeQuery(QStringLiteral("BUSY?")), QString());
    QVERIFY(m_instrument.sent().size() - writes <= 4);
    QVERIFY(m_instrument.errorReporting());
}

// Stop runs nested inside a retry's pump; its own exchange ends by switching
// error reporting on. The outer retry must still write with reporting off,
// or a failure there would throw out of the capture loop.
void tst_CommandExchange::nestedExchangeDoesNotLeaveReportingOnForTheRetry() {
    m_host.setStartEnabled(false);
    m_instrument.failNext = 2;
    m_instrument.refusedWrites << QStringLiteral("ACQ:STATE 1");
    bool nested = false;
    m_host.onPump = [&] {
        if (!std::exchange(nested, true))
            m_exchange.scopeWrite(QStringLiteral("ACQ:STATE 0"), 1);
    };

    m_exchange.scopeWrite(QStringLiteral("ACQ:STATE 1"));

    QCOMPARE(m_instrument.sent(), (QStringList{"ACQ:STATE 1", "ACQ:STATE 0", "ACQ:STATE 1"}));
    QVERIFY(m_instrument.errorReporting());
}

void tst_CommandExchange::reportingBackOnWhenAnExceptionEscapes_data() {
    QTest::addColumn<bool>("query");
    QTest::addColumn<bool>("fromPump");

    QTest::addRow("write, from the instrument") << false << false;
    QTest::addRow("write, from a handler in a pump") << false << true;
    QTest::addRow("query, from the instrument") << true << false;
    QTest::addRow("query, from a handler in a pump") << true << true;
}

void tst_CommandExchange::reportingBackOnWhenAnExceptionEscapes() {
    QFETCH(bool, query);
    QFETCH(bool, fromPump);

    const auto raise = [] { throw std::runtime_error("boom"); };
    if (fromPump) {
        m_instrument.failNext = 1;
        m_host.onPump = raise;
    } else {
        m_instrument.afterExchange = [&](const QString &) { raise(); };
    }

    if (query)
        QVERIFY_THROWS_EXCEPTION(std::runtime_error,
                                 m_exchange.scopeQuery(QStringLiteral("*IDN?")));
    else
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, m_exchange.scopeWrite(QStringLiteral("*CLS")));
    QVERIFY(m_instrument.errorReporting());
}

void tst_CommandExchange::waitSeconds_data() {
    QTest::addColumn<float>("seconds");
    QTest::addColumn<bool>("pumps");
    QTest::addColumn<bool>("dots");

    QTest::addRow("zero") << 0.0f << false << false;
    QTest::addRow("negative") << -1.0f << false << false;
    QTest::addRow("retry pause") << 0.1f << true << false;
    QTest::addRow("exactly one second") << 1.0f << true << false;
    QTest::addRow("two seconds") << 2.0f << true << true;
}

void tst_CommandExchange::waitSeconds() {
    QFETCH(float, seconds);
    QFETCH(bool, pumps);
    QFETCH(bool, dots);

    m_exchange.waitSeconds(seconds);

    QCOMPARE(m_host.pumps > 0, pumps);
    QCOMPARE(dotsShown() > 0, dots);
    QCOMPARE(m_host.statusText().startsWith(QStringLiteral("3: Save ISF.")), dots);
    if (pumps) {
        // Ends after the time asked, and no later than one wake-up plus the
        // clock's single-precision step past it.
        const qint64 asked = qRound64(seconds * 1000);
        QVERIFY2(elapsedMs() > asked - 5 && elapsedMs() <= asked + 15,
                 qPrintable(QString::number(elapsedMs())));
    } else {
        QCOMPARE(elapsedMs(), 0);
    }
}

void tst_CommandExchange::waitAcrossMidnight_data() {
    QTest::addColumn<QTime>("start");
    QTest::addColumn<float>("seconds");
    QTest::addColumn<QTime>("earliestEnd");

    QTest::addRow("retry pause at 86399.95 s")
        << QTime(23, 59, 59, 950) << 0.1f << QTime(0, 0, 0, 50);
    QTest::addRow("two seconds from 23:59:59") << QTime(23, 59, 59) << 2.0f << QTime(0, 0, 1);
    QTest::addRow("ends exactly at midnight") << QTime(23, 59, 58) << 2.0f << QTime(0, 0);
}

void tst_CommandExchange::waitAcrossMidnight() {
    QFETCH(QTime, start);
    QFETCH(float, seconds);
    QFETCH(QTime, earliestEnd);

    m_clock.set(QDateTime(QDate(2024, 3, 5), start));
    m_exchange.waitSeconds(seconds);

    const QDateTime end = m_clock.now();
    QCOMPARE(end.date(), QDate(2024, 3, 6));
    QVERIFY2(end.time() >= earliestEnd && end.time() <= earliestEnd.addMSecs(20),
             qPrintable(end.time().toString(QStringLiteral("hh:mm:ss.zzz"))));
}

void tst_CommandExchange::progressDot_data() {
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");

    QTest::addRow("empty") << ""
                           << ".";
    QTest::addRow("text") << "2: Waiting for Acquisition"
                          << "2: Waiting for Acquisition.";
    QTest::addRow("eight dots grow to nine") << "1: Save CSV........"
                                             << "1: Save CSV.........";
    QTest::addRow("nine dots collapse to one") << "1: Save CSV........."
                                               << "1: Save CSV.";
    QTest::addRow("a row of ten in the middle cuts every time") << "ab..........cdefghijk"
                                                                << "ab..........c";
    QTest::addRow("short text with ten dots") << ".........."
                                              << "..";
}

void tst_CommandExchange::progressDot() {
    QFETCH(QString, before);
    QFETCH(QString, after);

    m_host.setStatusText(before);
    m_host.repaints = 0;
    m_exchange.showProgressDot();

    QCOMPARE(m_host.statusText(), after);
    QCOMPARE(m_host.repaints, 1);
    QCOMPARE(m_host.pumps, 1);
}

QTEST_GUILESS_MAIN(tst_CommandExchange)
#include "tst_CommandExchange.moc"
