#include "BareClient.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

[[noreturn]] void fail(const char *what) {
    throw std::runtime_error(std::string(what) + ": " + std::strerror(errno));
}

} // namespace

BareClient::BareClient(const char *host, std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (::inet_pton(AF_INET, host, &address.sin_addr) != 1)
        throw std::runtime_error(std::string("not an IPv4 address: ") + host);
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0)
        fail("socket");
    if (::connect(m_fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        ::close(m_fd);
        fail("connect");
    }
    const int on = 1;
    ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

BareClient::~BareClient() {
    ::close(m_fd);
}

void BareClient::write(std::string_view command) {
    m_outgoing.assign(command);
    m_outgoing += '\n';
    for (std::size_t sent = 0; sent < m_outgoing.size();) {
        const ssize_t n =
            ::send(m_fd, m_outgoing.data() + sent, m_outgoing.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno != EINTR)
            fail("send");
        sent += std::size_t(std::max<ssize_t>(n, 0));
    }
}

std::string BareClient::query(std::string_view command) {
    write(command);
    for (;;) {
        if (const auto end = m_buffer.find('\n'); end != std::string::npos) {
            std::string reply = m_buffer.substr(0, end);
            m_buffer.erase(0, end + 1);
            return reply;
        }
        char chunk[4096];
        const ssize_t n = ::recv(m_fd, chunk, sizeof chunk, 0);
        if (n == 0)
            throw std::runtime_error("the simulator closed the connection");
        if (n < 0 && errno != EINTR)
            fail("recv");
        m_buffer.append(chunk, std::size_t(std::max<ssize_t>(n, 0)));
    }
}
