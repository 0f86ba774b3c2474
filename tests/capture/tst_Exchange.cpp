#include "Cancellation.h"
#include "Exchange.h"
#include "FakeClock.h"
#include "FakeInstrument.h"
#include "FakeMonotonicClock.h"
#include "FakeRunView.h"
#include "Run.h"

#include <QTest>
#include <stdexcept>

namespace {

// The exchange against a scripted instrument, with clocks that only its
// sleeps move, and a status line already showing a step.
struct Rig {
    Rig() {
        run.setStatus(QStringLiteral("3: Save ISF"));
        view.texts.clear();
    }
    void enterRun() { run.enter(run.requestStart()); }
    qint64 elapsedMs() const { return start.msecsTo(clock.now()); }

    FakeClock clock;
    const QDateTime start = clock.now();
    FakeMonotonicClock monotonic{&clock};
    FakeRunView view;
    Cancellation cancellation;
    Run run{view, cancellation};
    FakeInstrument instrument;
    Exchange exchange{instrument, run, monotonic, cancellation};
};

} // namespace

class tst_Exchange : public QObject {
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

        const int unlimited = Exchange::Unlimited;
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
        // Stop ends the exchange there instead of retrying forever.
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
        if (runActive)
            rig.enterRun();
        QFETCH(int, stopAt);
        rig.monotonic.onSleep = [&] {
            if (rig.instrument.sent().size() == stopAt)
                rig.run.requestStop();
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
        QCOMPARE(rig.view.texts.size(), dots);
        if (dots == 0)
            QCOMPARE(rig.run.status(), QStringLiteral("3: Save ISF"));
        // Stop cuts the pause it comes in short.
        const qint64 ms = rig.elapsedMs();
        const int whole = stopAt > 0 ? pauses - 1 : pauses;
        QVERIFY2(ms >= 100 * whole && ms < 100 * pauses + 20 * (pauses + 1) - (stopAt > 0 ? 40 : 0),
                 qPrintable(QString::number(ms)));
        QCOMPARE(rig.instrument.log.first(), QStringLiteral("errors off"));
        QCOMPARE(rig.instrument.log.last(), QStringLiteral("errors on"));
    }

    // A Stop during a retry's pause abandons the retried write there, with
    // error reporting back on, so Stop's own commands go out after it and
    // never inside it.
    void stopAbandonsTheRetryBeforeStopsCommands() {
        Rig rig;
        rig.enterRun();
        rig.instrument.failNext = 2;
        rig.monotonic.onSleep = [&] { rig.run.requestStop(); };
        rig.exchange.scopeWrite(QStringLiteral("ACQ:STATE 1"));
        QVERIFY(rig.instrument.errorReporting());
        rig.exchange.scopeWrite(QStringLiteral("ACQ:STATE 0"), 1);
        QCOMPARE(rig.instrument.sent(), (QStringList{"ACQ:STATE 1", "ACQ:STATE 0"}));
        QVERIFY(rig.instrument.errorReporting());
    }

    // Whether the instrument or something during a retry's pause throws, the
    // exchange leaves error reporting on.
    void reportingBackOnAfterAnException() {
        const auto raise = [] { throw std::runtime_error("boom"); };
        Rig fromInstrument;
        fromInstrument.instrument.failNext = 1;
        fromInstrument.instrument.afterExchange = [&](const QString &) { raise(); };
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, fromInstrument.exchange.scopeQuery("*IDN?"));
        QVERIFY(fromInstrument.instrument.errorReporting());

        Rig fromPause;
        fromPause.instrument.failNext = 1;
        fromPause.monotonic.onSleep = raise;
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, fromPause.exchange.scopeWrite("*CLS"));
        QVERIFY(fromPause.instrument.errorReporting());
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
    // A wait ends after its time and within one wake-up of it; a wait of zero
    // does not sleep at all.
    void waitSeconds() {
        QFETCH(QTime, start);
        QFETCH(float, seconds);
        QFETCH(QDateTime, end);
        Rig rig;

        rig.clock.set(QDateTime(QDate(2024, 3, 5), start));
        rig.exchange.waitSeconds(seconds);

        const qint64 late = end.msecsTo(rig.clock.now());
        QVERIFY2(late >= 0 && late <= 20, qPrintable(rig.clock.now().toString(Qt::ISODateWithMs)));
        QCOMPARE(rig.monotonic.sleeps > 0, seconds > 0);
        QTEST(!rig.view.texts.isEmpty(), "dots");
    }

    // Stop ends a wait at once: a post-trigger delay must not keep a stopped
    // run, or a closed program, alive for up to a minute.
    void waitEndsOnStop() {
        Rig rig;
        rig.enterRun();
        const QDateTime start(QDate(2024, 3, 5), QTime(12, 0));
        rig.clock.set(start);
        rig.monotonic.onSleep = [&] { rig.run.requestStop(); };
        rig.exchange.waitSeconds(60.0f);
        QVERIFY(rig.clock.now() < start.addSecs(1));
    }

    void notAnswering_data() {
        QTest::addColumn<int>("failures");
        // How long each failed attempt takes, as a hung link's timeout would.
        QTest::addColumn<int>("attemptMs");
        QTest::addColumn<bool>("said");
        // What the journal hears, with how long the scope had been silent.
        QTest::addColumn<QStringList>("heard");

        // Attempts fail at once and the pauses between them add up.
        QTest::addRow("1.9 s of failures") << 19 << 0 << false << QStringList();
        QTest::addRow("2 s of failures")
            << 20 << 0 << true << QStringList{"silent 2000 ms", "answering after 2000 ms"};
        // A hung link spends its time inside the attempts.
        QTest::addRow("two hung attempts") << 2 << 700 << false << QStringList();
        QTest::addRow("three hung attempts")
            << 3 << 700 << true << QStringList{"silent 2400 ms", "answering after 3100 ms"};
    }
    // Within a run, exchanges unanswered for two seconds say so on the status
    // line, behind the acquisition number; the first answer puts back what
    // stood there.
    void notAnswering() {
        QFETCH(int, failures);
        QFETCH(int, attemptMs);
        QFETCH(bool, said);
        Rig rig;
        rig.enterRun();
        rig.instrument.failNext = failures;
        rig.instrument.afterExchange = [&](const QString &) {
            rig.monotonic.advance(std::chrono::milliseconds(attemptMs));
        };
        QStringList heard;
        rig.exchange.watchSilenceWith([&](bool answering, std::chrono::milliseconds silent) {
            heard << (answering ? QStringLiteral("answering after %1 ms")
                                : QStringLiteral("silent %1 ms"))
                         .arg(silent.count());
        });

        rig.exchange.scopeQuery(QStringLiteral("BUSY?"));

        QCOMPARE(rig.instrument.sent().size(), failures + 1);
        QCOMPARE(!rig.view.texts.filter(QStringLiteral("3: Scope not answering")).isEmpty(), said);
        QVERIFY2(rig.run.status().startsWith(QLatin1String("3: Save ISF.")),
                 qPrintable(rig.run.status()));
        QTEST(heard, "heard");
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
        rig.run.setStatus(before);
        rig.view.texts.clear();
        rig.run.addProgressDots(1);
        QTEST(rig.run.status(), "after");
        QCOMPARE(rig.view.texts, QStringList{rig.run.status()});
    }
};

QTEST_GUILESS_MAIN(tst_Exchange)
#include "tst_Exchange.moc"
