#include "InstrumentControl.h"
#include "InstrumentError.h"
#include "InstrumentListFile.h"

#include <QTemporaryDir>
#include <QTest>

using Listed = std::optional<QStringList>;

namespace {

class FixedSource : public ResourceSource {
public:
    explicit FixedSource(Listed listed)
        : m_listed(std::move(listed)) {}
    Listed descriptors() override { return m_listed; }

private:
    Listed m_listed;
};

} // namespace

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
        control.write(QStringLiteral("*CLS"));
        QVERIFY(control.status() < 0);
        QCOMPARE(control.query(QStringLiteral("*IDN?")), QString());
        QVERIFY(control.status() < 0);
        QVERIFY2(control.lastError().contains(reason), qPrintable(control.lastError()));
    }

    void listFile_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("listed");

        QTest::addRow("empty") << "" << QStringList();
        QTest::addRow("no final line feed")
            << "TCPIP0::10.0.0.2::4000::SOCKET" << QStringList{"TCPIP0::10.0.0.2::4000::SOCKET"};
        QTest::addRow("comments, blanks, whitespace")
            << "# lab scopes\n\n   TCPIP0::a::1::SOCKET   # bench 3\n\t#TCPIP0::b::2::SOCKET\n"
               "TCPIP0::[::1]::4000::SOCKET#no blank\n"
            << QStringList{"TCPIP0::a::1::SOCKET", "TCPIP0::[::1]::4000::SOCKET"};
        QTest::addRow("junk skipped, order kept")
            << "TCPIP0::a::1::SOCKET\nhello world\nTCPIP0::a::0::SOCKET\nUSB0::1::2::S::INSTR\r\n"
            << QStringList{"TCPIP0::a::1::SOCKET", "USB0::1::2::S::INSTR"};
    }
    void listFile() {
        QFETCH(QString, text);
        QTEST(InstrumentListFile::parse(text), "listed");
    }

    void listFileOnDisk() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("instruments.txt"));
        QCOMPARE(InstrumentListFile(path).descriptors(), QStringList());
        // A folder where the file should be exists but cannot be read as one.
        QCOMPARE(InstrumentListFile(dir.path()).descriptors(), std::nullopt);

        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("TCPIP0::127.0.0.1::4000::SOCKET # bench\n");
        file.close();
        QCOMPARE(InstrumentListFile(path).descriptors(),
                 QStringList{"TCPIP0::127.0.0.1::4000::SOCKET"});
    }

    void resourceList_data() {
        QTest::addColumn<QList<Listed>>("sources");
        QTest::addColumn<Listed>("merged");

        QTest::addRow("no sources") << QList<Listed>{} << Listed();
        QTest::addRow("every source failed") << QList<Listed>{Listed(), Listed()} << Listed();
        QTest::addRow("an empty list is a list")
            << QList<Listed>{QStringList()} << Listed(QStringList());
        QTest::addRow("failed source passed over")
            << QList<Listed>{Listed(), QStringList{"TCPIP0::a::1::SOCKET"}}
            << Listed(QStringList{"TCPIP0::a::1::SOCKET"});
        QTest::addRow("duplicates keep their first place")
            << QList<Listed>{QStringList{"TCPIP0::a::1::SOCKET", "TCPIP0::b::1::SOCKET",
                                         " tcpip0::A::1::socket "},
                             QStringList{"TCPIP0::c::1::SOCKET", "TCPIP0::B::1::SOCKET"}}
            << Listed(QStringList{"TCPIP0::a::1::SOCKET", "TCPIP0::b::1::SOCKET",
                                  "TCPIP0::c::1::SOCKET"});
    }
    void resourceList() {
        QFETCH(QList<Listed>, sources);
        QList<std::shared_ptr<ResourceSource>> list;
        for (const Listed &listed : sources)
            list << std::make_shared<FixedSource>(listed);
        QTEST(InstrumentControl(list).resourceList(), "merged");
    }
};

QTEST_GUILESS_MAIN(tst_InstrumentControl)
#include "tst_InstrumentControl.moc"
