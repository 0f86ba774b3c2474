#include "Vxi11Server.h"

#include "CommandLog.h"
#include "ElapsedClock.h"
#include "PowerSwitch.h"
#include "SimConnection.h"
#include "SimScope.h"
#include "XdrEncoded.h"

#include <vxi11.h>

#include <rpc/pmap_clnt.h>

#include <QTcpSocket>
#include <QtEndian>

#include <algorithm>
#include <climits>

#include <netinet/in.h>

namespace {

constexpr long NotSupportedError = 8;
constexpr long InvalidLinkError = 4;
constexpr long OutOfResourcesError = 9;
constexpr long ChannelNotEstablishedError = 6;
constexpr long LockedError = 11;
constexpr long NoLockHeldError = 12;
constexpr long IoTimeoutError = 15;
constexpr long AbortError = 23;

constexpr quint32 MaxReadPiece = 1024 * 1024;
// A call carries at most one write's data and its parameters.
constexpr qsizetype MaxCallRecord = Vxi11Server::MaxRecvSize + 4096;

// A call's arguments, decoded by rpcgen's routine and freed with it; a
// call whose arguments do not decode is refused.
template <typename T> class Decoded {
public:
    Decoded(RpcConnection *connection, const RpcConnection::Call &call, bool_t (*proc)(XDR *, T *))
        : m_proc(xdrproc_t(proc)) {
        XDR xdrs;
        xdrmem_create(&xdrs, const_cast<char *>(call.arguments.data()),
                      u_int(call.arguments.size()), XDR_DECODE);
        m_ok = proc(&xdrs, &m_value);
        xdr_destroy(&xdrs);
        if (!m_ok)
            connection->refuse(call, RpcConnection::Status::GarbageArguments);
    }
    ~Decoded() { xdr_free(m_proc, reinterpret_cast<char *>(&m_value)); }
    Decoded(const Decoded &) = delete;
    Decoded &operator=(const Decoded &) = delete;

    explicit operator bool() const { return m_ok; }
    const T *operator->() const { return &m_value; }
    const T &value() const { return m_value; }

private:
    xdrproc_t m_proc;
    T m_value{};
    bool m_ok = false;
};

// Words after the error code in each procedure's result, all zero (or
// empty) when the call failed.
int wordsAfterError(quint32 procedure) {
    switch (procedure) {
    case create_link:
        return 3;
    case device_read:
        return 2;
    case device_write:
    case device_readstb:
    case device_docmd:
        return 1;
    default:
        return 0;
    }
}

} // namespace

Vxi11Server::Vxi11Server(SimScope &scope, CommandLog &log, PowerSwitch &power,
                         const SimOptions &options, QObject *parent)
    : QObject(parent)
    , m_scope(scope)
    , m_log(log)
    , m_power(power)
    , m_faults(options)
    , m_address(options.address)
    , m_linkLimit(options.linkLimit)
    , m_linksOutliveConnection(options.linksOutliveConnection) {
    m_age.start();
    m_wake.setSingleShot(true);
    m_wake.setTimerType(Qt::PreciseTimer);
    connect(&m_wake, &QTimer::timeout, this, &Vxi11Server::serveWaiting);
    connect(&m_core, &QTcpServer::newConnection, this, &Vxi11Server::acceptCore);
    connect(&m_abort, &QTcpServer::newConnection, this, &Vxi11Server::acceptAbort);
    connect(&power, &PowerSwitch::switchedOff, this, &Vxi11Server::powerOff);
    connect(&power, &PowerSwitch::switchedOn, this, &Vxi11Server::powerOn);
}

Vxi11Server::~Vxi11Server() {
    if (m_registered)
        pmap_unset(DEVICE_CORE, DEVICE_CORE_VERSION);
}

bool Vxi11Server::listen(quint16 port) {
    if (!m_core.listen(m_address, port)) {
        m_error = m_core.errorString();
        return false;
    }
    if (!m_abort.listen(m_address, 0)) {
        m_error = m_abort.errorString();
        m_core.close();
        return false;
    }
    m_corePort = m_core.serverPort();
    m_abortPort = m_abort.serverPort();
    return true;
}

void Vxi11Server::powerOff() {
    // A scope without power answers nothing: connecting is refused and every
    // link drops, in that order, with nothing left waiting.
    m_core.close();
    m_abort.close();
    m_links.clear();
    m_lockHolder = 0;
    m_waitingForLock.clear();
    m_messagesOnConnection.clear();
    for (RpcConnection *connection : findChildren<RpcConnection *>(Qt::FindDirectChildrenOnly))
        connection->drop();
}

void Vxi11Server::powerOn() {
    if (!m_core.listen(m_address, m_corePort) || !m_abort.listen(m_address, m_abortPort))
        qWarning("mardock-scopesim: cannot serve VXI-11 again after the power cycle: %s",
                 qPrintable(m_core.isListening() ? m_abort.errorString() : m_core.errorString()));
}

bool Vxi11Server::registerWithPortmapper() {
    // Asked first, briefly: the RPC library waits long for an absent one.
    QTcpSocket probe;
    probe.connectToHost(QHostAddress::LocalHost, 111);
    if (!probe.waitForConnected(1000))
        return false;
    probe.abort();
    pmap_unset(DEVICE_CORE, DEVICE_CORE_VERSION);
    m_registered = pmap_set(DEVICE_CORE, DEVICE_CORE_VERSION, IPPROTO_TCP, port());
    return m_registered;
}

void Vxi11Server::acceptCore() {
    while (QTcpSocket *socket = m_core.nextPendingConnection()) {
        auto *connection = new RpcConnection(socket, MaxCallRecord, this);
        connect(connection, &RpcConnection::callReceived, this,
                [this, connection](const RpcConnection::Call &rpc) {
                    dispatchCore(Call(connection, rpc));
                });
        connect(connection, &RpcConnection::closed, this,
                [this, connection] { connectionClosed(connection); });
    }
}

void Vxi11Server::acceptAbort() {
    while (QTcpSocket *socket = m_abort.nextPendingConnection()) {
        auto *connection = new RpcConnection(socket, MaxCallRecord, this);
        connect(connection, &RpcConnection::callReceived, this,
                [this, connection](const RpcConnection::Call &rpc) {
                    dispatchAbort(Call(connection, rpc));
                });
    }
}

void Vxi11Server::dispatchCore(const Call &call) {
    if (!call.connection)
        return;
    const RpcConnection::Call &rpc = call.rpc;
    if (rpc.program != DEVICE_CORE)
        return call.connection->refuse(rpc, RpcConnection::Status::ProgramUnavailable);
    if (rpc.version != DEVICE_CORE_VERSION)
        return call.connection->refuse(rpc, RpcConnection::Status::ProgramMismatch,
                                       DEVICE_CORE_VERSION);
    // A hung scope answers nothing on its device, while the link machinery
    // (opening and closing links) still answers.
    if (rpc.procedure != create_link && rpc.procedure != destroy_link && rpc.procedure != 0 &&
        m_faults.hanging())
        return;
    using Handler = void (Vxi11Server::*)(Call);
    static const QHash<quint32, Handler> handlers{
        {create_link, &Vxi11Server::createLink},
        {device_write, &Vxi11Server::write},
        {device_read, &Vxi11Server::read},
        {device_readstb, &Vxi11Server::readStatusByte},
        {device_trigger, &Vxi11Server::trigger},
        {device_clear, &Vxi11Server::clear},
        {device_remote, &Vxi11Server::answerGeneric},
        {device_local, &Vxi11Server::answerGeneric},
        {device_lock, &Vxi11Server::lock},
        {device_unlock, &Vxi11Server::unlock},
        {device_enable_srq, &Vxi11Server::enableServiceRequest},
        {destroy_link, &Vxi11Server::destroyLink},
    };
    // The scope has no vendor commands beside its messages, and sends no
    // service requests, so there is no interrupt channel to open or close.
    static const QHash<quint32, long> meaningless{
        {device_docmd, NotSupportedError},
        {create_intr_chan, NotSupportedError},
        {destroy_intr_chan, ChannelNotEstablishedError},
    };
    if (rpc.procedure == 0)
        answer(call, {});
    else if (const Handler handler = handlers.value(rpc.procedure))
        (this->*handler)(call);
    else if (meaningless.contains(rpc.procedure))
        answerCode(call, meaningless.value(rpc.procedure));
    else
        call.connection->refuse(rpc, RpcConnection::Status::ProcedureUnavailable);
}

void Vxi11Server::dispatchAbort(const Call &call) {
    const RpcConnection::Call &rpc = call.rpc;
    if (rpc.program != DEVICE_ASYNC)
        return call.connection->refuse(rpc, RpcConnection::Status::ProgramUnavailable);
    if (rpc.version != DEVICE_ASYNC_VERSION)
        return call.connection->refuse(rpc, RpcConnection::Status::ProgramMismatch,
                                       DEVICE_ASYNC_VERSION);
    if (rpc.procedure == 0)
        return answer(call, {});
    if (rpc.procedure != device_abort)
        return call.connection->refuse(rpc, RpcConnection::Status::ProcedureUnavailable);
    abort(call);
}

void Vxi11Server::connectionClosed(RpcConnection *connection) {
    m_messagesOnConnection.remove(connection);
    if (m_linksOutliveConnection)
        return;
    // Its links go with it, and a lock one of them held is free again.
    QList<long> gone;
    for (auto it = m_links.cbegin(); it != m_links.cend(); ++it) {
        if (it->owner == connection)
            gone.append(it.key());
    }
    for (const long id : gone) {
        m_links.remove(id);
        releaseLock(id);
    }
}

void Vxi11Server::answer(const Call &call, QByteArrayView results) {
    if (call.connection)
        call.connection->reply(call.rpc.xid, results);
}

void Vxi11Server::answerCode(const Call &call, long error) {
    QByteArray results(4 * (1 + wordsAfterError(call.rpc.procedure)), '\0');
    qToBigEndian(qint32(error), results.data());
    answer(call, results);
}

Vxi11Server::Link *Vxi11Server::linkFor(const Call &call, long id) {
    const auto link = m_links.find(id);
    if (link != m_links.end())
        return &*link;
    answerCode(call, InvalidLinkError);
    return nullptr;
}

bool Vxi11Server::mayProceed(Call &call, long id, long flags, quint32 lockTimeoutMs) {
    if (m_lockHolder == 0 || m_lockHolder == id)
        return true;
    const qint64 now = m_age.elapsed();
    call.link = id;
    if (!call.lockDeadlineMs)
        call.lockDeadlineMs = now + ((flags & DEVICE_FLAG_WAITLOCK) ? qint64(lockTimeoutMs) : 0);
    if (now >= *call.lockDeadlineMs) {
        answerCode(call, LockedError);
        return false;
    }
    m_waitingForLock.push_back(call);
    serveWaiting();
    return false;
}

void Vxi11Server::releaseLock(long id) {
    if (m_lockHolder != id)
        return;
    m_lockHolder = 0;
    // Each waiting call tries again in the order they came; the first to
    // want the lock takes it and the rest wait on.
    for (const Call &call : std::exchange(m_waitingForLock, {}))
        dispatchCore(call);
}

void Vxi11Server::createLink(Call call) {
    const Decoded request(call.connection, call.rpc, xdr_Create_LinkParms);
    if (!request)
        return;
    if (request->lockDevice && !mayProceed(call, 0, DEVICE_FLAG_WAITLOCK, request->lock_timeout))
        return;
    if (m_links.size() >= m_linkLimit)
        return answerCode(call, OutOfResourcesError);
    const long id = m_nextLink++;
    m_log.appendEvent("create_link " + QByteArray::number(qlonglong(id)),
                      ElapsedClock::monotonicUs());
    m_links.insert(id, Link{.id = id,
                            .owner = call.connection,
                            .exchange = {},
                            .answeredBefore = false,
                            .read = std::nullopt});
    if (request->lockDevice)
        m_lockHolder = id;
    answer(call, xdrEncoded(xdr_Create_LinkResp,
                            Create_LinkResp{0, id, m_abortPort, Vxi11Server::MaxRecvSize}));
}

void Vxi11Server::write(Call call) {
    const Decoded request(call.connection, call.rpc, xdr_Device_WriteParms);
    if (!request)
        return;
    Link *link = linkFor(call, request->lid);
    if (!link || !mayProceed(call, request->lid, request->flags, request->lock_timeout))
        return;

    // More than announced is taken in part; the client sends the rest again.
    const u_int taken = std::min<u_int>(request->data.data_len, MaxRecvSize);
    const bool end = (request->flags & DEVICE_FLAG_END) && taken == request->data.data_len;
    Exchange &exchange = link->exchange;
    if (!exchange.skippingLongMessage) {
        exchange.incoming += QByteArrayView(request->data.data_val, taken);
        if (exchange.incoming.size() > SimConnection::MaxMessage) {
            exchange.incoming.clear();
            exchange.skippingLongMessage = true;
            m_scope.queueEvent(-223, "Too much data");
        }
    }
    const QByteArray result = xdrEncoded(xdr_Device_WriteResp, Device_WriteResp{0, taken});
    if (!end)
        return answer(call, result);
    if (std::exchange(exchange.skippingLongMessage, false))
        return answer(call, result);
    QByteArray message = std::exchange(exchange.incoming, QByteArray());
    if (message.endsWith('\n'))
        message.chop(1);
    if (!carryOut(*link, message))
        return;
    answer(call, result);
    serveWaiting();
    if (call.connection && m_faults.closesAfter(++m_messagesOnConnection[call.connection]))
        call.connection->close();
}

bool Vxi11Server::carryOut(Link &link, QByteArrayView message) {
    m_log.append(message);
    Exchange &exchange = link.exchange;
    exchange.reply.resize(0);
    exchange.replySent = 0;
    exchange.fillerLeft = 0;
    exchange.withholdEnd = false;
    if (m_faults.hangsOnMessage())
        return false;
    QByteArray reply;
    const bool replied = m_scope.handleMessage(message, reply);
    // The power cycle fault: the scope goes off before it answers, taking
    // this link with it.
    if (m_power.cycleIfDue())
        return false;
    if (!replied)
        return true;
    exchange.replyDueMs = m_age.elapsed() + m_faults.replyDelayMs(!link.answeredBefore);
    link.answeredBefore = true;
    const ReplyFaults::Reply shaped = m_faults.shape(reply);
    exchange.reply = shaped.bytes;
    exchange.fillerLeft = shaped.filler;
    exchange.withholdEnd = !shaped.ends;
    return true;
}

void Vxi11Server::read(Call call) {
    const Decoded request(call.connection, call.rpc, xdr_Device_ReadParms);
    if (!request)
        return;
    Link *link = linkFor(call, request->lid);
    if (!link || !mayProceed(call, request->lid, request->flags, request->lock_timeout))
        return;
    // One read waits per link; an older one (from another connection) has
    // been overtaken.
    if (link->read)
        answerCode(link->read->call, IoTimeoutError);
    // A scope answers a read only when it has something; until then the
    // call waits, up to the client's I/O timeout.
    link->read = PendingRead{call, quint32(request->requestSize), request->flags, request->termChar,
                             m_age.elapsed() + qint64(request->io_timeout)};
    serveWaiting();
}

void Vxi11Server::serveRead(Link &link) {
    const PendingRead &read = *link.read;
    Exchange &exchange = link.exchange;
    const qint64 now = m_age.elapsed();
    if (!exchange.replyReady(now)) {
        if (now < read.deadlineMs)
            return;
        answerCode(read.call, IoTimeoutError);
        link.read.reset();
        return;
    }

    const qsizetype wanted = std::min(read.requestSize, MaxReadPiece);
    QByteArray data = exchange.reply.mid(exchange.replySent, wanted);
    data.append(std::min<qint64>(wanted - data.size(), exchange.fillerLeft), ReplyFaults::Filler);
    long reason = 0;
    if (read.flags & DEVICE_FLAG_TERMCHRSET) {
        const qsizetype at = data.indexOf(read.termChar);
        if (at >= 0) {
            data.truncate(at + 1);
            reason |= DEVICE_REASON_CHR;
        }
    }
    const qsizetype fromReply = std::min(data.size(), exchange.reply.size() - exchange.replySent);
    exchange.replySent += fromReply;
    exchange.fillerLeft -= data.size() - fromReply;
    if (exchange.replySent == exchange.reply.size() && exchange.fillerLeft == 0 &&
        !exchange.withholdEnd) {
        reason |= DEVICE_REASON_END;
        exchange.reply.resize(0);
        exchange.replySent = 0;
    }
    // Only the client's own count: a piece cut at the scope's limit says
    // nothing, so the client reads on.
    if (data.size() == qsizetype(read.requestSize))
        reason |= DEVICE_REASON_REQCNT;
    answer(read.call, xdrEncoded(xdr_Device_ReadResp,
                                 Device_ReadResp{0, reason, {u_int(data.size()), data.data()}}));
    link.read.reset();
}

void Vxi11Server::serveWaiting() {
    const qint64 now = m_age.elapsed();
    std::optional<qint64> next;
    const auto wakeAt = [&next](qint64 ms) { next = std::min(next.value_or(ms), ms); };
    for (Link &link : m_links) {
        if (!link.read)
            continue;
        serveRead(link);
        if (!link.read)
            continue;
        wakeAt(link.read->deadlineMs);
        const Exchange &exchange = link.exchange;
        if (exchange.replySent < exchange.reply.size() || exchange.fillerLeft > 0)
            wakeAt(exchange.replyDueMs);
    }
    std::erase_if(m_waitingForLock, [&](const Call &call) {
        if (!call.connection)
            return true;
        if (now < *call.lockDeadlineMs) {
            wakeAt(*call.lockDeadlineMs);
            return false;
        }
        answerCode(call, LockedError);
        return true;
    });
    if (next)
        m_wake.start(int(std::clamp<qint64>(*next - m_age.elapsed(), 0, INT_MAX)));
    else
        m_wake.stop();
}

Vxi11Server::Link *Vxi11Server::admit(Call &call) {
    const Decoded request(call.connection, call.rpc, xdr_Device_GenericParms);
    if (!request)
        return nullptr;
    Link *link = linkFor(call, request->lid);
    if (!link || !mayProceed(call, request->lid, request->flags, request->lock_timeout))
        return nullptr;
    return link;
}

Vxi11Server::Link *Vxi11Server::namedLink(const Call &call) {
    const Decoded request(call.connection, call.rpc, xdr_Device_Link);
    return request ? linkFor(call, request.value()) : nullptr;
}

void Vxi11Server::clear(Call call) {
    if (Link *link = admit(call)) {
        link->exchange = Exchange();
        answerCode(call, 0);
    }
}

void Vxi11Server::readStatusByte(Call call) {
    if (Link *link = admit(call)) {
        const int status = m_scope.statusByte(link->exchange.replyReady(m_age.elapsed()));
        answer(call, xdrEncoded(xdr_Device_ReadStbResp, Device_ReadStbResp{0, u_char(status)}));
    }
}

void Vxi11Server::trigger(Call call) {
    if (!admit(call))
        return;
    // The group execute trigger does what the scope's own command does.
    QByteArray none;
    m_scope.handleMessage("TRIG", none);
    answerCode(call, 0);
}

void Vxi11Server::answerGeneric(Call call) {
    // Remote and local change nothing here: the scope has no front panel.
    if (admit(call))
        answerCode(call, 0);
}

void Vxi11Server::lock(Call call) {
    const Decoded request(call.connection, call.rpc, xdr_Device_LockParms);
    if (!request)
        return;
    if (!linkFor(call, request->lid) ||
        !mayProceed(call, request->lid, request->flags, request->lock_timeout))
        return;
    m_lockHolder = request->lid;
    answerCode(call, 0);
}

void Vxi11Server::unlock(Call call) {
    const Link *link = namedLink(call);
    if (!link)
        return;
    if (m_lockHolder != link->id)
        return answerCode(call, NoLockHeldError);
    answerCode(call, 0);
    releaseLock(link->id);
}

void Vxi11Server::enableServiceRequest(Call call) {
    const Decoded request(call.connection, call.rpc, xdr_Device_EnableSrqParms);
    if (!request)
        return;
    if (linkFor(call, request->lid))
        answerCode(call, 0);
}

void Vxi11Server::destroyLink(Call call) {
    const Link *link = namedLink(call);
    if (!link)
        return;
    const long id = link->id;
    m_log.appendEvent("destroy_link " + QByteArray::number(qlonglong(id)),
                      ElapsedClock::monotonicUs());
    if (link->read)
        answerCode(link->read->call, InvalidLinkError);
    m_links.remove(id);
    answerCode(call, 0);
    releaseLock(id);
}

void Vxi11Server::abort(const Call &call) {
    Link *link = namedLink(call);
    if (!link)
        return;
    // Whatever the link waits for on its core channel ends now.
    if (link->read)
        answerCode(link->read->call, AbortError);
    link->read.reset();
    std::erase_if(m_waitingForLock, [&](const Call &waiting) {
        if (waiting.link != link->id)
            return false;
        answerCode(waiting, AbortError);
        return true;
    });
    answerCode(call, 0);
    serveWaiting();
}
