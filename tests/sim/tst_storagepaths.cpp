#include "StoragePaths.h"

#include <QTest>

class TestStoragePaths : public QObject {
    Q_OBJECT

private slots:
    void hostPath_data();
    void hostPath();
};

void TestStoragePaths::hostPath_data() {
    QTest::addColumn<QString>("currentFolder");
    QTest::addColumn<QString>("name");
    // Below the storage root, or empty when the name must be refused.
    QTest::addColumn<QString>("expected");

    const QString e = QStringLiteral("E:\\");
    QTest::addRow("drive E") << e << R"(E:\my_ISFs_7)"
                             << "E/my_ISFs_7";
    QTest::addRow("other drive, lower case") << e << R"(d:\x.png)"
                                             << "D/x.png";
    QTest::addRow("sub folders") << e << R"(E:\data\run1\a_1)"
                                 << "E/data/run1/a_1";
    QTest::addRow("no drive: current folder") << e << "a.png"
                                              << "E/a.png";
    QTest::addRow("no drive, other current folder") << R"(D:\runs)"
                                                    << "a.png"
                                                    << "D/runs/a.png";
    QTest::addRow("root of the current drive") << R"(D:\runs)"
                                               << R"(\a.png)"
                                               << "D/a.png";
    QTest::addRow("blank and ; are fine on FAT") << e << R"(E:\my;img 1.PNG)"
                                                 << "E/my;img 1.PNG";
    QTest::addRow("dot folder") << e << R"(E:\.\a)"
                                << "E/a";
    QTest::addRow("parent folder") << e << R"(E:\..\a)"
                                   << "";
    QTest::addRow("parent folder deeper down") << e << R"(E:\data\..\..\a)"
                                               << "";
    QTest::addRow("absolute host path") << e << "/etc/passwd"
                                        << "";
    QTest::addRow("forward slashes") << e << "E:/data/a"
                                     << "";
    QTest::addRow("colon inside") << e << R"(E:\a:b)"
                                  << "";
    QTest::addRow("star") << e << R"(E:\a*b)"
                          << "";
    QTest::addRow("quote") << e << R"(E:\a"b)"
                           << "";
    QTest::addRow("control character") << e << QStringLiteral("E:\\a\tb") << "";
    QTest::addRow("trailing dot") << e << R"(E:\a.)"
                                  << "";
    QTest::addRow("trailing blank") << e << R"(E:\a )"
                                    << "";
    QTest::addRow("folder, not a file") << e << R"(E:\data\)"
                                        << "";
    QTest::addRow("empty name") << e << ""
                                << "";
    QTest::addRow("over-long name") << e << QString(256, u'a') << "";
}

void TestStoragePaths::hostPath() {
    QFETCH(QString, currentFolder);
    QFETCH(QString, name);
    QFETCH(QString, expected);

    StoragePaths paths(QStringLiteral("/srv/storage"));
    QVERIFY(paths.setCurrentFolder(currentFolder));
    const auto host = paths.hostPath(name);
    if (expected.isEmpty()) {
        QCOMPARE(host, std::nullopt);
        return;
    }
    QCOMPARE(host, std::optional<QString>(QStringLiteral("/srv/storage/") + expected));
}

QTEST_APPLESS_MAIN(TestStoragePaths)
#include "tst_storagepaths.moc"
