#include "AppPaths.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// The Help viewer finds the guide both in a build tree, where it is copied
// beside the program, and in an installed tree, where it sits under share/doc.
class tst_guidelocation : public QObject {
    Q_OBJECT

private slots:
    void guideFile_data();
    void guideFile();
};

void tst_guidelocation::guideFile_data() {
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("expected");

    const QString installed = QStringLiteral("share/doc/mardock/guide.md");
    QTest::addRow("build tree") << QStringList{"bin/guide.md"} << "bin/guide.md";
    QTest::addRow("installed") << QStringList{installed} << installed;
    QTest::addRow("both: the one beside wins")
        << QStringList{"bin/guide.md", installed} << "bin/guide.md";
    // Missing everywhere, the viewer names the installed place in its message.
    QTest::addRow("neither") << QStringList{} << installed;
}

void tst_guidelocation::guideFile() {
    QFETCH(QStringList, files);
    QFETCH(QString, expected);

    QTemporaryDir prefix;
    QVERIFY(QDir(prefix.path()).mkpath(QStringLiteral("bin")));
    for (const QString &file : files) {
        QVERIFY(QDir(prefix.path()).mkpath(QFileInfo(file).path()));
        QFile guide(prefix.filePath(file));
        QVERIFY(guide.open(QIODevice::WriteOnly));
    }
    const AppPaths paths(prefix.filePath(QStringLiteral("config")), QStringLiteral("mardock"),
                         prefix.filePath(QStringLiteral("bin")));
    QCOMPARE(paths.guideFile(), prefix.filePath(expected));
}

QTEST_GUILESS_MAIN(tst_guidelocation)
#include "tst_guidelocation.moc"
