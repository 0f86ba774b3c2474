#include "SocketTransport.h"

#include "ConnectTcp.h"
#include "ReplyFramer.h"
#include "TransportError.h"
#include "WaitUntilReady.h"

#include <cerrno>
#include <cstring>

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
    , m_port(port) {}

SocketTransport::~SocketTransport() {
    close();
}

QString SocketTransport::peer() const {
    const QString host = QString::fromUtf8(m_host);
    return QStringLiteral("%1:%2").arg(host.contains(QLatin1Char(':')) ? '[' + host + ']' : host,
                                       QString::number(m_port));
}

void SocketTransport::open(milliseconds timeout) {
    m_fd = connectTcp(m_host, m_port, steady_clock::now() + connectTimeoutFor(timeout), peer());
    connectionOpened();
}

void SocketTransport::close() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    connectionClosed();
    m_buffer = QByteArray();
    m_consumed = 0;
    m_terminatorMayFollow = false;
}

void SocketTransport::lose() {
    connectionLost();
    close();
}

void SocketTransport::failAndClose(const QString &reason) {
    lose();
    throw TransportError(reason);
}

void SocketTransport::waitFor(short events, Deadline deadline, const char *waitingFor) {
    if (const auto failure = waitUntilReady(m_fd, events, deadline, waitingFor))
        failAndClose(*failure);
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
        lose();
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
        lose();
        return;
    }
}

void SocketTransport::write(QByteArrayView message, milliseconds timeout) {
    if (m_fd >= 0)
        discardPending();
    if (m_fd < 0)
        open(timeout);
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
    return take(terminator, timeout, true);
}

void SocketTransport::drop(char terminator, milliseconds timeout) {
    take(terminator, timeout, false);
}

QByteArrayView SocketTransport::take(char terminator, milliseconds timeout, bool keep) {
    if (m_fd < 0)
        throw TransportError(QStringLiteral("no connection to read a reply from"));
    Deadline deadline = steady_clock::now() + timeout;
    m_buffer.remove(0, m_consumed);
    m_consumed = 0;
    if (m_buffer.isEmpty() && m_buffer.capacity() > KeptBufferBytes)
        m_buffer = QByteArray();

    ReplyFramer framer(terminator, MaxReplyBytes);
    // Bytes at the front of m_buffer the framer has seen, and bytes of the
    // reply let go of before m_buffer's front.
    qsizetype examined = 0;
    qsizetype dropped = 0;
    for (;;) {
        if (m_terminatorMayFollow && !m_buffer.isEmpty()) {
            m_terminatorMayFollow = false;
            if (m_buffer.front() == terminator)
                m_buffer.remove(0, 1);
        }
        std::optional<ReplyFramer::Frame> frame;
        try {
            frame = framer.findNext(QByteArrayView(m_buffer).sliced(examined));
        } catch (const TransportError &error) {
            failAndClose(error.reason());
        }
        if (frame) {
            m_consumed = frame->consumed - dropped;
            m_terminatorMayFollow = frame->terminatorMayFollow;
            return keep ? QByteArrayView(m_buffer.constData(), frame->length) : QByteArrayView();
        }
        if (keep) {
            examined = m_buffer.size();
        } else {
            dropped += m_buffer.size();
            m_buffer.truncate(0);
        }
        // The timeout bounds silence: a reply that keeps arriving completes.
        receive(deadline);
        deadline = steady_clock::now() + timeout;
    }
}

void SocketTransport::clear() {
    close();
}
