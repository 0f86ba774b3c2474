#include "FakeClock.h"
#include "SaveLedger.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

// What the journal hears of an acquisition's saves as the run goes through
// them: steps are "send <kind>" (sending, then sent), "going <kind>" (sending
// only), "sent", "ok", "lost", "restarted" and "refused".
class tst_SaveLedger : public QObject {
    Q_OBJECT

private slots:
    void journalled_data() {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QStringList>("heard");

        const QString lostBefore = "unconfirmed: the link was lost before its check";
        const QString sentAgain = "unconfirmed: sent again: the link was lost while it went out";
        const QString neverSent = "unconfirmed: never sent: the scope restarted";
        QTest::newRow("all confirmed, then a restart")
            << "send ISF|ok|send CSV|ok|send image|ok|restarted"
            << QStringList{"saved: ISF, # s", "saved: CSV, # s", "saved: image, # s"};
        QTest::newRow("lost in the wait: no saved line")
            << "send ISF|lost|ok|send CSV|ok" << QStringList{lostBefore, "saved: CSV, # s"};
        QTest::newRow("lost while it went out: sent again, then confirmed")
            << "going ISF|lost|sent|ok" << QStringList{sentAgain, "saved: ISF, # s"};
        QTest::newRow("restart in the first save names the two after it")
            << "send ISF|lost|restarted" << QStringList{lostBefore, neverSent, neverSent};
        QTest::newRow("restart while the second went out")
            << "send ISF|ok|going CSV|lost|sent|restarted"
            << QStringList{"saved: ISF, # s", sentAgain,
                           "unconfirmed: the scope restarted before its check", neverSent};
        QTest::newRow("refused") << "send ISF|refused" << QStringList{"refused: -250"};
    }
    void journalled() {
        QFETCH(QString, steps);

        QTemporaryDir dir;
        FakeClock clock;
        RunJournal journal(dir.filePath(QStringLiteral("journal.csv")), clock);
        QStringList heard;
        journal.setObserver([&](RunJournal::Event event, const QString &detail) {
            static const QRegularExpression seconds(QStringLiteral("\\d+\\.\\d+ s"));
            heard << RunJournal::eventName(event) + QStringLiteral(": ") +
                         QString(detail).replace(seconds, QStringLiteral("# s"));
        });
        SaveLedger ledger;
        ledger.journalTo(&journal);
        const QList<SaveLedger::Save> saves{
            {"ISF", "E:\\i_7"}, {"CSV", "E:\\c_7"}, {"image", "E:\\s_7.PNG"}};
        ledger.plan(4, saves);
        for (const QString &step : steps.split(u'|')) {
            const QString verb = step.section(u' ', 0, 0);
            if (verb == u"send" || verb == u"going")
                ledger.sending(std::find_if(saves.begin(), saves.end(), [&](const auto &save) {
                                   return save.kind == step.section(u' ', 1);
                               })->name);
            if (verb == u"send" || verb == u"sent")
                ledger.sent();
            else if (verb == u"ok")
                ledger.confirmed();
            else if (verb == u"lost")
                ledger.linkLost();
            else if (verb == u"restarted")
                ledger.scopeRestarted();
            else if (verb == u"refused")
                ledger.refused(QStringLiteral("-250"));
        }
        QTEST(heard, "heard");
    }
};

QTEST_GUILESS_MAIN(tst_SaveLedger)
#include "tst_SaveLedger.moc"
