#include "CheckValue.h"
#include "ProgramRig.h"

#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>

namespace {

using Answer = Prompter::Answer;

// The fields of one journal line, quotes undone.
QStringList fieldsOf(const QString &line) {
    QStringList fields{QString()};
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (c == u'"' && quoted && i + 1 < line.size() && line.at(i + 1) == u'"')
            fields.last() += line.at(++i);
        else if (c == u'"')
            quoted = !quoted;
        else if (c == u',' && !quoted)
            fields << QString();
        else
            fields.last() += c;
    }
    return fields;
}

// The journal's lines after its header as "acquisition,event,name,detail",
// durations as "#". Each line's time is checked and its run must be the
// time of the run's first line.
QStringList journalOf(const QString &path, const QStringList &events) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {QStringLiteral("(no journal)")};
    QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    if (lines.value(0) != QLatin1String("time,run,acquisition,event,name,detail"))
        return {QStringLiteral("(no header)")};
    static const QRegularExpression time(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}[+-]\\d\\d:\\d\\d$"));
    static const QRegularExpression seconds(QStringLiteral("\\d+\\.\\d+ s"));
    QStringList seen;
    QString run;
    for (const QString &line : lines.mid(1)) {
        QStringList fields = fieldsOf(line);
        if (fields.size() != 6 || !time.match(fields.at(0)).hasMatch())
            return {QStringLiteral("(bad line) ") + line};
        if (fields.at(3) == u"run-started")
            run = fields.at(0);
        if (fields.at(1) != run)
            return {QStringLiteral("(wrong run) ") + line};
        if (!events.isEmpty() && !events.contains(fields.at(3)))
            continue;
        fields[5].replace(seconds, QStringLiteral("#"));
        seen << fields.mid(2).join(u',');
    }
    return seen;
}

QStringList savedAll(int acquisition, const QString &stem) {
    const QString n = QString::number(acquisition);
    return {n + ",saved,E:\\my_ISFs_" + stem + ",ISF, #",
            n + ",saved,E:\\my_CSVs_" + stem + ",CSV, #",
            n + ",saved,E:\\my_Images_" + stem + ".PNG,image, #"};
}

const QString Started =
    QStringLiteral(",run-started,,MARDOCK,KXA5104-SIM,000001,1.0.0; TCPIP0::127.0.0.1::%1::SOCKET; "
                   "saves ISF E:\\my_ISFs_*, CSV E:\\my_CSVs_*, image E:\\my_Images_*.PNG");

struct Night {
    QList<Answer> answers = {};
    QString limit = QStringLiteral("1");
    QStringList simArgs = {};
    QStringList events = {}; // the events compared; none: all
};

} // namespace

Q_DECLARE_METATYPE(Night)

// The journal of whole runs of the program against the simulated scope,
// line by line.
class tst_Journal : public QObject {
    Q_OBJECT

private slots:
    void nights_data() {
        QTest::addColumn<Night>("night");
        QTest::addColumn<QStringList>("journal");
        QTest::addColumn<QString>("status");

        QTest::newRow("three saves, a No, Done")
            << Night{.answers = {Answer::Yes, Answer::No, Answer::Yes}, .limit = "3"}
            << QStringList{"1,acquired,,"} + savedAll(1, "1") +
                   QStringList{"2,acquired,,", "2,skipped,,", "3,acquired,,"} + savedAll(3, "3") +
                   QStringList{"3,run-ended,,Done"}
            << "3: Done";
        QTest::newRow("Cancel") << Night{.answers = {Answer::Cancel},
                                         .events = {"saved", "skipped", "run-ended"}}
                                << QStringList{"1,run-ended,,Cancelled"} << "1: Stopped";
        QTest::newRow("refused save")
            << Night{.limit = {}, .simArgs = {"--drive-full"}}
            << QStringList{"1,acquired,,",
                           "1,refused,E:\\my_ISFs_1,-250,\"Mass storage error; E: drive full\"",
                           "1,run-ended,,refused save"}
            << "1: Stopped";
        // Power goes off right after the first save command: that save and the
        // two that never went out are named; the acquisition is armed again.
        QTest::newRow("power cycle during a save")
            << Night{.limit = "1", .simArgs = {"--power-cycle-after", "1", "--power-off-ms", "500"}}
            << QStringList{"1,acquired,,",
                           "1,unconfirmed,E:\\my_ISFs_1,the link was lost before its check",
                           "1,reconnected,,",
                           "1,scope-restarted,,",
                           "1,unconfirmed,E:\\my_CSVs_1,never sent: the scope restarted",
                           "1,unconfirmed,E:\\my_Images_1.PNG,never sent: the scope restarted",
                           "1,acquired,,"} +
                   savedAll(1, "2") + QStringList{"1,run-ended,,Done"}
            << "1: Done";
        // The 12th message, the first arming, finds the scope hung for 3 s.
        QTest::newRow("silent scope")
            << Night{.simArgs = {"--hang-after", "12", "--hang-ms", "3000"},
                     .events = {"acquired", "not-answering", "answering-again", "run-ended"}}
            << QStringList{"1,not-answering,,silent for #", "1,answering-again,,silent for #",
                           "1,acquired,,", "1,run-ended,,Done"}
            << "1: Done";
    }
    void nights() {
        QFETCH(Night, night);
        Program program(night.simArgs);
        QVERIFY(program.start());
        frmMain &window = *program.window;
        frmPrefs &prefs = window.prefsDialog();
        setCheckValue(prefs.chkUseTimestamps, 0);
        setCheckValue(prefs.chkASCII, 1);
        setCheckValue(prefs.chkScreen, 1);
        setCheckValue(prefs.chkAsk, !night.answers.isEmpty());
        setCheckValue(prefs.chkStopAfter, !night.limit.isNull());
        prefs.txtAcqLimit->setText(night.limit);
        program.prompter.answers = night.answers;

        QTest::mouseClick(window.cbStart, Qt::LeftButton);

        // The run ends its journal on the run thread, after its Stop.
        program.settle();
        QTEST(window.statusText(), "status");
        QTRY_VERIFY(window.startEnabled());
        QFETCH(QStringList, journal);
        if (night.events.isEmpty())
            journal.prepend(Started.arg(program.sim.port()));
        QCOMPARE(journalOf(program.paths.journalFile(), night.events), journal);
    }

    void endedByTheUser_data() {
        QTest::addColumn<bool>("close");
        QTest::addColumn<QString>("ended");

        QTest::addRow("Stop") << false << "1,run-ended,,Stopped";
        QTest::addRow("Close, answered No") << true << "1,run-ended,,Closed";
    }
    // A run the user ends in its wait for a trigger says how it ended.
    void endedByTheUser() {
        QFETCH(bool, close);
        Program program({"--busy-forever"});
        QVERIFY(program.start());
        frmMain &window = *program.window;
        program.prompter.answers = {Answer::No};
        QTest::mouseClick(window.cbStart, Qt::LeftButton);
        QTRY_VERIFY(window.statusText().startsWith(QLatin1String("1: Waiting")));

        if (close)
            window.close();
        else
            QTest::mouseClick(window.cbStop, Qt::LeftButton);

        program.settle();
        QFETCH(QString, ended);
        QCOMPARE(journalOf(program.paths.journalFile(), {"run-ended"}), QStringList{ended});
    }

    // A journal that cannot be written costs the run nothing; the user is
    // told once, in a box that does not hold the window up.
    void journalFolderUnwritable() {
        Program program({});
        QFile blocker(QFileInfo(program.paths.journalFile()).absolutePath());
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        QVERIFY(program.start());
        frmMain &window = *program.window;
        window.prefsDialog().txtAcqLimit->setText(QStringLiteral("2"));

        QTest::mouseClick(window.cbStart, Qt::LeftButton);

        program.settle();
        QCOMPARE(window.statusText(), QStringLiteral("2: Done"));
        QTRY_VERIFY(window.startEnabled());
        QCOMPARE(program.prompter.asked, QStringList());
        // Every line of the run failed, all of them told before the run
        // thread settled; the user is told once.
        QTRY_VERIFY(
            !window.findChildren<QMessageBox *>(QStringLiteral("journalNotWritten")).isEmpty());
        const auto notices =
            window.findChildren<QMessageBox *>(QStringLiteral("journalNotWritten"));
        QCOMPARE(notices.size(), 1);
        QVERIFY(!notices.first()->isModal());
        QVERIFY(notices.first()->isVisible());
    }

    // The status line's own menu leads to the journal; it pops up without
    // a loop of its own.
    void statusLineMenu() {
        Program program({});
        QVERIFY(program.start());
        frmMain &window = *program.window;
        emit window.Text1->customContextMenuRequested(QPoint(2, 2));
        QMenu *menu = window.findChild<QMenu *>();
        QVERIFY(menu);
        QTRY_VERIFY(menu->isVisible());
        QStringList offered;
        for (const QAction *action : menu->actions())
            offered << action->text();
        QCOMPARE(offered, (QStringList{"Open the run journal", "Show the journal's folder"}));
        menu->close();
    }
};

QTEST_MAIN(tst_Journal)
#include "tst_journal.moc"
