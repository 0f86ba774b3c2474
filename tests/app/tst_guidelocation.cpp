#include "AppPaths.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// The Help viewer finds the guide both in a build tree, where it is copied
// beside the program, and in an installed tree, where it sits under share/doc;
// missing everywhere, the viewer names the installed place in its message.
class tst_guidelocation : public QObject {
    Q_OBJECT

private slots:
    void guideFile();
};

void tst_guidelocation::guideFile() {
    QTemporaryDir prefix;
    const AppPaths paths(prefix.filePath(QStringLiteral("config")), prefix.path(),
                         QStringLiteral("mardock"), prefix.filePath(QStringLiteral("bin")),
                         prefix.filePath(QStringLiteral("state")));
    const QString installed = prefix.filePath(QStringLiteral("share/mardock/guide.md"));
    const QString beside = prefix.filePath(QStringLiteral("bin/guide.md"));
    QVERIFY(QDir().mkpath(QFileInfo(installed).path()) && QDir().mkpath(prefix.filePath("bin")));
    QVERIFY(QFile(installed).open(QIODevice::WriteOnly));
    QCOMPARE(paths.guideFile(), installed);

    // With both, the one beside the program wins.
    QVERIFY(QFile(beside).open(QIODevice::WriteOnly));
    QCOMPARE(paths.guideFile(), beside);
}

QTEST_GUILESS_MAIN(tst_guidelocation)
#include "tst_guidelocation.moc"
