#include "Vxi11Server.h"

#include "CommandLog.h"
#include "PowerSwitch.h"
#include "SimConnection.h"
#include "SimScope.h"

#include <vxi11.h>

#include <rpc/pmap_clnt.h>
#include <rpc/rpc_com.h>

#include <QSet>
#include <QSocketNotifier>
#include <QTcpSocket>
#include <algorithm>

#include <cerrno>
#include <cstring>
#include <thread>
#include <vector>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

// The dispatcher rpcgen writes from vxi11.x.
extern "C" void device_core_1(struct svc_req *request, SVCXPRT *transport);

namespace {

constexpr long EndFlag = 0x08;
constexpr long RequestCountReason = 0x01;
constexpr long EndReason = 0x04;
constexpr long InvalidLinkError = 4;
constexpr long IoTimeoutError = 15;
constexpr qint64 OversizeAnnounced = 200'000'000;
constexpr quint32 MaxReadPiece = 1024 * 1024;
// Links left behind by clients that went away without destroying them.
constexpr qsizetype MaxLinks = 64;

Vxi11Server *theServer = nullptr;

} // namespace

Vxi11Server::Vxi11Server(SimScope &scope, CommandLog &log, PowerSwitch &power,
                         const SimOptions &options, QObject *parent)
    : QObject(parent)
    , m_scope(scope)
    , m_log(log)
    , m_power(power)
    , m_options(options)
    , m_random(options.seed) {
    Q_ASSERT(!theServer);
    theServer = this;
    m_age.start();
    connect(&power, &PowerSwitch::switchedOff, this, &Vxi11Server::dropConnections);
}

Vxi11Server::~Vxi11Server() {
    if (m_registered)
        pmap_unset(DEVICE_CORE, DEVICE_CORE_VERSION);
    theServer = nullptr;
}

bool Vxi11Server::listen(quint16 port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&address), length) != 0 ||
        ::listen(fd, SOMAXCONN) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    // Bounds each request and lets the library read requests without
    // blocking, so one stalled client cannot stop the event loop.
    int maxRecord = int(MaxRecvSize) + 4096;
    rpc_control(RPC_SVC_CONNMAXREC_SET, &maxRecord);
    SVCXPRT *listener = svc_vc_create(fd, 0, 0);
    // No portmapper entry here (a null netconfig): registerWithPortmapper()
    // makes that, only when one runs.
    if (!listener || !svc_reg(listener, DEVICE_CORE, DEVICE_CORE_VERSION, device_core_1, nullptr)) {
        m_error = QStringLiteral("cannot set up the RPC service");
        return false;
    }
    m_port = ntohs(address.sin_port);
    m_listener = fd;
    watchSockets();
    return true;
}

bool Vxi11Server::registerWithPortmapper() {
    // Asked first, briefly: the RPC library waits long for an absent one.
    QTcpSocket probe;
    probe.connectToHost(QHostAddress::LocalHost, 111);
    if (!probe.waitForConnected(1000))
        return false;
    probe.abort();
    pmap_unset(DEVICE_CORE, DEVICE_CORE_VERSION);
    m_registered = pmap_set(DEVICE_CORE, DEVICE_CORE_VERSION, IPPROTO_TCP, m_port);
    return m_registered;
}

void Vxi11Server::watchSockets() {
    QSet<int> open;
    for (int i = 0; i < svc_max_pollfd; ++i) {
        const int fd = svc_pollfd[i].fd;
        if (fd < 0)
            continue;
        open.insert(fd);
        if (!m_notifiers.contains(fd)) {
            auto *notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
            connect(notifier, &QSocketNotifier::activated, this, &Vxi11Server::serveRequests);
            m_notifiers.insert(fd, notifier);
        }
    }
    for (auto it = m_notifiers.begin(); it != m_notifiers.end();) {
        if (open.contains(it.key())) {
            ++it;
            continue;
        }
        // Its own signal may be what runs this.
        it.value()->setEnabled(false);
        it.value()->deleteLater();
        it = m_notifiers.erase(it);
    }
}

void Vxi11Server::serveRequests() {
    std::vector<pollfd> sockets(svc_pollfd, svc_pollfd + svc_max_pollfd);
    if (!m_power.isOn())
        dropConnections();
    const int ready = ::poll(sockets.data(), sockets.size(), 0);
    if (ready > 0)
        svc_getreq_poll(sockets.data(), ready);
    if (m_closing >= 0) {
        // The library may have dropped the connection already; a shut-down
        // socket makes it drop it in its own time either way.
        ::shutdown(m_closing, SHUT_RDWR);
        m_closing = -1;
        m_messagesOnConnection = 0;
    }
    watchSockets();
}

void Vxi11Server::dropConnections() {
    // Without power the scope answers no call and forgets its links; the
    // library closes each shut-down connection when it next reads it.
    m_links.clear();
    for (int i = 0; i < svc_max_pollfd; ++i) {
        if (svc_pollfd[i].fd >= 0 && svc_pollfd[i].fd != m_listener)
            ::shutdown(svc_pollfd[i].fd, SHUT_RDWR);
    }
}

void Vxi11Server::closeAfterReply(int socket) {
    m_closing = socket;
}

bool Vxi11Server::hanging() {
    // Without power a call the library still reads gets no answer either.
    if (!m_power.isOn())
        return true;
    if (!m_options.hangAfter || m_messages <= *m_options.hangAfter)
        return false;
    if (!m_hang.isValid())
        m_hang.start();
    return m_options.hangMs < 0 || m_hang.elapsed() < m_options.hangMs;
}

long Vxi11Server::createLink() {
    if (m_links.size() >= MaxLinks)
        m_links.erase(std::min_element(m_links.keyBegin(), m_links.keyEnd()).base());
    m_links.insert(m_nextLink, Link());
    return m_nextLink++;
}

Vxi11Server::Outcome Vxi11Server::write(long id, QByteArrayView data, bool end) {
    if (hanging())
        return {.answered = false};
    const auto link = m_links.find(id);
    if (link == m_links.end())
        return {.error = InvalidLinkError};

    if (!link->skippingLongMessage) {
        link->incoming += data;
        if (link->incoming.size() > SimConnection::MaxMessage) {
            link->incoming.clear();
            link->skippingLongMessage = true;
            m_scope.queueEvent(-223, "Too much data");
        }
    }
    if (!end)
        return {};
    if (link->skippingLongMessage) {
        link->skippingLongMessage = false;
        return {};
    }
    QByteArray message = std::exchange(link->incoming, QByteArray());
    if (message.endsWith('\n'))
        message.chop(1);
    Outcome outcome{.answered = carryOut(*link, message)};
    if (m_options.closeAfter > 0 && ++m_messagesOnConnection % m_options.closeAfter == 0)
        outcome.closeConnection = true;
    return outcome;
}

bool Vxi11Server::carryOut(Link &link, QByteArrayView message) {
    m_log.append(message);
    ++m_messages;
    link.reply.resize(0);
    link.replySent = 0;
    link.fillerLeft = 0;
    link.withholdEnd = false;
    if (hanging())
        return false;
    const bool replied = m_scope.handleMessage(message, link.reply);
    if (m_power.cycleIfDue())
        return false;
    if (!replied)
        return true;
    const int delayMs = link.answeredBefore
                            ? m_options.replyDelayMs
                            : std::max(m_options.replyDelayMs, m_options.firstReplyDelayMs);
    link.answeredBefore = true;
    link.replyDueMs = m_age.elapsed() + delayMs;
    if (m_options.oversize) {
        link.reply = "#9" + QByteArray::number(OversizeAnnounced);
        link.fillerLeft = OversizeAnnounced;
        link.withholdEnd = true;
    } else if (m_options.garbage) {
        std::uniform_int_distribution<int> length(1, 64);
        std::uniform_int_distribution<int> byte(0, 255);
        link.reply.resize(length(m_random));
        for (char &c : link.reply)
            c = static_cast<char>(byte(m_random));
    } else if (m_options.unterminated) {
        link.withholdEnd = true;
    } else {
        link.reply += '\n';
    }
    return true;
}

Vxi11Server::Outcome Vxi11Server::read(long id, quint32 requestSize, quint32 ioTimeoutMs,
                                       QByteArray &data, long &reason) {
    data.resize(0);
    reason = 0;
    if (hanging())
        return {.answered = false};
    const auto link = m_links.find(id);
    if (link == m_links.end())
        return {.error = InvalidLinkError};

    // A scope answers a read only when it has something; until then the call
    // waits, here simply by blocking, which a single client never notices.
    const bool pending = link->replySent < link->reply.size() || link->fillerLeft > 0;
    const qint64 waitMs = pending ? link->replyDueMs - m_age.elapsed() : ioTimeoutMs;
    if (waitMs > qint64(ioTimeoutMs) || !pending) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ioTimeoutMs));
        return {.error = IoTimeoutError};
    }
    if (waitMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));

    const qsizetype wanted = std::min(requestSize, MaxReadPiece);
    data = link->reply.mid(link->replySent, wanted);
    link->replySent += data.size();
    const qint64 filler = std::min<qint64>(wanted - data.size(), link->fillerLeft);
    data.append(filler, 'x');
    link->fillerLeft -= filler;
    if (link->replySent == link->reply.size() && link->fillerLeft == 0 && !link->withholdEnd) {
        reason = EndReason;
        link->reply.resize(0);
        link->replySent = 0;
    } else if (data.size() == wanted) {
        reason = RequestCountReason;
    }
    return {};
}

Vxi11Server::Outcome Vxi11Server::clear(long id) {
    if (hanging())
        return {.answered = false};
    const auto link = m_links.find(id);
    if (link == m_links.end())
        return {.error = InvalidLinkError};
    *link = Link();
    return {};
}

Vxi11Server::Outcome Vxi11Server::destroyLink(long id) {
    return {.error = m_links.remove(id) ? 0 : InvalidLinkError};
}

// The procedures rpcgen's dispatcher calls. Returning FALSE sends no reply.
extern "C" {

bool_t create_link_1_svc(Create_LinkParms *, Create_LinkResp *result, struct svc_req *) {
    result->error = 0;
    result->lid = theServer->createLink();
    result->abortPort = 0;
    result->maxRecvSize = Vxi11Server::MaxRecvSize;
    return TRUE;
}

bool_t device_write_1_svc(Device_WriteParms *request, Device_WriteResp *result,
                          struct svc_req *call) {
    const auto outcome = theServer->write(
        request->lid, QByteArrayView(request->data.data_val, request->data.data_len),
        request->flags & EndFlag);
    result->error = outcome.error;
    result->size = outcome.error == 0 ? request->data.data_len : 0;
    if (outcome.closeConnection)
        theServer->closeAfterReply(call->rq_xprt->xp_fd);
    return outcome.answered;
}

bool_t device_read_1_svc(Device_ReadParms *request, Device_ReadResp *result, struct svc_req *) {
    // Outlives this call: the dispatcher sends it afterwards.
    static QByteArray data;
    const auto outcome = theServer->read(request->lid, request->requestSize, request->io_timeout,
                                         data, result->reason);
    result->error = outcome.error;
    result->data.data_val = data.data();
    result->data.data_len = u_int(data.size());
    return outcome.answered;
}

bool_t device_clear_1_svc(Device_GenericParms *request, Device_Error *result, struct svc_req *) {
    const auto outcome = theServer->clear(request->lid);
    result->error = outcome.error;
    return outcome.answered;
}

bool_t destroy_link_1_svc(Device_Link *link, Device_Error *result, struct svc_req *) {
    result->error = theServer->destroyLink(*link).error;
    return TRUE;
}

// Results point into buffers the server keeps; nothing to free.
int device_core_1_freeresult(SVCXPRT *, xdrproc_t, caddr_t) {
    return TRUE;
}

} // extern "C"
