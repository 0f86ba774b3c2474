#pragma once

#include "Transport.h"

#include <QByteArray>
#include <QString>

// Opens a TCP connection to host:port by `deadline`, trying each address the
// host resolves to in turn, and returns the socket: non-blocking, close on
// exec, with small writes sent at once. Throws TransportError, naming the
// instrument as `peer`, when the host does not resolve or no address takes
// the connection in time.
int connectTcp(const QByteArray &host, quint16 port, Transport::Deadline deadline,
               const QString &peer);
