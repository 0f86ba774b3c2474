#include "SimProcess.h"
#include "XdrEncoded.h"

#include <vxi11.h>

#include <QTest>
#include <QtEndian>

#include <functional>
#include <future>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// The simulator's VXI-11 server as any client sees it: rpcgen's client
// stubs on plain loopback connections, one per channel.

namespace {

constexpr long TermCharSet = DEVICE_FLAG_TERMCHRSET;
constexpr long RequestCount = DEVICE_REASON_REQCNT;
constexpr long TermChar = DEVICE_REASON_CHR;
constexpr long End = DEVICE_REASON_END;
constexpr u_long LongWaitMs = 60'000;
constexpr int RecordLength = 600'000;

int connectLoopback(quint16 port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
    // Long enough for any answer that is not stuck behind another call.
    const timeval wait{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    return fd;
}

class Channel {
public:
    Channel(quint16 port, rpcprog_t program = DEVICE_CORE, rpcvers_t version = DEVICE_CORE_VERSION)
        : m_fd(connectLoopback(port)) {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        if (::getpeername(m_fd, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            return;
        const netbuf peer{length, length, &address};
        m_client = clnt_vc_create(m_fd, &peer, program, version, 0, 0);
        timeval wait{10, 0};
        if (m_client)
            clnt_control(m_client, CLSET_TIMEOUT, reinterpret_cast<char *>(&wait));
    }
    ~Channel() {
        if (m_client)
            clnt_destroy(m_client);
        ::close(m_fd);
    }
    Channel(const Channel &) = delete;
    Channel &operator=(const Channel &) = delete;

    CLIENT *client() const { return m_client; }

private:
    int m_fd;
    CLIENT *m_client = nullptr;
};

qint32 wordAt(const QByteArray &bytes, qsizetype index) {
    return bytes.size() >= 4 * (index + 1) ? qFromBigEndian<qint32>(bytes.constData() + 4 * index)
                                           : -1;
}

struct Reply {
    quint32 xid = 0;
    // From the accept status on.
    QByteArray body;
    qint32 status() const { return wordAt(body, 0); }
    qint32 result(qsizetype index) const { return wordAt(body, index + 1); }
};

// A core channel driven by hand: calls go out at once and replies are taken
// as they come, so a later call's reply overtaking an earlier call's shows
// that the earlier one waits in the server.
class PipelinedChannel {
public:
    explicit PipelinedChannel(quint16 port)
        : m_fd(connectLoopback(port)) {}
    ~PipelinedChannel() { ::close(m_fd); }
    PipelinedChannel(const PipelinedChannel &) = delete;
    PipelinedChannel &operator=(const PipelinedChannel &) = delete;

    void send(quint32 xid, quint32 procedure, const QByteArray &arguments = {}) {
        QByteArray record;
        // A call of the core program's version 1, with no credentials.
        for (const quint32 word :
             {quint32(0x8000'0000 | (40 + arguments.size())), xid, 0u, 2u, quint32(DEVICE_CORE),
              quint32(DEVICE_CORE_VERSION), procedure, 0u, 0u, 0u, 0u}) {
            const quint32 wire = qToBigEndian(word);
            record.append(reinterpret_cast<const char *>(&wire), sizeof wire);
        }
        record += arguments;
        ::send(m_fd, record.constData(), size_t(record.size()), MSG_NOSIGNAL);
    }
    // The next reply; an xid of no call when none came.
    Reply receive() {
        const QByteArray mark = take(4);
        const QByteArray reply = take(wordAt(mark, 0) & 0x7fff'ffff);
        return {quint32(wordAt(reply, 0)), reply.mid(20)};
    }
    // Call 1: its results are the link and the abort channel's port.
    Reply createLink() {
        QByteArray device("inst0");
        send(1, create_link,
             xdrEncoded(xdr_Create_LinkParms, Create_LinkParms{1, false, 0, device.data()}));
        return receive();
    }

private:
    QByteArray take(qsizetype size) {
        QByteArray bytes(std::max<qsizetype>(size, 0), '\0');
        qsizetype got = 0;
        while (got < bytes.size()) {
            const ssize_t n = ::recv(m_fd, bytes.data() + got, size_t(bytes.size() - got), 0);
            if (n <= 0)
                return {};
            got += n;
        }
        return bytes;
    }

    int m_fd;
};

struct Piece {
    clnt_stat status = RPC_FAILED;
    long error = -1;
    long reason = 0;
    QByteArray data;
};

Piece readPiece(CLIENT *client, long link, u_long requestSize, long flags = 0, char termChar = 0) {
    Device_ReadParms request{link, requestSize, 2000, 0, flags, termChar};
    Device_ReadResp reply{};
    Piece piece;
    piece.status = device_read_1(&request, &reply, client);
    if (piece.status == RPC_SUCCESS) {
        piece.error = reply.error;
        piece.reason = reply.reason;
        piece.data = QByteArray(reply.data.data_val, reply.data.data_len);
        xdr_free(xdrproc_t(xdr_Device_ReadResp), reinterpret_cast<char *>(&reply));
    }
    return piece;
}

long writeMessage(CLIENT *client, long link, QByteArray message, long flags = DEVICE_FLAG_END) {
    Device_WriteParms request{link, 2000, 0, flags, {u_int(message.size()), message.data()}};
    Device_WriteResp reply{};
    return device_write_1(&request, &reply, client) == RPC_SUCCESS ? reply.error : -1;
}

QByteArray query(CLIENT *client, long link, const QByteArray &message) {
    if (writeMessage(client, link, message) != 0)
        return "write failed";
    const Piece piece = readPiece(client, link, 1 << 20);
    return piece.error == 0 ? piece.data : "read failed";
}

long lockDevice(CLIENT *client, long link, long flags, u_long lockTimeoutMs) {
    Device_LockParms request{link, flags, lockTimeoutMs};
    Device_Error reply{};
    return device_lock_1(&request, &reply, client) == RPC_SUCCESS ? reply.error : -1;
}

long readStatusByte(CLIENT *client, long link) {
    Device_GenericParms request{link, 0, 0, 2000};
    Device_ReadStbResp reply{};
    if (device_readstb_1(&request, &reply, client) != RPC_SUCCESS)
        return -1;
    return reply.error != 0 ? -reply.error : reply.stb;
}

using Pieces = QList<QPair<qsizetype, long>>;
using Arguments = std::function<QByteArray(long link)>;

} // namespace

Q_DECLARE_METATYPE(Arguments)

class tst_vxi11server : public QObject {
    Q_OBJECT

private:
    struct Link {
        Channel channel;
        long id = 0;
        explicit Link(quint16 port)
            : channel(port) {
            QByteArray device("inst0");
            Create_LinkParms request{1, false, 0, device.data()};
            Create_LinkResp reply{};
            if (channel.client() &&
                create_link_1(&request, &reply, channel.client()) == RPC_SUCCESS &&
                reply.error == 0)
                id = reply.lid;
        }
        CLIENT *client() const { return channel.client(); }
    };

    std::unique_ptr<SimProcess> m_sim;

private slots:
    void initTestCase() {
        m_sim = std::make_unique<SimProcess>(
            QStringList{"--vxi11-port", "0", "--no-portmapper", "--record-length",
                        QString::number(RecordLength), "--trigger-mean", "86400"});
        QVERIFY(m_sim->started());
    }

    // Each piece says why it ended: the message's end, the termination
    // character asked for, or the client's count; a piece cut at the
    // scope's own limit says none of these, so the client reads on.
    void readReasons_data() {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<quint32>("requestSize");
        QTest::addColumn<long>("flags");
        QTest::addColumn<char>("termChar");
        QTest::addColumn<Pieces>("pieces");

        const char idnLength = 33;
        QTest::addRow("whole reply")
            << QByteArray("*IDN?") << 1000u << 0L << '\0' << Pieces{{idnLength, End}};
        QTest::addRow("client's count reached")
            << QByteArray("*IDN?") << 10u << 0L << '\0'
            << Pieces{{10, RequestCount}, {10, RequestCount}, {10, RequestCount}, {3, End}};
        QTest::addRow("count and end together")
            << QByteArray("*IDN?") << 33u << 0L << '\0' << Pieces{{idnLength, End | RequestCount}};
        QTest::addRow("stops at the termination character")
            << QByteArray("*IDN?") << 1000u << TermCharSet << ','
            << Pieces{{8, TermChar}, {12, TermChar}, {7, TermChar}, {6, End}};
        QTest::addRow("termination character not asked for")
            << QByteArray("*IDN?") << 1000u << 0L << ',' << Pieces{{idnLength, End}};
        QTest::addRow("termination character ends the message")
            << QByteArray("*IDN?") << 1000u << TermCharSet << '\n'
            << Pieces{{idnLength, End | TermChar}};
        const qsizetype curve = 9 + 2 * RecordLength + 1;
        QTest::addRow("over the scope's piece limit")
            << QByteArray("CURV?") << 5'000'000u << 0L << '\0'
            << Pieces{{1 << 20, 0}, {curve - (1 << 20), End}};
    }
    void readReasons() {
        QFETCH(QByteArray, command);
        QFETCH(quint32, requestSize);
        QFETCH(long, flags);
        QFETCH(char, termChar);
        QFETCH(Pieces, pieces);

        const Link link(m_sim->vxi11Port());
        QVERIFY(link.id != 0);
        QCOMPARE(writeMessage(link.client(), link.id, command), 0);
        Pieces got;
        for (qsizetype i = 0; i < pieces.size(); ++i) {
            const Piece piece = readPiece(link.client(), link.id, requestSize, flags, termChar);
            QCOMPARE(piece.error, 0);
            got.append({piece.data.size(), piece.reason});
        }
        QCOMPARE(got, pieces);
    }

    // Garbage is one reply here as on the raw socket: random bytes other
    // than a line feed, then the line feed, in the piece flagged as the end.
    void garbageEndsWithItsLineFeed() {
        SimProcess sim({"--vxi11-port", "0", "--no-portmapper", "--garbage"});
        QVERIFY(sim.started());
        const Link link(sim.vxi11Port());
        QVERIFY(link.id != 0);
        for (int i = 0; i < 20; ++i) {
            QCOMPARE(writeMessage(link.client(), link.id, "*IDN?"), 0);
            const Piece piece = readPiece(link.client(), link.id, 1000);
            QCOMPARE(piece.error, 0);
            QCOMPARE(piece.reason, End);
            QVERIFY(piece.data.size() >= 2);
            QCOMPARE(piece.data.indexOf('\n'), piece.data.size() - 1);
        }
    }

    // Every procedure of the core channel is answered by the channel
    // itself, never rejected by the RPC layer.
    void coreProcedures_data() {
        QTest::addColumn<quint32>("procedure");
        QTest::addColumn<Arguments>("arguments");
        QTest::addColumn<int>("error");

        const Arguments generic = [](long link) {
            return xdrEncoded(xdr_Device_GenericParms, Device_GenericParms{link, 0, 0, 2000});
        };
        const Arguments linkOnly = [](long link) { return xdrEncoded(xdr_Device_Link, link); };
        QTest::addRow("read status byte") << quint32(device_readstb) << generic << 0;
        QTest::addRow("trigger") << quint32(device_trigger) << generic << 0;
        QTest::addRow("remote") << quint32(device_remote) << generic << 0;
        QTest::addRow("local") << quint32(device_local) << generic << 0;
        QTest::addRow("lock") << quint32(device_lock) << Arguments([](long link) {
            return xdrEncoded(xdr_Device_LockParms, Device_LockParms{link, 0, 0});
        }) << 0;
        QTest::addRow("unlock without the lock") << quint32(device_unlock) << linkOnly << 12;
        QTest::addRow("enable service requests")
            << quint32(device_enable_srq) << Arguments([](long link) {
                   return xdrEncoded(xdr_Device_EnableSrqParms,
                                     Device_EnableSrqParms{link, true, {0, nullptr}});
               })
            << 0;
        QTest::addRow("vendor command") << quint32(device_docmd) << Arguments([](long link) {
            return xdrEncoded(xdr_Device_DocmdParms,
                              Device_DocmdParms{link, 0, 2000, 0, 0x20000, true, 0, {0, nullptr}});
        }) << 8;
        QTest::addRow("interrupt channel") << quint32(create_intr_chan) << Arguments([](long) {
            return xdrEncoded(xdr_Device_RemoteFunc,
                              Device_RemoteFunc{INADDR_LOOPBACK, 1, 0x0607B1, 1, DEVICE_TCP});
        }) << 8;
        QTest::addRow("no interrupt channel to close")
            << quint32(destroy_intr_chan) << Arguments([](long) { return QByteArray(); }) << 6;
    }
    void coreProcedures() {
        QFETCH(quint32, procedure);
        QFETCH(Arguments, arguments);
        QFETCH(int, error);

        PipelinedChannel channel(m_sim->vxi11Port());
        const long link = channel.createLink().result(1);
        QVERIFY(link > 0);
        channel.send(2, procedure, arguments(link));
        const Reply reply = channel.receive();
        QCOMPARE(reply.xid, 2u);
        QCOMPARE(reply.status(), 0); // not refused by the RPC layer
        QCOMPARE(reply.result(0), error);
    }

    // What is not the channel's is refused by the RPC layer, what is too
    // long is taken in part, and the connection stays usable throughout.
    void refusalsLeaveTheLinkUsable() {
        const Link link(m_sim->vxi11Port());
        QVERIFY(link.id != 0);
        CLIENT *client = link.client();
        timeval wait{10, 0};
        Device_Link id = link.id;
        Device_Error reply{};
        // Only a link, where other procedures want more.
        const auto call = [&](u_long procedure) {
            return clnt_call(client, procedure, xdrproc_t(xdr_Device_Link),
                             reinterpret_cast<char *>(&id), xdrproc_t(xdr_Device_Error),
                             reinterpret_cast<char *>(&reply), wait);
        };
        QCOMPARE(call(99), RPC_PROCUNAVAIL);
        QCOMPARE(call(device_lock), RPC_CANTDECODEARGS);
        const Channel otherVersion(m_sim->vxi11Port(), DEVICE_CORE, DEVICE_CORE_VERSION + 1);
        QCOMPARE(device_unlock_1(&id, &reply, otherVersion.client()), RPC_PROGVERSMISMATCH);

        QByteArray tooLong(20'000, ' ');
        Device_WriteParms request{link.id, 2000, 0, 0, {u_int(tooLong.size()), tooLong.data()}};
        Device_WriteResp written{};
        QCOMPARE(device_write_1(&request, &written, client), RPC_SUCCESS);
        QCOMPARE(written.size, 16u * 1024);
        Device_GenericParms generic{link.id, 0, 0, 2000};
        QCOMPARE(device_clear_1(&generic, &reply, client), RPC_SUCCESS);
        QCOMPARE(query(client, link.id, "*IDN?").left(7), "MARDOCK");
    }

    void statusByteFollowsTheScope() {
        const Link link(m_sim->vxi11Port());
        QVERIFY(link.id != 0);
        CLIENT *client = link.client();
        const long messageAvailable = 0x10;
        const long errorAvailable = 0x04;
        const long eventSummary = 0x20;
        const long requestService = 0x40;
        QCOMPARE(readStatusByte(client, link.id), 0);
        QCOMPARE(writeMessage(client, link.id, "*IDN?"), 0);
        QCOMPARE(readStatusByte(client, link.id), messageAvailable);
        QCOMPARE(readPiece(client, link.id, 1000).error, 0);
        QCOMPARE(readStatusByte(client, link.id), 0);
        QCOMPARE(writeMessage(client, link.id, "*SRE 4;NOSUCH:THING 1"), 0);
        QCOMPARE(readStatusByte(client, link.id), errorAvailable | eventSummary | requestService);
        QVERIFY(query(client, link.id, "ALLEV?;*ESR?;*SRE 0").contains("-113"));
        QCOMPARE(readStatusByte(client, link.id), 0);
    }

    void triggerForcesAnAcquisition() {
        const Link link(m_sim->vxi11Port());
        QVERIFY(link.id != 0);
        CLIENT *client = link.client();
        QCOMPARE(writeMessage(client, link.id, "ACQ:STOPA SEQ;STATE RUN"), 0);
        const int before = query(client, link.id, "ACQ:NUMACQ?").trimmed().toInt();
        Device_GenericParms generic{link.id, 0, 0, 2000};
        Device_Error reply{};
        QCOMPARE(device_trigger_1(&generic, &reply, client), RPC_SUCCESS);
        QCOMPARE(reply.error, 0);
        QCOMPARE(query(client, link.id, "ACQ:NUMACQ?").trimmed().toInt(), before + 1);
    }

    // A lock keeps every other link out: at once without waitlock, after
    // lock_timeout with it, and until its holder unlocks or goes away.
    void lockKeepsOtherLinksOut() {
        const Link holder(m_sim->vxi11Port());
        auto other = std::make_unique<Link>(m_sim->vxi11Port());
        QVERIFY(holder.id != 0 && other->id != 0);
        const long locked = 11;

        QCOMPARE(lockDevice(holder.client(), holder.id, 0, 0), 0);
        QCOMPARE(writeMessage(other->client(), other->id, "*IDN?"), locked);
        QCOMPARE(readStatusByte(other->client(), other->id), -locked);
        QCOMPARE(lockDevice(other->client(), other->id, DEVICE_FLAG_WAITLOCK, 50), locked);
        QCOMPARE(query(holder.client(), holder.id, "*IDN?").left(7), "MARDOCK");

        auto waiting = std::async(std::launch::async, [&] {
            return lockDevice(other->client(), other->id, DEVICE_FLAG_WAITLOCK, LongWaitMs);
        });
        Device_Link id = holder.id;
        Device_Error reply{};
        QCOMPARE(device_unlock_1(&id, &reply, holder.client()), RPC_SUCCESS);
        QCOMPARE(reply.error, 0);
        QCOMPARE(waiting.get(), 0);
        QCOMPARE(lockDevice(holder.client(), holder.id, 0, 0), locked);

        // The holder's connection ends: its lock goes with it.
        auto afterClose = std::async(std::launch::async, [&] {
            return lockDevice(holder.client(), holder.id, DEVICE_FLAG_WAITLOCK, LongWaitMs);
        });
        other.reset();
        QCOMPARE(afterClose.get(), 0);
    }

    // A read waiting for a reply holds up no other link, and the abort
    // channel ends it.
    void waitingReadLeavesOtherLinksServed() {
        PipelinedChannel waiter(m_sim->vxi11Port());
        const Reply created = waiter.createLink();
        const long id = created.result(1);
        const u_short abortPort = u_short(created.result(2));
        waiter.send(
            2, device_read,
            xdrEncoded(xdr_Device_ReadParms, Device_ReadParms{id, 1000, LongWaitMs, 0, 0, 0}));
        waiter.send(3, 0);
        QCOMPARE(waiter.receive().xid, 3u);

        const Link other(m_sim->vxi11Port());
        QVERIFY(other.id != 0);
        QCOMPARE(query(other.client(), other.id, "*IDN?").left(7), "MARDOCK");

        QVERIFY(abortPort != 0);
        const Channel abortChannel(abortPort, DEVICE_ASYNC, DEVICE_ASYNC_VERSION);
        QVERIFY(abortChannel.client());
        Device_Link abortedLink = id;
        Device_Error reply{};
        QCOMPARE(device_abort_1(&abortedLink, &reply, abortChannel.client()), RPC_SUCCESS);
        QCOMPARE(reply.error, 0);
        const Reply read = waiter.receive();
        QCOMPARE(read.xid, 2u);
        QCOMPARE(read.result(0), 23);
    }
};

QTEST_GUILESS_MAIN(tst_vxi11server)
#include "tst_vxi11server.moc"
