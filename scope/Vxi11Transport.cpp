#include "Vxi11Transport.h"

#include "Cancellation.h"
#include "ConnectTcp.h"
#include "ReplyFramer.h"
#include "TransportError.h"

#include <vxi11.h>

#include <rpc/pmap_prot.h>

#include <algorithm>
#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace std::chrono;

namespace {

// Flags and reasons of the core channel.
constexpr Device_Flags EndFlag = 0x08;
constexpr long EndReason = 0x04;
constexpr long IoTimeoutError = 15;

// Asked for per read call; also the most a read reply may carry, so a
// garbled length cannot make the RPC layer allocate without bound.
constexpr u_long ReadChunk = 1024 * 1024;
constexpr u_long WriteChunkCap = 1024 * 1024;
// Of each call's time, the instrument's own timeout leaves this much (at
// most a quarter) for its answer to travel back.
constexpr milliseconds AnswerAllowance{250};
constexpr qsizetype KeptBufferBytes = 1024 * 1024;
constexpr int PortmapperPort = 111;
// Ending a link given up on may take this long per call: a scope that does
// not answer that soon has its link ended on the next connection instead.
constexpr milliseconds GoodbyeBound{300};
// Links still to be ended beyond this many are forgotten: a scope that
// never answers destroy_link would otherwise grow the list without end.
constexpr size_t MaxLinksToEnd = 64;

QString deviceError(long code) {
    switch (code) {
    case 1:
        return QStringLiteral("syntax error");
    case 3:
        return QStringLiteral("device not accessible");
    case 4:
        return QStringLiteral("invalid link identifier");
    case 5:
        return QStringLiteral("parameter error");
    case 6:
        return QStringLiteral("channel not established");
    case 8:
        return QStringLiteral("operation not supported");
    case 9:
        return QStringLiteral("out of resources");
    case 11:
        return QStringLiteral("device locked by another link");
    case 15:
        return QStringLiteral("I/O timeout");
    case 17:
        return QStringLiteral("I/O error");
    case 21:
        return QStringLiteral("invalid address");
    case 23:
        return QStringLiteral("abort");
    default:
        return QStringLiteral("error %1").arg(code);
    }
}

milliseconds remaining(Transport::Deadline deadline) {
    return ceil<milliseconds>(deadline - steady_clock::now());
}

// The instrument's own timeout for a call that must end by `deadline`.
u_long ioTimeout(Transport::Deadline deadline) {
    const milliseconds left = remaining(deadline);
    return u_long(
        std::max<milliseconds::rep>(1, (left - std::min(left / 4, AnswerAllowance)).count()));
}

// A read reply whose data may not exceed ReadChunk bytes.
bool_t xdrBoundedReadResp(XDR *xdrs, Device_ReadResp *reply) {
    return xdr_Device_ErrorCode(xdrs, &reply->error) && xdr_long(xdrs, &reply->reason) &&
           xdr_bytes(xdrs, &reply->data.data_val, &reply->data.data_len, ReadChunk);
}

// The RPC library sends with plain write(): to an instrument that has gone
// that raises SIGPIPE, which would end the program. Held over a call, this
// keeps the signal blocked on the calling thread and swallows one the call
// raised; the failed write is reported as a failed call all the same.
class BrokenPipeGuard {
public:
    BrokenPipeGuard() {
        sigemptyset(&m_pipe);
        sigaddset(&m_pipe, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        m_wasPending = sigismember(&pending, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &m_pipe, &m_previous);
    }
    ~BrokenPipeGuard() {
        if (!m_wasPending) {
            const timespec none{};
            while (sigtimedwait(&m_pipe, nullptr, &none) == SIGPIPE) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
    }
    BrokenPipeGuard(const BrokenPipeGuard &) = delete;
    BrokenPipeGuard &operator=(const BrokenPipeGuard &) = delete;

private:
    sigset_t m_pipe;
    sigset_t m_previous;
    bool m_wasPending = false;
};

// An RPC client on a connected socket, both owned.
class RpcClient {
public:
    RpcClient(int fd, rpcprog_t program, rpcvers_t version)
        : m_fd(fd) {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        ::getpeername(fd, reinterpret_cast<sockaddr *>(&address), &length);
        const netbuf peer{length, length, &address};
        m_client = ::clnt_vc_create(fd, &peer, program, version, 0, 0);
        if (!m_client) {
            ::close(fd);
            throw TransportError(QStringLiteral("cannot set up the RPC client: %1")
                                     .arg(QString::fromLocal8Bit(::clnt_spcreateerror(""))));
        }
    }
    ~RpcClient() {
        clnt_destroy(m_client);
        ::close(m_fd);
    }
    RpcClient(const RpcClient &) = delete;
    RpcClient &operator=(const RpcClient &) = delete;

    // Between calls nothing may arrive: anything readable is the end of
    // the connection or an answer to a call given up on.
    bool quiet() const {
        pollfd watched{m_fd, POLLIN, 0};
        return ::poll(&watched, 1, 0) == 0;
    }
    // The peer has not closed the connection, nor has a cancel shut it.
    bool stillConnected() const {
        char byte;
        const ssize_t peeked = ::recv(m_fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        return peeked > 0 || (peeked < 0 && (errno == EAGAIN || errno == EWOULDBLOCK));
    }
    // The last call got no answer in time: the instrument may still be
    // carrying it out.
    bool callPending() const { return m_callPending; }

    // Runs one call, waiting for its answer no longer than `deadline`
    // allows, sending included.
    template <typename Call> clnt_stat within(Transport::Deadline deadline, Call &&call) {
        const auto left = remaining(deadline).count();
        if (left <= 0)
            return RPC_TIMEDOUT;
        timeval wait{time_t(left / 1000), suseconds_t(left % 1000 * 1000)};
        ::setsockopt(m_fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
        clnt_control(m_client, CLSET_TIMEOUT, reinterpret_cast<char *>(&wait));
        const BrokenPipeGuard guard;
        // A cancel shuts the socket down, so the call ends and the link is
        // dropped.
        const Cancellation::Watch cancellable(m_fd);
        const clnt_stat status = call(m_client, wait);
        m_callPending = status == RPC_TIMEDOUT;
        return status;
    }

    // destroy_link within `deadline`; false when it went unanswered. An
    // unknown link (error 4) counts as ended.
    bool destroyLink(Device_Link id, Transport::Deadline deadline) {
        Device_Error ignored{};
        return within(deadline, [&](CLIENT *client, timeval) {
                   return ::destroy_link_1(&id, &ignored, client);
               }) == RPC_SUCCESS;
    }

private:
    int m_fd;
    CLIENT *m_client = nullptr;
    bool m_callPending = false;
};

QString callError(clnt_stat status, const char *waitingFor) {
    if (status == RPC_TIMEDOUT)
        return QStringLiteral("timed out waiting for %1").arg(QLatin1String(waitingFor));
    return QStringLiteral("%1 failed: %2")
        .arg(QLatin1String(waitingFor), QString::fromLocal8Bit(::clnt_sperrno(status)));
}

} // namespace

struct Vxi11Transport::Link {
    std::unique_ptr<RpcClient> rpc;
    Device_Link id = 0;
    u_short abortPort = 0;
    u_long maxRecvSize = 1;
    // Part of an earlier exchange may still sit in the instrument (a reply
    // not read to its end, a command cut short): clear it before the next.
    bool needsClear = false;
};

Vxi11Transport::Vxi11Transport(const QString &host, const QString &deviceName, quint16 corePort)
    : m_host(host.toUtf8())
    , m_deviceName(deviceName.toLatin1())
    , m_corePort(corePort) {}

Vxi11Transport::~Vxi11Transport() {
    // Only briefly: some instruments forget links with their connection,
    // the rest are asked on the way out.
    if (m_link && endEarlierLinks(*m_link, steady_clock::now() + GoodbyeBound))
        m_link->rpc->destroyLink(m_link->id, steady_clock::now() + GoodbyeBound);
}

QString Vxi11Transport::peer() const {
    return QStringLiteral("%1 (%2)").arg(QString::fromUtf8(m_host),
                                         QString::fromLatin1(m_deviceName));
}

int Vxi11Transport::connectTo(quint16 port, Deadline deadline) const {
    const int fd =
        connectTcp(m_host, port, deadline,
                   QStringLiteral("%1 port %2").arg(QString::fromUtf8(m_host)).arg(port));
    // The RPC library reads and writes in blocking mode; each call bounds its
    // own waits.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

quint16 Vxi11Transport::lookUpCorePort(Deadline deadline) const {
    RpcClient portmapper(connectTo(PortmapperPort, deadline), PMAPPROG, PMAPVERS);
    pmap wanted{DEVICE_CORE, DEVICE_CORE_VERSION, IPPROTO_TCP, 0};
    u_long port = 0;
    const clnt_stat status = portmapper.within(deadline, [&](CLIENT *client, timeval wait) {
        return clnt_call(client, PMAPPROC_GETPORT, xdrproc_t(xdr_pmap),
                         reinterpret_cast<char *>(&wanted), xdrproc_t(xdr_u_long),
                         reinterpret_cast<char *>(&port), wait);
    });
    if (status != RPC_SUCCESS)
        throw TransportError(QStringLiteral("asking the portmapper of %1: %2")
                                 .arg(QString::fromUtf8(m_host), callError(status, "its answer")));
    if (port == 0 || port > 0xffff)
        throw TransportError(QStringLiteral("%1 has no VXI-11 instrument registered")
                                 .arg(QString::fromUtf8(m_host)));
    return quint16(port);
}

void Vxi11Transport::open(milliseconds timeout) {
    const Deadline deadline = steady_clock::now() + connectTimeoutFor(timeout);
    const quint16 port = m_corePort != 0 ? m_corePort : lookUpCorePort(deadline);
    auto link = std::make_unique<Link>();
    link->rpc =
        std::make_unique<RpcClient>(connectTo(port, deadline), DEVICE_CORE, DEVICE_CORE_VERSION);

    if (!endEarlierLinks(*link, deadline))
        throw TransportError(
            QStringLiteral("opening %1: no answer to ending an earlier link").arg(peer()));

    Create_LinkParms request{};
    request.clientId = ::getpid();
    request.device = m_deviceName.data();
    Create_LinkResp reply{};
    const clnt_stat status = link->rpc->within(deadline, [&](CLIENT *client, timeval) {
        return ::create_link_1(&request, &reply, client);
    });
    if (status != RPC_SUCCESS)
        throw TransportError(
            QStringLiteral("opening %1: %2").arg(peer(), callError(status, "the link")));
    if (reply.error != 0)
        throw TransportError(
            QStringLiteral("%1 refused the link: %2").arg(peer(), deviceError(reply.error)));
    link->id = reply.lid;
    link->abortPort = reply.abortPort;
    // Taken as announced, however small: a server may refuse a longer write
    // rather than take part of it.
    link->maxRecvSize = std::clamp<u_long>(reply.maxRecvSize, 1, WriteChunkCap);
    link->needsClear = std::exchange(m_clearOnOpen, false);
    m_link = std::move(link);
    connectionOpened();
}

// Some instruments keep a link after its connection closes and run out of
// them after a few: a link given up on is ended while its connection still
// carries calls, and otherwise on the next connection, before the new link.
void Vxi11Transport::dropLink() {
    if (m_link && !(m_link->rpc->stillConnected() && endLink(*m_link))) {
        m_linksToEnd.push_back(m_link->id);
        if (m_linksToEnd.size() > MaxLinksToEnd)
            m_linksToEnd.erase(m_linksToEnd.begin());
    }
    // The instrument may still hold output of ours, which the next link
    // clears first.
    m_link.reset();
    m_reply = QByteArray();
    m_clearOnOpen = true;
    connectionLost();
}

bool Vxi11Transport::endLink(Link &link) const {
    if (link.rpc->callPending() && link.abortPort != 0)
        abortCall(link);
    return link.rpc->destroyLink(link.id, steady_clock::now() + GoodbyeBound);
}

// Ends the call the link still waits in, over the instrument's abort channel,
// so destroy_link is not queued behind it.
void Vxi11Transport::abortCall(const Link &link) const {
    const Deadline deadline = steady_clock::now() + GoodbyeBound;
    try {
        RpcClient channel(connectTo(link.abortPort, deadline), DEVICE_ASYNC, DEVICE_ASYNC_VERSION);
        Device_Link id = link.id;
        Device_Error ignored{};
        channel.within(deadline, [&](CLIENT *client, timeval) {
            return ::device_abort_1(&id, &ignored, client);
        });
    } catch (const TransportError &) {
        // No abort channel to be had: destroy_link may still get through.
    }
}

bool Vxi11Transport::endEarlierLinks(Link &on, Deadline deadline) {
    while (!m_linksToEnd.empty()) {
        if (!on.rpc->destroyLink(m_linksToEnd.front(),
                                 std::min<Deadline>(deadline, steady_clock::now() + GoodbyeBound)))
            return false;
        m_linksToEnd.erase(m_linksToEnd.begin());
    }
    return true;
}

void Vxi11Transport::failAndClose(const QString &reason) {
    dropLink();
    throw TransportError(reason);
}

void Vxi11Transport::clearLink(Deadline deadline) {
    Device_GenericParms request{m_link->id, 0, 0, ioTimeout(deadline)};
    Device_Error reply{};
    const clnt_stat status = m_link->rpc->within(deadline, [&](CLIENT *client, timeval) {
        return ::device_clear_1(&request, &reply, client);
    });
    if (status != RPC_SUCCESS)
        failAndClose(callError(status, "the device clear"));
    if (reply.error != 0)
        failAndClose(QStringLiteral("%1 refused the device clear: %2")
                         .arg(peer(), deviceError(reply.error)));
    m_link->needsClear = false;
}

void Vxi11Transport::write(QByteArrayView message, milliseconds timeout) {
    if (m_link && !m_link->rpc->quiet())
        dropLink();
    if (!m_link)
        open(timeout);
    // The reply to an earlier query may still arrive; it must not answer
    // this one.
    if (m_link->needsClear)
        clearLink(steady_clock::now() + std::min<milliseconds>(timeout, ClearTimeout));
    const Deadline deadline = steady_clock::now() + timeout;
    m_link->needsClear = true;

    qsizetype sent = 0;
    do {
        const qsizetype piece = std::min<qsizetype>(message.size() - sent, m_link->maxRecvSize);
        const bool last = sent + piece == message.size();
        Device_WriteParms request{};
        request.lid = m_link->id;
        request.io_timeout = ioTimeout(deadline);
        request.flags = last ? EndFlag : 0;
        request.data.data_len = u_int(piece);
        request.data.data_val = const_cast<char *>(message.data() + sent);
        Device_WriteResp reply{};
        const clnt_stat status = m_link->rpc->within(deadline, [&](CLIENT *client, timeval) {
            return ::device_write_1(&request, &reply, client);
        });
        if (status != RPC_SUCCESS)
            failAndClose(callError(status, "the instrument to accept the command"));
        if (reply.error == IoTimeoutError)
            throw TransportError(
                QStringLiteral("timed out waiting for the instrument to accept the command"));
        if (reply.error != 0)
            throw TransportError(
                QStringLiteral("%1 refused the command: %2").arg(peer(), deviceError(reply.error)));
        sent += std::min<qsizetype>(reply.size, piece);
        if (sent < message.size() && remaining(deadline) <= 0ms)
            throw TransportError(
                QStringLiteral("timed out waiting for the instrument to accept the command"));
    } while (sent < message.size());
    m_link->needsClear = false;
}

QByteArrayView Vxi11Transport::read(char terminator, milliseconds timeout) {
    receive(timeout, true);
    const auto frame = ReplyFramer(terminator, MaxReplyBytes).find(m_reply);
    return QByteArrayView(m_reply.constData(), frame ? frame->length : m_reply.size());
}

void Vxi11Transport::drop(char, milliseconds timeout) {
    receive(timeout, false);
}

void Vxi11Transport::receive(milliseconds timeout, bool keep) {
    if (!m_link)
        throw TransportError(QStringLiteral("no connection to read a reply from"));
    Deadline deadline = steady_clock::now() + timeout;
    m_reply.truncate(0);
    if (m_reply.capacity() > KeptBufferBytes)
        m_reply = QByteArray();
    // Until the end is seen, the rest of this reply is still on its way.
    m_link->needsClear = true;

    qsizetype received = 0;
    for (;;) {
        Device_ReadParms request{};
        request.lid = m_link->id;
        request.requestSize = ReadChunk;
        request.io_timeout = ioTimeout(deadline);
        Device_ReadResp reply{};
        const clnt_stat status = m_link->rpc->within(deadline, [&](CLIENT *client, timeval wait) {
            return clnt_call(client, device_read, xdrproc_t(xdr_Device_ReadParms),
                             reinterpret_cast<char *>(&request), xdrproc_t(xdrBoundedReadResp),
                             reinterpret_cast<char *>(&reply), wait);
        });
        if (status != RPC_SUCCESS)
            failAndClose(callError(status, "a reply"));
        if (keep)
            m_reply.append(reply.data.data_val, reply.data.data_len);
        received += reply.data.data_len;
        const long error = reply.error;
        const bool end = reply.reason & EndReason;
        const bool arrived = reply.data.data_len > 0;
        ::xdr_free(xdrproc_t(xdrBoundedReadResp), reinterpret_cast<char *>(&reply));

        if (error == IoTimeoutError)
            throw TransportError(QStringLiteral("timed out waiting for a reply"));
        if (error != 0)
            throw TransportError(
                QStringLiteral("%1 failed the read: %2").arg(peer(), deviceError(error)));
        if (received > MaxReplyBytes)
            throw TransportError(
                QStringLiteral("reply larger than %1 MiB").arg(MaxReplyBytes >> 20));
        if (end)
            break;
        // The timeout bounds silence: a reply that keeps arriving completes.
        if (arrived)
            deadline = steady_clock::now() + timeout;
        else if (remaining(deadline) <= 0ms)
            throw TransportError(QStringLiteral("timed out waiting for the end of a reply"));
    }
    m_link->needsClear = false;
}

void Vxi11Transport::clear() {
    if (!m_link)
        return;
    try {
        clearLink(steady_clock::now() + ClearTimeout);
    } catch (const TransportError &) {
        // Dropped: a gone instrument has nothing left to clear.
    }
}
