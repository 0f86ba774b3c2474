#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <random>

#include <signal.h>

// Preferences saved on Close must survive the program being killed in the
// middle of the save: the file holds the old set or the new one, never a mix
// or a broken file. A helper saves two sets in turn and is killed at random
// points of its loop, again and again on the same file.
class tst_killedsave : public QObject {
    Q_OBJECT

private slots:
    void killedWhileSaving();
    void emptyLockLeftByAKill();
};

void tst_killedsave::killedWhileSaving() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("mardock.ini"));
    const QString longPrefix(30'000, u'p');
    std::mt19937 random(1);

    for (int round = 0; round < 25; ++round) {
        QProcess saver;
        saver.start(QStringLiteral(PREFS_SAVE_LOOP_PATH), {path});
        QVERIFY2(saver.waitForStarted(), qPrintable(saver.errorString()));
        // Let it finish a random number of saves, then kill it at once: the
        // next save is well under way by then.
        const int saves = int(random() % 4) + 1;
        int finished = 0;
        while (finished < saves) {
            QVERIFY2(saver.waitForReadyRead(30000), "the helper stopped saving");
            finished += saver.readAll().count("saved");
        }
        ::kill(pid_t(saver.processId()), SIGKILL);
        QVERIFY(saver.waitForFinished(30000));

        QSettings settings(path, QSettings::IniFormat);
        QCOMPARE(settings.status(), QSettings::NoError);
        settings.beginGroup(QStringLiteral("Prefs"));
        QCOMPARE(settings.allKeys().size(), 20);
        const QStringList state = {settings.value("txtAcqLimit").toString(),
                                   settings.value("hsDelay").toString(),
                                   settings.value("txtWFMprefix").toString()};
        const QStringList first = {"10", "0", "my_ISFs_"};
        const QStringList second = {"77", "5", longPrefix};
        QVERIFY2(state == first || state == second,
                 qPrintable(QStringLiteral("round %1: %2 %3, prefix of %4 characters")
                                .arg(round)
                                .arg(state[0], state[1])
                                .arg(state[2].size())));
    }
}

// A kill between QSettings creating its lock file and writing its owner into
// it leaves an empty lock; the next save must not wait it out for 30 s.
void tst_killedsave::emptyLockLeftByAKill() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("mardock.ini"));
    QFile lock(path + QStringLiteral(".lock"));
    QVERIFY(lock.open(QIODevice::WriteOnly));
    lock.close();

    QProcess saver;
    saver.start(QStringLiteral(PREFS_SAVE_LOOP_PATH), {path});
    QVERIFY2(saver.waitForStarted(), qPrintable(saver.errorString()));
    QVERIFY2(saver.waitForReadyRead(15000), "the save waited out the abandoned lock");
    saver.kill();
    QVERIFY(saver.waitForFinished(30000));
}

QTEST_GUILESS_MAIN(tst_killedsave)
#include "tst_killedsave.moc"
