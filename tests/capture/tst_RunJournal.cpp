#include "FakeClock.h"
#include "RunJournal.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using Event = RunJournal::Event;

namespace {

QByteArray contentOf(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

void writeFile(const QString &path, const QByteArray &content) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

const QDateTime Start(QDate(2024, 3, 5), QTime(22, 15, 0, 7), QTimeZone(3600));

} // namespace

class tst_RunJournal : public QObject {
    Q_OBJECT

private slots:
    void lines_data() {
        QTest::addColumn<QDateTime>("time");
        QTest::addColumn<int>("event");
        QTest::addColumn<qint64>("acquisition");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<QByteArray>("line");

        const QByteArray run = "2024-03-05T22:15:00.007+01:00";
        QTest::newRow("plain") << Start.addMSecs(1993) << int(Event::Acquired) << qint64(12)
                               << QString() << QString()
                               << "2024-03-05T22:15:02.000+01:00," + run + ",12,acquired,,\n";
        QTest::newRow("name with a separator and quotes")
            << Start << int(Event::Saved) << qint64(1) << QStringLiteral("E:\\a,b")
            << QStringLiteral("ISF, \"fast\"")
            << run + "," + run + ",1,saved,\"E:\\a,b\",\"ISF, \"\"fast\"\"\"\n";
        QTest::newRow("line breaks stay inside one line")
            << Start << int(Event::Refused) << qint64(4) << QString()
            << QStringLiteral("-250,\"drive full\"\r\nnext")
            << run + "," + run + ",4,refused,,\"-250,\"\"drive full\"\"  next\"\n";
        QTest::newRow("no acquisition, west of UTC, UTF-8")
            << QDateTime(QDate(2024, 12, 31), QTime(23, 59, 59, 999), QTimeZone(-(3 * 3600 + 1800)))
            << int(Event::Reconnected) << RunJournal::NoAcquisition << QString()
            << QStringLiteral("Oszilloskop µ")
            << "2024-12-31T23:59:59.999-03:30," + run + ",,reconnected,,Oszilloskop \xc2\xb5\n";
    }
    void lines() {
        QFETCH(QDateTime, time);
        QFETCH(int, event);
        QFETCH(qint64, acquisition);
        QFETCH(QString, name);
        QFETCH(QString, detail);
        QFETCH(QByteArray, line);

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("state/mardock/journal.csv"));
        FakeClock clock(Start);
        RunJournal journal(path, clock);
        journal.startRun(QStringLiteral("MARDOCK,KXA5104-SIM; ISF"));
        clock.set(time);
        journal.record(Event(event), acquisition, name, detail);

        QCOMPARE(contentOf(path), QByteArray(RunJournal::Header) +
                                      "2024-03-05T22:15:00.007+01:00,2024-03-05T22:15:00.007+01:00,"
                                      ",run-started,,\"MARDOCK,KXA5104-SIM; ISF\"\n" +
                                      line);
    }

    // A crash in the middle of a line leaves it torn; the next run ends it
    // so that every record has its six fields and the file parses.
    void tornLineEndedAtNextStart_data() {
        QTest::addColumn<QByteArray>("torn");
        QTest::addColumn<QByteArray>("ended");

        QTest::newRow("inside a quoted field")
            << QByteArray("t,r,3,saved,\"E:\\my_") << QByteArray("t,r,3,saved,\"E:\\my_\",\n");
        QTest::newRow("after an escaped quote") << QByteArray("t,r,3,refused,,\"a \"\"b\"\"")
                                                << QByteArray("t,r,3,refused,,\"a \"\"b\"\"\"\n");
        QTest::newRow("between fields") << QByteArray("t,r,") << QByteArray("t,r,,,,\n");
        QTest::newRow("inside the time") << QByteArray("2024-03") << QByteArray("2024-03,,,,,\n");
    }
    void tornLineEndedAtNextStart() {
        QFETCH(QByteArray, torn);
        QFETCH(QByteArray, ended);

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("journal.csv"));
        const QByteArray before = QByteArray(RunJournal::Header) + "t,r,2,acquired,,\n";
        writeFile(path, before + torn);
        FakeClock clock(Start);
        RunJournal journal(path, clock);
        journal.startRun(QString());

        const QList<QByteArray> lines = contentOf(path).split('\n');
        QCOMPARE(lines.size(), 5);
        QCOMPARE(lines.at(2) + '\n', ended);
        QVERIFY(lines.at(3).endsWith(",,run-started,,"));
    }

    void rotation_data() {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QStringList>("older");
        QTest::addColumn<bool>("rotated");
        QTest::addColumn<QByteArray>("end");

        const qint64 limit = JournalFile::RotateBytes;
        QTest::newRow("at the limit, stays")
            << limit << QStringList{"1", "2"} << false << QByteArray("\n");
        QTest::newRow("over it, first rotation")
            << limit + 1 << QStringList() << true << QByteArray("\n");
        QTest::newRow("over it, three kept, torn")
            << limit + 1 << QStringList{"1", "2", "3"} << true << QByteArray("x");
    }
    void rotation() {
        QFETCH(qint64, size);
        QFETCH(QStringList, older);
        QFETCH(bool, rotated);
        QFETCH(QByteArray, end);

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("journal.csv"));
        {
            QFile big(path);
            QVERIFY(big.open(QIODevice::WriteOnly));
            big.write("big\n");
            QVERIFY(big.resize(size - 1));
            big.seek(size - 1);
            big.write(end);
        }
        for (const QString &number : older)
            writeFile(dir.filePath("journal." + number + ".csv"), "old " + number.toLatin1());
        FakeClock clock(Start);
        RunJournal journal(path, clock);
        journal.startRun(QString());

        if (!rotated) {
            QVERIFY(contentOf(path).startsWith("big\n"));
            QCOMPARE(contentOf(dir.filePath(QStringLiteral("journal.1.csv"))), QByteArray("old 1"));
            return;
        }
        QVERIFY(contentOf(path).startsWith(RunJournal::Header));
        const QByteArray moved = contentOf(dir.filePath(QStringLiteral("journal.1.csv")));
        QCOMPARE(moved.size(), size + (end == "\n" ? 0 : 6));
        QVERIFY(moved.endsWith(end == "\n" ? "\n" : "x,,,,,\n"));
        for (int number = 2; number <= JournalFile::KeptOlder; ++number) {
            const QString from = QString::number(number - 1);
            const QByteArray expected =
                older.contains(from) ? "old " + from.toLatin1() : "(missing)";
            QCOMPARE(contentOf(dir.filePath("journal." + QString::number(number) + ".csv")),
                     expected);
        }
        QVERIFY(!QFile::exists(dir.filePath("journal.4.csv")));
    }

    // The run goes on and hears of it once; events still reach the observer.
    void failureToldOnce_data() {
        QTest::addColumn<QString>("where");
        QTest::newRow("folder cannot be made") << QStringLiteral("afile/mardock/journal.csv");
        QTest::newRow("disk full") << QStringLiteral("full/journal.csv");
    }
    void failureToldOnce() {
        QFETCH(QString, where);

        QTemporaryDir dir;
        writeFile(dir.filePath(QStringLiteral("afile")), "not a folder");
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("full")));
        QVERIFY(QFile::link(QStringLiteral("/dev/full"),
                            dir.filePath(QStringLiteral("full/journal.csv"))));

        FakeClock clock(Start);
        RunJournal journal(dir.filePath(where), clock);
        QStringList told;
        QList<Event> heard;
        journal.setFailureNotice([&](const QString &reason) { told << reason; });
        journal.setObserver([&](Event event, const QString &) { heard << event; });
        for (int run = 1; run <= 2; ++run) {
            journal.startRun(QString());
            journal.record(Event::Acquired, 1);
            journal.endRun(1, QStringLiteral("Done"));
            QCOMPARE(told.size(), run);
        }
        QVERIFY2(told.first().contains(QStringLiteral("journal.csv")), qPrintable(told.first()));
        QCOMPARE(heard, (QList<Event>{Event::RunStarted, Event::Acquired, Event::RunEnded,
                                      Event::RunStarted, Event::Acquired, Event::RunEnded}));
    }
};

QTEST_GUILESS_MAIN(tst_RunJournal)
#include "tst_RunJournal.moc"
