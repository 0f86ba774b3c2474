#include "ConnectTcp.h"

#include "TransportError.h"
#include "WaitUntilReady.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Addresses = std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)>;

// One name lookup, shared by the thread that runs it and the one waiting for
// it, so either may go first.
struct Lookup {
    Lookup()
        : done(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~Lookup() {
        ::close(done);
        if (found)
            ::freeaddrinfo(found);
    }
    int done;
    // Hands the results over: the descriptor only wakes the waiter, and a
    // wake-up through the kernel orders no memory for the language.
    std::mutex handover;
    int result = 0;
    addrinfo *found = nullptr;
};

QString lookupError(const QByteArray &host, int code) {
    return QStringLiteral("cannot resolve %1: %2")
        .arg(QString::fromUtf8(host), QString::fromLocal8Bit(::gai_strerror(code)));
}

// A numeric address is taken at once. A name is looked up on a thread of its
// own, because getaddrinfo() cannot be bounded or cancelled: a lookup that
// outlives the deadline (or a cancel) is left to finish on its own.
Addresses resolve(const QByteArray &host, quint16 port, Transport::Deadline deadline) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV | AI_NUMERICHOST;
    const QByteArray service = QByteArray::number(port);
    addrinfo *found = nullptr;
    const int numeric = ::getaddrinfo(host.constData(), service.constData(), &hints, &found);
    if (numeric == 0)
        return Addresses(found, ::freeaddrinfo);
    if (numeric != EAI_NONAME)
        throw TransportError(lookupError(host, numeric));

    hints.ai_flags = AI_NUMERICSERV;
    auto lookup = std::make_shared<Lookup>();
    if (lookup->done < 0)
        throw TransportError(lookupError(host, EAI_SYSTEM));
    std::thread([lookup, host, service, hints] {
        addrinfo *found = nullptr;
        const int result = ::getaddrinfo(host.constData(), service.constData(), &hints, &found);
        {
            const std::lock_guard held(lookup->handover);
            lookup->result = result;
            lookup->found = found;
        }
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(lookup->done, &one, sizeof one);
    }).detach();
    if (const auto failure = waitUntilReady(lookup->done, POLLIN, deadline, "the host name"))
        throw TransportError(
            QStringLiteral("cannot resolve %1: %2").arg(QString::fromUtf8(host), *failure));
    const std::lock_guard held(lookup->handover);
    if (lookup->result != 0)
        throw TransportError(lookupError(host, lookup->result));
    return Addresses(std::exchange(lookup->found, nullptr), ::freeaddrinfo);
}

} // namespace

int connectTcp(const QByteArray &host, quint16 port, Transport::Deadline deadline,
               const QString &peer) {
    const Addresses addresses = resolve(host, port, deadline);
    const addrinfo *found = addresses.get();

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
