#include "ScriptedPeer.h"

#include <chrono>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

ScriptedPeer::ScriptedPeer(Script script)
    : m_script(std::move(script)) {
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
        ::listen(m_listener, 4) == 0 &&
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { serve(); });
}

ScriptedPeer::~ScriptedPeer() {
    m_stopping = true;
    m_thread.join();
    ::close(m_listener);
}

QString ScriptedPeer::descriptor() const {
    return QStringLiteral("TCPIP0::127.0.0.1::%1::SOCKET").arg(m_port);
}

QByteArrayList ScriptedPeer::received() const {
    std::lock_guard lock(m_mutex);
    return m_received;
}

void ScriptedPeer::serve() {
    while (!m_stopping) {
        pollfd watched{m_listener, POLLIN, 0};
        if (::poll(&watched, 1, 20) <= 0)
            continue;
        const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        ++m_connections;
        converse(client);
        ::close(client);
        ++m_hangUps;
    }
}

void ScriptedPeer::converse(int client) {
    QByteArray pending;
    char chunk[65536];
    while (!m_stopping) {
        const qsizetype end = pending.indexOf('\n');
        if (end < 0) {
            pollfd watched{client, POLLIN, 0};
            if (::poll(&watched, 1, 20) <= 0)
                continue;
            const ssize_t got = ::recv(client, chunk, sizeof chunk, 0);
            if (got <= 0)
                return;
            pending.append(chunk, got);
            continue;
        }
        const QByteArray line = pending.left(end);
        pending.remove(0, end + 1);
        {
            std::lock_guard lock(m_mutex);
            m_received << line;
        }
        for (const Step &step : m_script(line)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(step.pauseMsBefore));
            if (step.hangUp)
                return;
            for (qsizetype sent = 0; sent < step.bytes.size();) {
                const ssize_t n = ::send(client, step.bytes.constData() + sent,
                                         step.bytes.size() - sent, MSG_NOSIGNAL);
                if (n <= 0)
                    return;
                sent += n;
            }
        }
    }
}
