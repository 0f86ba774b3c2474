#include "StoragePaths.h"

#include <QTest>

class TestStoragePaths : public QObject {
    Q_OBJECT

private slots:
    void hostPath_data() {
        QTest::addColumn<QString>("currentFolder");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected"); // below the storage root; empty: refused
        const auto row = [](const char *name, const QString &folder, const QString &file,
                            const char *expected) {
            QTest::addRow("%s", name) << folder << file << QString(expected);
        };
        const QString e = QStringLiteral("E:\\");
        row("other drive, lower case", e, R"(d:\x.png)", "D/x.png");
        row("root of the current drive", R"(D:\runs)", R"(\a.png)", "D/a.png");
        row("dot folder", e, R"(E:\.\a)", "E/a");
        row("parent folder", e, R"(E:\data\..\..\a)", "");
        row("absolute host path", e, "/etc/passwd", "");
        row("colon inside", e, R"(E:\a:b)", "");
        row("quote", e, "E:\\a\"b", "");
        row("control character", e, "E:\\a\tb", "");
        row("trailing dot", e, R"(E:\a.)", "");
        row("trailing blank", e, R"(E:\a )", "");
        row("folder, not a file", e, "E:\\data\\", "");
        row("empty name", e, "", "");
        row("over-long name", e, QString(256, u'a'), "");
    }
    void hostPath() {
        QFETCH(QString, currentFolder);
        QFETCH(QString, name);
        QFETCH(QString, expected);
        StoragePaths paths(QStringLiteral("/srv/storage"));
        QVERIFY(paths.setCurrentFolder(currentFolder));
        QCOMPARE(paths.hostPath(name),
                 expected.isEmpty() ? std::optional<QString>() : "/srv/storage/" + expected);
    }
};

QTEST_APPLESS_MAIN(TestStoragePaths)
#include "tst_storagepaths.moc"
