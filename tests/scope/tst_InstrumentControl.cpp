#include "InstrumentControl.h"
#include "InstrumentError.h"
#include "InstrumentListFile.h"
#include "ScriptedPeer.h"

#include <QTemporaryDir>
#include <QTest>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using Step = ScriptedPeer::Step;
using Steps = QList<Step>;
Q_DECLARE_METATYPE(Steps)

namespace {

// Answers "Q1" with the steps under test and "Q2" with "second", so each
// case also shows that the exchange after it pairs with its own reply.
ScriptedPeer::Script firstThenSecond(const Steps &first) {
    return [first](const QByteArray &line) {
        if (line == "Q1")
            return first;
        if (line == "Q2")
            return Steps{{"second\n"}};
        return Steps{};
    };
}

class FixedSource : public ResourceSource {
public:
    explicit FixedSource(std::optional<QStringList> listed)
        : m_listed(std::move(listed)) {}
    std::optional<QStringList> descriptors() override { return m_listed; }

private:
    std::optional<QStringList> m_listed;
};

} // namespace

class tst_InstrumentControl : public QObject {
    Q_OBJECT

private slots:
    void replies_data();
    void replies();
    void failures_data();
    void failures();
    void commandGoesOutWithOneLineFeed();
    void reconnectsAfterTheInstrumentHungUp();
    void deviceClearDropsALateReply();
    void deviceClearNeverFailsForAGoneInstrument();
    void refusedConnection();
    void badDescriptor_data();
    void badDescriptor();
    void badSetting_data();
    void badSetting();

    void listFile_data();
    void listFile();
    void listFileOnDisk();
    void resourceListMerge_data();
    void resourceListMerge();
};

void tst_InstrumentControl::replies_data() {
    QTest::addColumn<Steps>("steps");
    QTest::addColumn<qint16>("terminator");
    QTest::addColumn<QByteArray>("reply");

    QTest::addRow("line") << Steps{{"KXA5,1\n"}} << qint16(0) << QByteArray("KXA5,1");
    QTest::addRow("carriage return stripped") << Steps{{"0\r\n"}} << qint16(0) << QByteArray("0");
    QTest::addRow("empty line") << Steps{{"\n"}} << qint16(0) << QByteArray();
    QTest::addRow("arrives in pieces")
        << Steps{{"KX"}, {"A5", 30}, {",1\n", 30}} << qint16(0) << QByteArray("KXA5,1");
    QTest::addRow("block with terminator")
        << Steps{{"#15hello\n"}} << qint16(0) << QByteArray("#15hello");
    QTest::addRow("block holding line feeds")
        << Steps{{"#16ab\ncde\n"}} << qint16(0) << QByteArray("#16ab\ncde");
    QTest::addRow("block, terminator late")
        << Steps{{"#13abc"}, {"\n", 50}} << qint16(0) << QByteArray("#13abc");
    QTest::addRow("empty block") << Steps{{"#10"}} << qint16(0) << QByteArray("#10");
    QTest::addRow("block without terminator")
        << Steps{{"#13abc"}} << qint16(0) << QByteArray("#13abc");
    QTest::addRow("block header in pieces")
        << Steps{{"#"}, {"2", 20}, {"1", 20}, {"0abcdefghij\n", 20}} << qint16(0)
        << QByteArray("#210abcdefghij");
    QTest::addRow("indefinite block") << Steps{{"#0x\ry\n"}} << qint16(0) << QByteArray("#0x\ry");
    QTest::addRow("every byte value survives") << Steps{{QByteArray("\xff\x80\x00z\x7f\n", 6)}}
                                               << qint16(0) << QByteArray("\xff\x80\x00z\x7f", 5);
    QTest::addRow("hash, no block") << Steps{{"#x\n"}} << qint16(0) << QByteArray("#x");
    QTest::addRow("hash digit, no length") << Steps{{"#5\n"}} << qint16(0) << QByteArray("#5");
    QTest::addRow("two lines: only the first")
        << Steps{{"one\ntwo\n"}} << qint16(0) << QByteArray("one");
    QTest::addRow("carriage return as terminator")
        << Steps{{"a\nb\r"}} << qint16('\r') << QByteArray("a\nb");
}

void tst_InstrumentControl::replies() {
    QFETCH(Steps, steps);
    QFETCH(qint16, terminator);
    QFETCH(QByteArray, reply);

    ScriptedPeer peer(firstThenSecond(steps));
    InstrumentControl control({});
    control.setSetting(Instrument::TimeoutSetting, 2000);
    control.setSetting(Instrument::TerminatorSetting, terminator);
    control.setDescriptor(peer.descriptor());

    QCOMPARE(control.query(QStringLiteral("Q1")).toLatin1(), reply);
    QCOMPARE(control.status(), 0);
    if (terminator == 0)
        QCOMPARE(control.query(QStringLiteral("Q2")), QStringLiteral("second"));
    QCOMPARE(peer.connections(), 1);
}

void tst_InstrumentControl::failures_data() {
    QTest::addColumn<Steps>("steps");
    QTest::addColumn<QString>("reason");

    QTest::addRow("no reply") << Steps{} << "timed out";
    QTest::addRow("reply after the timeout") << Steps{{"late\n", 400}} << "timed out";
    QTest::addRow("unterminated") << Steps{{"KXA5"}} << "timed out";
    QTest::addRow("hung up mid-reply") << Steps{{"KXA"}, {{}, 10, true}} << "closed the connection";
    QTest::addRow("hung up mid-block")
        << Steps{{"#210abc"}, {{}, 10, true}} << "closed the connection";
    QTest::addRow("block larger than the cap") << Steps{{"#9100000000"}} << "larger than 64 MiB";
    QTest::addRow("text larger than the cap")
        << Steps{{QByteArray(65 * 1024 * 1024, 'x')}} << "larger than 64 MiB";
}

// A failed query closes the link, so the next query gets its own reply and
// never the one the failed query was waiting for.
void tst_InstrumentControl::failures() {
    QFETCH(Steps, steps);
    QFETCH(QString, reason);

    ScriptedPeer peer(firstThenSecond(steps));
    InstrumentControl control({});
    control.setErrorReporting(false);
    control.setSetting(Instrument::TimeoutSetting, 150);
    control.setDescriptor(peer.descriptor());

    control.query(QStringLiteral("Q1"));
    QVERIFY(control.status() < 0);
    QVERIFY2(control.lastError().contains(reason), qPrintable(control.lastError()));

    control.setSetting(Instrument::TimeoutSetting, 5000);
    QCOMPARE(control.query(QStringLiteral("Q2")), QStringLiteral("second"));
    QCOMPARE(control.status(), 0);
    QCOMPARE(peer.connections(), 2);
}

void tst_InstrumentControl::commandGoesOutWithOneLineFeed() {
    ScriptedPeer peer([](const QByteArray &) { return Steps{}; });
    InstrumentControl control({});
    control.setDescriptor(peer.descriptor());
    control.write(QStringLiteral("SAV:WAVE ALL, \"E:\\caf\u00e9\u20ac\""));
    control.write(QStringLiteral("*CLS"));
    QTRY_COMPARE(peer.received(), (QByteArrayList{"SAV:WAVE ALL, \"E:\\caf\xe9?\"", "*CLS"}));
}

void tst_InstrumentControl::reconnectsAfterTheInstrumentHungUp() {
    ScriptedPeer peer([](const QByteArray &line) {
        if (line == "BYE")
            return Steps{{{}, 0, true}};
        return line.endsWith('?') ? Steps{{line + "!\n"}} : Steps{};
    });
    InstrumentControl control({});
    control.setDescriptor(peer.descriptor());
    QCOMPARE(control.query(QStringLiteral("A?")), QStringLiteral("A?!"));
    control.write(QStringLiteral("BYE"));
    QTRY_COMPARE(peer.hangUps(), 1);

    // The hang-up is seen before the next command goes out, so the command
    // is not lost on a dead connection.
    control.write(QStringLiteral("B"));
    QTRY_COMPARE(peer.connections(), 2);
    QCOMPARE(control.status(), 0);
    QCOMPARE(control.query(QStringLiteral("C?")), QStringLiteral("C?!"));
    QCOMPARE(peer.received(), (QByteArrayList{"A?", "BYE", "B", "C?"}));
}

void tst_InstrumentControl::deviceClearDropsALateReply() {
    ScriptedPeer peer([](const QByteArray &line) { return Steps{{line + "\n"}}; });
    InstrumentControl control({});
    control.setDescriptor(peer.descriptor());
    control.write(QStringLiteral("STALE"));
    QTRY_COMPARE(peer.received().size(), 1);
    control.deviceClear();
    QCOMPARE(control.query(QStringLiteral("FRESH")), QStringLiteral("FRESH"));
}

void tst_InstrumentControl::deviceClearNeverFailsForAGoneInstrument() {
    auto peer = std::make_unique<ScriptedPeer>([](const QByteArray &) { return Steps{{"x\n"}}; });
    InstrumentControl control({});
    control.setDescriptor(peer->descriptor());
    control.deviceClear();
    QCOMPARE(control.query(QStringLiteral("Q")), QStringLiteral("x"));
    peer.reset();
    control.deviceClear();
    QCOMPARE(control.status(), 0);
}

void tst_InstrumentControl::refusedConnection() {
    // A bound socket that does not listen: connecting to its port is refused.
    const int holder = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    QCOMPARE(::bind(holder, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    QCOMPARE(::getsockname(holder, reinterpret_cast<sockaddr *>(&address), &length), 0);
    const QString descriptor =
        QStringLiteral("TCPIP0::127.0.0.1::%1::SOCKET").arg(ntohs(address.sin_port));

    InstrumentControl control({});
    control.setDescriptor(descriptor);
    control.setErrorReporting(false);
    QCOMPARE(control.query(QStringLiteral("*IDN?")), QString());
    QVERIFY(control.status() < 0);
    QVERIFY2(control.lastError().contains(QStringLiteral("refused")),
             qPrintable(control.lastError()));

    control.setErrorReporting(true);
    try {
        control.write(QStringLiteral("DESE 0"));
        QFAIL("no InstrumentError");
    } catch (const InstrumentError &error) {
        QCOMPARE(error.operation(), QStringLiteral("write"));
        QCOMPARE(error.descriptor(), descriptor);
        QVERIFY(error.reason().contains(QStringLiteral("cannot connect")));
    }
    ::close(holder);
}

void tst_InstrumentControl::badDescriptor_data() {
    QTest::addColumn<QString>("descriptor");
    QTest::addColumn<QString>("reason");

    QTest::addRow("never set") << QString() << "malformed resource descriptor";
    QTest::addRow("junk") << "scope please"
                          << "malformed resource descriptor \"scope please\"";
    QTest::addRow("port out of range") << "TCPIP0::127.0.0.1::99999::SOCKET"
                                       << "out of range";
    QTest::addRow("VXI-11") << "TCPIP0::127.0.0.1::INSTR"
                            << "unsupported resource type";
    QTest::addRow("USB") << "USB0::0x1::0x2::S::INSTR"
                         << "unsupported resource type";
}

void tst_InstrumentControl::badDescriptor() {
    QFETCH(QString, descriptor);
    QFETCH(QString, reason);

    InstrumentControl control({});
    if (!descriptor.isNull()) {
        try {
            control.setDescriptor(descriptor);
            QFAIL("setDescriptor accepted it");
        } catch (const InstrumentError &error) {
            QVERIFY2(error.reason().contains(reason), qPrintable(error.reason()));
        }
        QCOMPARE(control.descriptor(), descriptor);
    }
    control.setErrorReporting(false);
    control.write(QStringLiteral("*CLS"));
    QVERIFY(control.status() < 0);
    QVERIFY2(control.lastError().contains(reason), qPrintable(control.lastError()));
    QCOMPARE(control.query(QStringLiteral("*IDN?")), QString());
    QVERIFY(control.status() < 0);
}

void tst_InstrumentControl::badSetting_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<qint16>("value");

    QTest::addRow("zero timeout") << int(Instrument::TimeoutSetting) << qint16(0);
    QTest::addRow("negative timeout") << int(Instrument::TimeoutSetting) << qint16(-5);
    QTest::addRow("terminator beyond a byte") << int(Instrument::TerminatorSetting) << qint16(256);
    QTest::addRow("unknown setting") << 7 << qint16(1);
}

void tst_InstrumentControl::badSetting() {
    QFETCH(int, id);
    QFETCH(qint16, value);

    InstrumentControl control({});
    QVERIFY_THROWS_EXCEPTION(InstrumentError, control.setSetting(id, value));
    control.setErrorReporting(false);
    control.setSetting(id, value);
    QVERIFY(control.status() < 0);
}

void tst_InstrumentControl::listFile_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("listed");

    QTest::addRow("empty") << "" << QStringList();
    QTest::addRow("one, no final line feed")
        << "TCPIP0::10.0.0.2::4000::SOCKET" << QStringList{"TCPIP0::10.0.0.2::4000::SOCKET"};
    QTest::addRow("comments, blanks, whitespace")
        << "# lab scopes\n\n   TCPIP0::a::1::SOCKET   # bench 3\n\t#TCPIP0::b::2::SOCKET\n"
           "TCPIP0::[::1]::4000::SOCKET#no blank\n"
        << QStringList{"TCPIP0::a::1::SOCKET", "TCPIP0::[::1]::4000::SOCKET"};
    QTest::addRow("junk skipped, order kept")
        << "TCPIP0::a::1::SOCKET\nhello world\nTCPIP0::a::0::SOCKET\nUSB0::1::2::S::INSTR\r\n"
        << QStringList{"TCPIP0::a::1::SOCKET", "USB0::1::2::S::INSTR"};
}

void tst_InstrumentControl::listFile() {
    QFETCH(QString, text);
    QTEST(InstrumentListFile::parse(text), "listed");
}

void tst_InstrumentControl::listFileOnDisk() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("instruments.txt"));
    QCOMPARE(InstrumentListFile(path).descriptors(), QStringList());
    // A folder where the file should be exists but cannot be read as one.
    QCOMPARE(InstrumentListFile(dir.path()).descriptors(), std::nullopt);

    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("TCPIP0::127.0.0.1::4000::SOCKET\n# spare\n");
    file.close();
    QCOMPARE(InstrumentListFile(path).descriptors(),
             QStringList{"TCPIP0::127.0.0.1::4000::SOCKET"});
}

void tst_InstrumentControl::resourceListMerge_data() {
    using Listed = std::optional<QStringList>;
    QTest::addColumn<QList<Listed>>("sources");
    QTest::addColumn<Listed>("merged");

    QTest::addRow("no sources") << QList<Listed>{} << Listed();
    QTest::addRow("every source failed") << QList<Listed>{Listed(), Listed()} << Listed();
    QTest::addRow("empty list is still a list")
        << QList<Listed>{QStringList()} << Listed(QStringList());
    QTest::addRow("failed source passed over")
        << QList<Listed>{Listed(), QStringList{"TCPIP0::a::1::SOCKET"}}
        << Listed(QStringList{"TCPIP0::a::1::SOCKET"});
    QTest::addRow("duplicates keep their first place")
        << QList<Listed>{QStringList{"TCPIP0::a::1::SOCKET", "TCPIP0::b::1::SOCKET",
                                     " tcpip0::A::1::socket "},
                         QStringList{"TCPIP0::c::1::SOCKET", "TCPIP0::B::1::SOCKET"}}
        << Listed(
               QStringList{"TCPIP0::a::1::SOCKET", "TCPIP0::b::1::SOCKET", "TCPIP0::c::1::SOCKET"});
}

void tst_InstrumentControl::resourceListMerge() {
    using Listed = std::optional<QStringList>;
    QFETCH(QList<Listed>, sources);
    QFETCH(Listed, merged);

    QList<std::shared_ptr<ResourceSource>> list;
    for (const Listed &listed : sources)
        list << std::make_shared<FixedSource>(listed);
    QCOMPARE(InstrumentControl(list).resourceList(), merged);
}

QTEST_GUILESS_MAIN(tst_InstrumentControl)
#include "tst_InstrumentControl.moc"
