#pragma once

#include "Transport.h"

#include <QByteArray>
#include <QString>

#include <algorithm>

// How long opening a connection may take within an exchange of `timeout`.
// An instrument that was there a moment ago connects in milliseconds, so a
// reconnect gets about as long as the exchange itself: a scope switched off
// mid-run then holds up each retry for a second rather than three, and Stop
// for two rather than six. The first exchange after a descriptor is set,
// which has the longest timeout, gets the most.
inline std::chrono::milliseconds connectTimeoutFor(std::chrono::milliseconds timeout) {
    using namespace std::chrono_literals;
    return std::clamp<std::chrono::milliseconds>(timeout, 1s, 3s);
}

// Opens a TCP connection to host:port by `deadline`, trying each address the
// host resolves to in turn, and returns the socket: non-blocking, close on
// exec, with small writes sent at once. Throws TransportError, naming the
// instrument as `peer`, when the host does not resolve or no address takes
// the connection in time.
int connectTcp(const QByteArray &host, quint16 port, Transport::Deadline deadline,
               const QString &peer);
