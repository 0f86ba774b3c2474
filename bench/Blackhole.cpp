#include "Blackhole.h"

#include <QString>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

sockaddr_in loopback(quint16 port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

// Starts a connect and tells whether it completed within `waitMs`.
bool connects(int fd, quint16 port, int waitMs) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    const sockaddr_in address = loopback(port);
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0)
        return true;
    pollfd waiting{fd, POLLOUT, 0};
    return ::poll(&waiting, 1, waitMs) == 1;
}

} // namespace

Blackhole::Blackhole() {
    m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (m_listener < 0 ||
        ::bind(m_listener, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(m_listener, 0) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        throw std::runtime_error("cannot listen on 127.0.0.1");
    m_port = ntohs(address.sin_port);
    // Fill until a connect hangs; that one stays in SYN-SENT as a filler too.
    for (int i = 0; i < 16; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        m_fillers.push_back(fd);
        if (!connects(fd, m_port, 200))
            return;
    }
    close();
    throw std::runtime_error("the listener's queue did not fill");
}

Blackhole::~Blackhole() {
    close();
}

void Blackhole::close() {
    for (const int fd : m_fillers)
        ::close(fd);
    m_fillers.clear();
    if (m_listener >= 0)
        ::close(m_listener);
    m_listener = -1;
}

QString Blackhole::descriptor() const {
    return QStringLiteral("TCPIP0::127.0.0.1::%1::SOCKET").arg(m_port);
}
