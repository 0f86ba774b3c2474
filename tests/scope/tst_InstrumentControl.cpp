#include "InstrumentControl.h"
#include "InstrumentError.h"
#include "InstrumentListFile.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using Listed = std::optional<QStringList>;

class tst_InstrumentControl : public QObject {
    Q_OBJECT

private slots:
    void badDescriptor_data() {
        QTest::addColumn<QString>("descriptor");
        QTest::addColumn<QString>("reason");

        QTest::addRow("never set") << QString() << "malformed resource descriptor";
        QTest::addRow("junk") << "scope please"
                              << "malformed resource descriptor \"scope please\"";
        QTest::addRow("port out of range") << "TCPIP0::127.0.0.1::99999::SOCKET"
                                           << "out of range";
    }
    // Refused at once with reporting on, and by every exchange after it with
    // reporting off; the descriptor still reads back as set, for the message.
    void badDescriptor() {
        QFETCH(QString, descriptor);
        QFETCH(QString, reason);

        InstrumentControl control({});
        if (!descriptor.isNull()) {
            try {
                control.setDescriptor(descriptor);
                QFAIL("setDescriptor accepted it");
            } catch (const InstrumentError &error) {
                QCOMPARE(error.descriptor(), descriptor);
                QVERIFY2(error.reason().contains(reason), qPrintable(error.reason()));
            }
            QCOMPARE(control.descriptor(), descriptor);
        }
        control.setErrorReporting(false);
        control.write("*CLS");
        QVERIFY(control.status() < 0);
        QCOMPARE(control.query("*IDN?"), QString());
        QVERIFY(control.status() < 0);
        QVERIFY2(control.lastError().contains(reason), qPrintable(control.lastError()));
    }

    // Each source is an instrument list file holding its text; a null text
    // stands for a folder where the file should be, which cannot be read.
    void resourceList_data() {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<Listed>("merged");

        QTest::addRow("every source failed") << QStringList{QString(), QString()} << Listed();
        QTest::addRow("an empty list is a list") << QStringList{""} << Listed(QStringList());
        QTest::addRow("failed source passed over, no final line feed")
            << QStringList{QString(), "TCPIP0::a::1::SOCKET"}
            << Listed(QStringList{"TCPIP0::a::1::SOCKET"});
        QTest::addRow("comments, blanks, whitespace")
            << QStringList{"# lab scopes\n\n   TCPIP0::a::1::SOCKET   # bench 3\n"
                           "\t#TCPIP0::b::2::SOCKET\nTCPIP0::[::1]::4000::SOCKET#no blank\n"}
            << Listed(QStringList{"TCPIP0::a::1::SOCKET", "TCPIP0::[::1]::4000::SOCKET"});
        QTest::addRow("junk skipped, order kept")
            << QStringList{"TCPIP0::a::1::SOCKET\nhello world\nTCPIP0::a::0::SOCKET\n"
                           "USB0::1::2::S::INSTR\r\n"}
            << Listed(QStringList{"TCPIP0::a::1::SOCKET", "USB0::1::2::S::INSTR"});
        QTest::addRow("duplicates keep their first place")
            << QStringList{"TCPIP0::a::1::SOCKET\nTCPIP0::b::1::SOCKET\ntcpip0::A::1::socket",
                           "TCPIP0::c::1::SOCKET\nTCPIP0::B::1::SOCKET"}
            << Listed(QStringList{"TCPIP0::a::1::SOCKET", "TCPIP0::b::1::SOCKET",
                                  "TCPIP0::c::1::SOCKET"});
    }
    void resourceList() {
        QFETCH(QStringList, files);
        QTemporaryDir dir;
        QList<std::shared_ptr<ResourceSource>> sources;
        for (const QString &text : files) {
            const QString path = dir.filePath(QString::number(sources.size()));
            QFile file(path);
            QVERIFY(text.isNull()
                        ? QDir().mkdir(path)
                        : file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) >= 0);
            sources << std::make_shared<InstrumentListFile>(path);
        }
        QTEST(InstrumentControl(sources).resourceList(), "merged");
        // No file at all is an empty list.
        QCOMPARE(InstrumentListFile(dir.filePath("none")).descriptors(), QStringList());
    }
};

QTEST_GUILESS_MAIN(tst_InstrumentControl)
#include "tst_InstrumentControl.moc"
