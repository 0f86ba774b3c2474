#include "DnsMessage.h"
#include "LanDiscovery.h"
#include "PortmapperCall.h"

#include <QtEndian>
#include <QtTest>

namespace {

QByteArray words(std::initializer_list<quint32> values) {
    QByteArray out;
    for (const quint32 value : values) {
        char word[4];
        qToBigEndian(value, word);
        out.append(word, 4);
    }
    return out;
}

constexpr quint32 Xid = 0x12345678;
constexpr quint32 Source = 0x0ae70702; // 10.231.7.2
constexpr quint16 Id = 0x4242;

QByteArray header(quint16 id, quint16 flags, quint16 questions, quint16 answers,
                  quint16 additional) {
    QByteArray out;
    for (const quint16 value : {id, flags, questions, answers, quint16(0), additional}) {
        char half[2];
        qToBigEndian(value, half);
        out.append(half, 2);
    }
    return out;
}

// One PTR question for a name written out at offset 12, then, at offset
// 0x21, a record that names it through `pointer`.
QByteArray withPointer(QByteArray pointer) {
    QByteArray packet = header(Id, 0x8400, 1, 1, 0);
    packet += QByteArray("\x04_lxi\x04_tcp\x05local", 16) + QByteArray("\0\x00\x0c\x00\x01", 5);
    packet += pointer + QByteArray("\x00\x0c\x00\x01\x00\x00\x00\x0a\x00\x02", 10) +
              QByteArray("\xc0\x0c", 2);
    return packet;
}

} // namespace

class tst_DiscoveryReplies : public QObject {
    Q_OBJECT

private slots:
    void getPortCall() {
        const QByteArray call = PortmapperCall::getPort(Xid);
        // xid, CALL, RPC 2, portmapper 100000 version 2, GETPORT, no credentials,
        // then VXI-11 core, version 1, TCP, port 0.
        QCOMPARE(call, words({Xid, 0, 2, 100000, 2, 3, 0, 0, 0, 0, 0x0607af, 1, 6, 0}));
    }

    void portmapperReply_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("port"); // 0: nothing
        QTest::addRow("port") << words({Xid, 1, 0, 0, 0, 0, 9009}) << 9009;
        QTest::addRow("after a verifier with a body")
            << words({Xid, 1, 0, 1, 5, 0x01020304, 0x05000000, 0, 1024}) << 1024;
        QTest::addRow("not registered") << words({Xid, 1, 0, 0, 0, 0, 0}) << 0;
        QTest::addRow("another call's reply") << words({Xid + 1, 1, 0, 0, 0, 0, 9009}) << 0;
        QTest::addRow("a call, not a reply") << words({Xid, 0, 0, 0, 0, 0, 9009}) << 0;
        QTest::addRow("denied") << words({Xid, 1, 1, 0, 0}) << 0;
        QTest::addRow("program unavailable") << words({Xid, 1, 0, 0, 0, 1, 9009}) << 0;
        QTest::addRow("port beyond 16 bits") << words({Xid, 1, 0, 0, 0, 0, 70000}) << 0;
        QTest::addRow("verifier longer than allowed")
            << words({Xid, 1, 0, 1, 401}) + QByteArray(404, '\0') + words({0, 9009}) << 0;
        QTest::addRow("truncated") << words({Xid, 1, 0, 0, 0, 0}) << 0;
    }

    void portmapperReply() {
        QFETCH(QByteArray, reply);
        QFETCH(int, port);
        QCOMPARE(PortmapperCall::replyPort(reply, Xid).value_or(0), port);
        QCOMPARE(LanDiscovery::fromPortmapper(reply, Xid, Source),
                 port ? QStringList{"TCPIP0::10.231.7.2::inst0::INSTR"} : QStringList());
    }

    // A query read back, and an answer as the simulated scope gives it:
    // what a search makes of it is one descriptor per link.
    void queryAndAnswer() {
        const auto query = DnsMessage::parse(DnsMessage::query(Id, {"_vxi-11._tcp.local"}));
        QVERIFY(query);
        QVERIFY(!query->response);
        QCOMPARE(query->questions.size(), 1);
        QCOMPARE(query->questions[0].name, QByteArray("_vxi-11._tcp.local"));

        using DnsMessage::Record;
        const QList<Record> records{
            {"_vxi-11._tcp.local", DnsMessage::PTR, 10, "scope._vxi-11._tcp.local", 0, 0},
            {"_scpi-raw._tcp.local", DnsMessage::PTR, 10, "scope._scpi-raw._tcp.local", 0, 0},
            {"scope._vxi-11._tcp.local", DnsMessage::SRV, 10, "scope.local", 9009, 0},
            {"scope._scpi-raw._tcp.local", DnsMessage::SRV, 10, "Scope.Local", 5025, 0},
            {"scope.local", DnsMessage::A, 10, {}, 0, 0x0ae70703},
        };
        const QByteArray answer = DnsMessage::response(Id, query->questions, records, 2);
        const auto read = DnsMessage::parse(answer);
        QVERIFY(read);
        QVERIFY(read->response);
        QCOMPARE(read->records.size(), 5);
        QCOMPARE(read->records[3].port, quint16(5025));
        QCOMPARE(read->records[3].target, QByteArray("scope.local"));
        QCOMPARE(read->records[4].address, quint32(0x0ae70703));

        QCOMPARE(
            LanDiscovery::fromMdns(answer, Id, Source),
            (QStringList{"TCPIP0::10.231.7.3::inst0::INSTR", "TCPIP0::10.231.7.3::5025::SOCKET"}));
        QVERIFY(LanDiscovery::fromMdns(answer, Id + 1, Source).isEmpty());
        QVERIFY(LanDiscovery::fromMdns(DnsMessage::query(Id, {"_lxi._tcp.local"}), Id, Source)
                    .isEmpty());
    }

    // An A record that names loopback, no host or a group is not believed:
    // the host is the one that answered.
    void answerWithUnusableAddress_data() {
        QTest::addColumn<quint32>("address");
        QTest::addRow("loopback") << quint32(0x7f000001);
        QTest::addRow("no host") << quint32(0);
        QTest::addRow("the mDNS group") << quint32(0xe00000fb);
        QTest::addRow("broadcast") << quint32(0xffffffff);
    }

    void answerWithUnusableAddress() {
        QFETCH(quint32, address);
        using DnsMessage::Record;
        const QByteArray answer = DnsMessage::response(
            Id, {},
            {{"s._scpi-raw._tcp.local", DnsMessage::SRV, 10, "s.local", 4000, 0},
             {"s.local", DnsMessage::A, 10, {}, 0, address}},
            1);
        QCOMPARE(LanDiscovery::fromMdns(answer, Id, Source),
                 QStringList{"TCPIP0::10.231.7.2::4000::SOCKET"});
    }

    // Without an A record the host is the one that answered; a raw port
    // needs its SRV record.
    void answerWithoutAddress() {
        using DnsMessage::Record;
        const QByteArray answer = DnsMessage::response(
            Id, {},
            {{"_lxi._tcp.local", DnsMessage::PTR, 10, "scope._lxi._tcp.local", 0, 0},
             {"_scpi-raw._tcp.local", DnsMessage::PTR, 10, "scope._scpi-raw._tcp.local", 0, 0}},
            2);
        QCOMPARE(LanDiscovery::fromMdns(answer, Id, Source),
                 QStringList{"TCPIP0::10.231.7.2::inst0::INSTR"});
    }

    void malformed_data() {
        QTest::addColumn<QByteArray>("packet");
        QTest::addColumn<bool>("readable");
        QTest::addRow("pointer back") << withPointer(QByteArray("\xc0\x0c", 2)) << true;
        QTest::addRow("pointer to itself") << withPointer(QByteArray("\xc0\x21", 2)) << false;
        QTest::addRow("pointer forwards") << withPointer(QByteArray("\xc0\x30", 2)) << false;
        QTest::addRow("pointer cut off") << header(Id, 0x8400, 1, 0, 0) + "\xc0" << false;
        QTest::addRow("label past the end") << header(Id, 0x8400, 1, 0, 0) + QByteArray("\x3f"
                                                                                        "abc",
                                                                                        4)
                                            << false;
        QTest::addRow("reserved label kind")
            << header(Id, 0x8400, 1, 0, 0) + QByteArray("\x80\x00\x00\x0c\x00\x01", 6) << false;
        QByteArray longName;
        for (int i = 0; i < 5; ++i)
            longName += char(63) + QByteArray(63, 'a');
        QTest::addRow("name over 255 bytes")
            << header(Id, 0x8400, 1, 0, 0) + longName + QByteArray("\0\x00\x0c\x00\x01", 5)
            << false;
        QTest::addRow("more records than read")
            << header(Id, 0x8400, 0, 65535, 0) + QByteArray(100, '\0') << false;
        QTest::addRow("record data past the end")
            << header(Id, 0x8400, 0, 1, 0) +
                   QByteArray("\0\x00\x01\x00\x01\0\0\0\x0a\x00\x04\x0a", 12)
            << false;
        QTest::addRow("short header") << QByteArray("\x42\x42\x84", 3) << false;
    }

    void malformed() {
        QFETCH(QByteArray, packet);
        QFETCH(bool, readable);
        QCOMPARE(DnsMessage::parse(packet).has_value(), readable);
    }
};

QTEST_GUILESS_MAIN(tst_DiscoveryReplies)
#include "tst_discoveryreplies.moc"
