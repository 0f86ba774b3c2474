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
    void retries_data();
    void retries();
    void stopEndsTheRetries();
    void nestedExchangeLeavesReportingOffForTheRetry();
    void reportingBackOnAfterAnException_data();
    void reportingBackOnAfterAnException();
    void waitSeconds_data();
    void waitSeconds();
    void progressDot_data();
    void progressDot();

private:
    qint64 elapsedMs() const { return m_start.msecsTo(m_clock.now()); }

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

void tst_CommandExchange::retries_data() {
    QTest::addColumn<bool>("query");
    QTest::addColumn<bool>("runActive");
    QTest::addColumn<int>("failures");
    QTest::addColumn<int>("maxAttempts");
    QTest::addColumn<int>("attempts");
    QTest::addColumn<int>("dots");
    QTest::addColumn<QString>("reply");

    const int unlimited = CommandExchange::Unlimited;
    QTest::addRow("write, idle, succeeds") << false << false << 0 << unlimited << 1 << 0 << "";
    QTest::addRow("write, idle, fails") << false << false << 1 << unlimited << 1 << 0 << "";
    QTest::addRow("write, run, fails twice") << false << true << 2 << unlimited << 3 << 2 << "";
    QTest::addRow("write, run, one attempt allowed") << false << true << 50 << 1 << 1 << 0 << "";
    QTest::addRow("write, run, three attempts allowed") << false << true << 50 << 3 << 3 << 2 << "";
    QTest::addRow("write, run, limit not reached") << false << true << 2 << 5 << 3 << 2 << "";
    QTest::addRow("query, idle, succeeds") << true << false << 0 << unlimited << 1 << 0 << "1";
    QTest::addRow("query, idle, fails: that attempt's text")
        << true << false << 1 << unlimited << 1 << 0 << "garbled";
    QTest::addRow("query, run, fails twice") << true << true << 2 << unlimited << 3 << 2 << "1";
}

void tst_CommandExchange::retries() {
    QFETCH(bool, query);
    QFETCH(bool, runActive);
    QFETCH(int, failures);
    QFETCH(int, maxAttempts);
    QFETCH(int, attempts);
    QFETCH(int, dots);

    m_host.setStartEnabled(!runActive);
    m_instrument.failNext = failures;
    m_instrument.failedReply = QStringLiteral("garbled");
    m_instrument.replies.insert(QStringLiteral("BUSY?"), QStringLiteral("1"));
    const QString command = query ? QStringLiteral("BUSY?") : QStringLiteral("ACQ:STATE 1");

    if (query)
        QTEST(m_exchange.scopeQuery(command), "reply");
    else
        m_exchange.scopeWrite(command, maxAttempts);

    QCOMPARE(m_instrument.sent(), QStringList(attempts, command));
    QCOMPARE(m_host.repaints, dots);
    if (dots == 0)
        QCOMPARE(m_host.statusText(), QStringLiteral("3: Save ISF"));
    // Every failure that may be retried costs the 0.1 s pause first.
    const int pauses = failures == 0 ? 0 : (maxAttempts == 1 ? 0 : std::max(dots, 1));
    QVERIFY2(elapsedMs() >= 100 * pauses && elapsedMs() < 100 * pauses + 20 * (pauses + 1),
             qPrintable(QString::number(elapsedMs())));
    QCOMPARE(m_instrument.log.first(), QStringLiteral("errors off"));
    QCOMPARE(m_instrument.log.last(), QStringLiteral("errors on"));
}

// Stop, pressed during the pause after the second attempt, enables Start:
// the exchange ends there instead of retrying forever.
void tst_CommandExchange::stopEndsTheRetries() {
    m_instrument.failNext = 1000;
    m_host.onPump = [this] {
        if (m_instrument.sent().size() % 2 == 0)
            m_host.setStartEnabled(true);
    };
    m_host.setStartEnabled(false);
    m_exchange.scopeWrite(QStringLiteral("ACQ:STATE 1"));
    QCOMPARE(m_instrument.sent().size(), 2);
    m_host.setStartEnabled(false);
    m_exchange.scopeQuery(QStringLiteral("BUSY?"));
    QCOMPARE(m_instrument.sent().size(), 4);
    QVERIFY(m_instrument.errorReporting());
}

// Stop runs nested in a retry's pump, and its own exchange ends by switching
// error reporting on. The outer retry must still go out with it off, or its
// failure would throw out of the capture loop.
void tst_CommandExchange::nestedExchangeLeavesReportingOffForTheRetry() {
    m_host.setStartEnabled(false);
    m_instrument.failNext = 2;
    m_instrument.refusedWrites << QStringLiteral("ACQ:STATE 1");
    m_host.onPump = [this] {
        if (m_host.pumps == 1)
            m_exchange.scopeWrite(QStringLiteral("ACQ:STATE 0"), 1);
    };
    m_exchange.scopeWrite(QStringLiteral("ACQ:STATE 1"));
    QCOMPARE(m_instrument.sent(), (QStringList{"ACQ:STATE 1", "ACQ:STATE 0", "ACQ:STATE 1"}));
    QVERIFY(m_instrument.errorReporting());
}

void tst_CommandExchange::reportingBackOnAfterAnException_data() {
    QTest::addColumn<bool>("query");
    QTest::addColumn<bool>("fromPump");

    QTest::addRow("write, instrument throws") << false << false;
    QTest::addRow("write, handler in a pump throws") << false << true;
    QTest::addRow("query, instrument throws") << true << false;
    QTest::addRow("query, handler in a pump throws") << true << true;
}

void tst_CommandExchange::reportingBackOnAfterAnException() {
    QFETCH(bool, query);
    QFETCH(bool, fromPump);

    const auto raise = [] { throw std::runtime_error("boom"); };
    m_instrument.failNext = 1;
    if (fromPump)
        m_host.onPump = raise;
    else
        m_instrument.afterExchange = [&](const QString &) { raise(); };
    if (query)
        QVERIFY_THROWS_EXCEPTION(std::runtime_error,
                                 m_exchange.scopeQuery(QStringLiteral("*IDN?")));
    else
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, m_exchange.scopeWrite(QStringLiteral("*CLS")));
    QVERIFY(m_instrument.errorReporting());
}

void tst_CommandExchange::waitSeconds_data() {
    QTest::addColumn<QTime>("start");
    QTest::addColumn<float>("seconds");
    QTest::addColumn<bool>("dots");
    QTest::addColumn<QDateTime>("end");

    const QDate day(2024, 3, 5);
    const QTime noon(12, 0);
    QTest::addRow("zero") << noon << 0.0f << false << QDateTime(day, noon);
    QTest::addRow("negative") << noon << -1.0f << false << QDateTime(day, noon);
    QTest::addRow("retry pause") << noon << 0.1f << false << QDateTime(day, QTime(12, 0, 0, 100));
    QTest::addRow("one second") << noon << 1.0f << false << QDateTime(day, QTime(12, 0, 1));
    QTest::addRow("two seconds") << noon << 2.0f << true << QDateTime(day, QTime(12, 0, 2));
    QTest::addRow("pause across midnight")
        << QTime(23, 59, 59, 950) << 0.1f << false << QDateTime(day.addDays(1), QTime(0, 0, 0, 50));
    QTest::addRow("two seconds across midnight")
        << QTime(23, 59, 59) << 2.0f << true << QDateTime(day.addDays(1), QTime(0, 0, 1));
    QTest::addRow("ending on midnight")
        << QTime(23, 59, 58) << 2.0f << true << QDateTime(day.addDays(1), QTime(0, 0));
}

// A wait ends after its time and within one wake-up (plus the clock's
// single-precision step) of it; zero and negative waits do not pump at all.
void tst_CommandExchange::waitSeconds() {
    QFETCH(QTime, start);
    QFETCH(float, seconds);
    QFETCH(bool, dots);
    QFETCH(QDateTime, end);

    m_clock.set(QDateTime(QDate(2024, 3, 5), start));
    m_exchange.waitSeconds(seconds);

    const qint64 late = end.msecsTo(m_clock.now());
    QVERIFY2(late >= 0 && late <= 20, qPrintable(m_clock.now().toString(Qt::ISODateWithMs)));
    QCOMPARE(m_host.pumps > 0, seconds > 0);
    QCOMPARE(m_host.repaints > 0, dots);
}

void tst_CommandExchange::progressDot_data() {
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");

    QTest::addRow("empty") << ""
                           << ".";
    QTest::addRow("eight dots grow to nine") << "1: Save CSV........"
                                             << "1: Save CSV.........";
    QTest::addRow("nine dots collapse to one") << "1: Save CSV........."
                                               << "1: Save CSV.";
    QTest::addRow("a row of ten inside cuts every time") << "ab..........cdefghijk"
                                                         << "ab..........c";
    QTest::addRow("ten dots alone") << ".........."
                                    << "..";
}

void tst_CommandExchange::progressDot() {
    QFETCH(QString, before);
    m_host.setStatusText(before);
    m_host.repaints = 0;
    m_exchange.showProgressDot();
    QTEST(m_host.statusText(), "after");
    QCOMPARE(m_host.repaints, 1);
    QCOMPARE(m_host.pumps, 1);
}

QTEST_GUILESS_MAIN(tst_CommandExchange)
#include "tst_CommandExchange.moc"
