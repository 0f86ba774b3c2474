#include "ConnectTcp.h"

#include "TransportError.h"
#include "WaitUntilReady.h"

#include <cerrno>
#include <cstring>
#include <memory>

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

int connectTcp(const QByteArray &host, quint16 port, Transport::Deadline deadline,
               const QString &peer) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo *found = nullptr;
    const int resolved =
        ::getaddrinfo(host.constData(), QByteArray::number(port).constData(), &hints, &found);
    if (resolved != 0)
        throw TransportError(
            QStringLiteral("cannot resolve %1: %2")
                .arg(QString::fromUtf8(host), QString::fromLocal8Bit(::gai_strerror(resolved))));
    const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> addresses(found, ::freeaddrinfo);

    QString reason;
    for (const addrinfo *address = found; address; address = address->ai_next) {
        const int fd =
            ::socket(address->ai_family, address->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                     address->ai_protocol);
        if (fd < 0) {
            reason = QString::fromLocal8Bit(std::strerror(errno));
            continue;
        }
        int error = ::connect(fd, address->ai_addr, address->ai_addrlen) == 0 ? 0 : errno;
        // An interrupted connect goes on in the background like one in progress.
        if (error == EINPROGRESS || error == EINTR) {
            if (const auto failure = waitUntilReady(fd, POLLOUT, deadline, "the connection")) {
                ::close(fd);
                throw TransportError(
                    QStringLiteral("cannot connect to %1: %2").arg(peer, *failure));
            }
            socklen_t length = sizeof error;
            if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
                error = errno;
        }
        if (error == 0) {
            const int on = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            return fd;
        }
        reason = QString::fromLocal8Bit(std::strerror(error));
        ::close(fd);
    }
    throw TransportError(QStringLiteral("cannot connect to %1: %2").arg(peer, reason));
}
