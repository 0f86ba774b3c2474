#include "SocketTransport.h"

#include "ReplyFramer.h"
#include "TransportError.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

using namespace std::chrono;

namespace {

constexpr qsizetype ReceiveChunk = 64 * 1024;
// A buffer grown by a large reply is given back once it is this big and idle.
constexpr qsizetype KeptBufferBytes = 1024 * 1024;

QString systemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

SocketTransport::SocketTransport(const QString &host, quint16 port)
    : m_host(host.toUtf8())
    , m_port(QByteArray::number(port)) {}

SocketTransport::~SocketTransport() {
    close();
}

QString SocketTransport::peer() const {
    const QString host = QString::fromUtf8(m_host);
    return QStringLiteral("%1:%2").arg(host.contains(QLatin1Char(':')) ? '[' + host + ']' : host,
                                       QString::fromLatin1(m_port));
}

void SocketTransport::open() {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo *found = nullptr;
    const int resolved = ::getaddrinfo(m_host.constData(), m_port.constData(), &hints, &found);
    if (resolved != 0)
        throw TransportError(
            QStringLiteral("cannot resolve %1: %2")
                .arg(QString::fromUtf8(m_host), QString::fromLocal8Bit(::gai_strerror(resolved))));
    const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> addresses(found, ::freeaddrinfo);

    const Deadline deadline = steady_clock::now() + ConnectTimeout;
    QString reason;
    for (const addrinfo *address = found; address; address = address->ai_next) {
        m_fd = ::socket(address->ai_family, address->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                        address->ai_protocol);
        if (m_fd < 0) {
            reason = systemError(errno);
            continue;
        }
        int error = 0;
        if (::connect(m_fd, address->ai_addr, address->ai_addrlen) != 0) {
            error = errno;
            if (error == EINPROGRESS) {
                try {
                    waitFor(POLLOUT, deadline, "the connection");
                } catch (const TransportError &timeout) {
                    throw TransportError(
                        QStringLiteral("cannot connect to %1: %2").arg(peer(), timeout.reason()));
                }
                socklen_t length = sizeof error;
                if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
                    error = errno;
            }
        }
        if (error == 0) {
            const int on = 1;
            ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            return;
        }
        reason = systemError(error);
        close();
    }
    throw TransportError(QStringLiteral("cannot connect to %1: %2").arg(peer(), reason));
}

void SocketTransport::close() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_buffer = QByteArray();
    m_consumed = 0;
    m_terminatorMayFollow = false;
}

void SocketTransport::failAndClose(const QString &reason) {
    close();
    throw TransportError(reason);
}

void SocketTransport::waitFor(short events, Deadline deadline, const char *waitingFor) {
    for (;;) {
        const auto remaining = ceil<milliseconds>(deadline - steady_clock::now()).count();
        if (remaining <= 0)
            failAndClose(QStringLiteral("timed out waiting for %1").arg(QLatin1String(waitingFor)));
        pollfd watched{m_fd, events, 0};
        const int ready =
            ::poll(&watched, 1, int(std::min<decltype(remaining)>(remaining, INT_MAX)));
        if (ready > 0)
            return;
        if (ready < 0 && errno != EINTR)
            failAndClose(systemError(errno));
    }
}

// Whatever is waiting to be read before a command is sent belongs to no
// query of ours (an unrequested line, the late tail of a block): drop it.
// A pending end of stream or error means the instrument closed the link.
void SocketTransport::discardPending() {
    m_buffer.truncate(0);
    m_consumed = 0;
    pollfd watched{m_fd, POLLIN, 0};
    if (::poll(&watched, 1, 0) <= 0)
        return;
    if (watched.revents & (POLLERR | POLLHUP | POLLNVAL)) {
        close();
        return;
    }
    char scrap[4096];
    for (;;) {
        const ssize_t got = ::recv(m_fd, scrap, sizeof scrap, MSG_DONTWAIT);
        if (got > 0) {
            m_terminatorMayFollow = false;
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        close();
        return;
    }
}

void SocketTransport::write(QByteArrayView message, milliseconds timeout) {
    if (m_fd >= 0)
        discardPending();
    if (m_fd < 0)
        open();
    const Deadline deadline = steady_clock::now() + timeout;

    char lineFeed = '\n';
    iovec parts[2] = {{const_cast<char *>(message.data()), size_t(message.size())}, {&lineFeed, 1}};
    msghdr outgoing{};
    outgoing.msg_iov = parts;
    outgoing.msg_iovlen = 2;
    for (;;) {
        const ssize_t sent = ::sendmsg(m_fd, &outgoing, MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                waitFor(POLLOUT, deadline, "the instrument to accept the command");
            else if (errno != EINTR)
                failAndClose(
                    QStringLiteral("sending to %1 failed: %2").arg(peer(), systemError(errno)));
            continue;
        }
        // Skip what went out; done when both parts have.
        size_t left = size_t(sent);
        while (outgoing.msg_iovlen > 0 && left >= outgoing.msg_iov->iov_len) {
            left -= outgoing.msg_iov->iov_len;
            ++outgoing.msg_iov;
            --outgoing.msg_iovlen;
        }
        if (outgoing.msg_iovlen == 0)
            return;
        outgoing.msg_iov->iov_base = static_cast<char *>(outgoing.msg_iov->iov_base) + left;
        outgoing.msg_iov->iov_len -= left;
    }
}

void SocketTransport::receive(Deadline deadline) {
    waitFor(POLLIN, deadline, "a reply");
    const qsizetype held = m_buffer.size();
    if (m_buffer.capacity() < held + ReceiveChunk)
        m_buffer.reserve(
            std::max(std::min(2 * m_buffer.capacity(), MaxReplyBytes + 2 * ReceiveChunk),
                     held + ReceiveChunk));
    m_buffer.resize(held + ReceiveChunk);
    ssize_t got = 0;
    do {
        got = ::recv(m_fd, m_buffer.data() + held, ReceiveChunk, 0);
    } while (got < 0 && errno == EINTR);
    m_buffer.truncate(held + std::max<ssize_t>(got, 0));
    if (got == 0)
        failAndClose(QStringLiteral("%1 closed the connection").arg(peer()));
    if (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
        failAndClose(
            QStringLiteral("receiving from %1 failed: %2").arg(peer(), systemError(errno)));
}

QByteArrayView SocketTransport::read(char terminator, milliseconds timeout) {
    if (m_fd < 0)
        throw TransportError(QStringLiteral("no connection to read a reply from"));
    const Deadline deadline = steady_clock::now() + timeout;
    m_buffer.remove(0, m_consumed);
    m_consumed = 0;
    if (m_buffer.isEmpty() && m_buffer.capacity() > KeptBufferBytes)
        m_buffer = QByteArray();

    ReplyFramer framer(terminator, MaxReplyBytes);
    for (;;) {
        if (m_terminatorMayFollow && !m_buffer.isEmpty()) {
            m_terminatorMayFollow = false;
            if (m_buffer.front() == terminator)
                m_buffer.remove(0, 1);
        }
        std::optional<ReplyFramer::Frame> frame;
        try {
            frame = framer.find(m_buffer);
        } catch (const TransportError &error) {
            failAndClose(error.reason());
        }
        if (frame) {
            m_consumed = frame->consumed;
            m_terminatorMayFollow = frame->terminatorMayFollow;
            return QByteArrayView(m_buffer.constData(), frame->length);
        }
        receive(deadline);
    }
}

void SocketTransport::clear() {
    close();
}
