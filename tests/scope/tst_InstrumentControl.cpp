#include "InstrumentControl.h"
#include "InstrumentError.h"
#include "InstrumentListFile.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using Listed = std::optional<QStringList>;

namespace {

// A source that cannot be read, and that others may stand in for.
class UnreadableSource : public ResourceSource {
public:
    std::optional<QStringList> descriptors() override { return std::nullopt; }
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
        control.write("*CLS");
        QVERIFY(control.status() < 0);
        QCOMPARE(control.query("*IDN?"), QString());
        QVERIFY(control.status() < 0);
        QVERIFY2(control.lastError().contains(reason), qPrintable(control.lastError()));
        control.setErrorReporting(true);
        try {
            control.queryAndDrop("FILES:DIR?");
            QFAIL("a dropped reply hid the failure");
        } catch (const InstrumentError &error) {
            QCOMPARE(error.operation(), "query");
        }
    }

    // Each source is an instrument list file holding its text; a null text
    // stands for a source that cannot be read.
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
            if (text.isNull()) {
                sources << std::make_shared<UnreadableSource>();
                continue;
            }
            const QString path = dir.filePath(QString::number(sources.size()));
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) >= 0);
            sources << std::make_shared<InstrumentListFile>(path);
        }
        QTEST(InstrumentControl(sources).resourceList(), "merged");
    }

    // Only a regular file of sane size is read: a FIFO would block start-up
    // for good. No file at all is an empty list.
    void listFileKinds_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("problem");
        QTest::addRow("missing") << "missing" << QString();
        QTest::addRow("at the size cap") << "at cap" << QString();
        QTest::addRow("over the size cap") << "over cap"
                                           << "is larger than 1024 KB";
        QTest::addRow("folder") << "folder"
                                << "is not a regular file";
        QTest::addRow("FIFO") << "fifo"
                              << "is not a regular file";
    }
    void listFileKinds() {
        QFETCH(QString, kind);
        QFETCH(QString, problem);
        QTemporaryDir dir;
        const QString path = dir.filePath("instruments.txt");
        QFile file(path);
        if (kind.endsWith("cap")) {
            const QByteArray line = "TCPIP0::a::1::SOCKET\n";
            const qint64 size = InstrumentListFile::MaxBytes + (kind == "over cap" ? 1 : 0);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(line) && file.resize(size));
        }
        if (kind == "folder")
            QVERIFY(QDir().mkdir(path));
        if (kind == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);

        try {
            const Listed listed = InstrumentListFile(path).descriptors();
            QVERIFY2(problem.isEmpty(), "an unusable list was read");
            QCOMPARE(listed->size(), kind == "missing" ? 0 : 1);
        } catch (const std::runtime_error &error) {
            QCOMPARE(QString::fromUtf8(error.what()),
                     QStringLiteral("The instrument list %1 %2.").arg(path, problem));
        }
    }
};

QTEST_GUILESS_MAIN(tst_InstrumentControl)
#include "tst_InstrumentControl.moc"
