#pragma once

#include "Transport.h"

#include <QByteArray>
#include <QString>

// Raw TCP socket to an instrument (TCPIP::host::port::SOCKET), on plain
// non-blocking POSIX sockets so every operation blocks for a bounded,
// predictable time: poll() against a monotonic deadline, one poll and one
// send or recv per step, no allocation per exchange beyond a reply that
// outgrows the receive buffer.
//
// The connection opens lazily, on a write, within connectTimeoutFor(). Any
// failure closes it, so a reply that arrives after its query timed out dies
// with the connection and never answers a later query; the next write
// reconnects. A write first notices a connection the instrument has closed
// and reconnects instead of losing the command.
class SocketTransport : public Transport {
public:
    static constexpr qsizetype MaxReplyBytes = 64 * 1024 * 1024;

    SocketTransport(const QString &host, quint16 port);
    ~SocketTransport() override;
    SocketTransport(const SocketTransport &) = delete;
    SocketTransport &operator=(const SocketTransport &) = delete;

    // Appends a line feed to the message.
    void write(QByteArrayView message, std::chrono::milliseconds timeout) override;
    // Replies are framed as ReplyFramer says.
    QByteArrayView read(char terminator, std::chrono::milliseconds timeout) override;
    void drop(char terminator, std::chrono::milliseconds timeout) override;
    // Closes the connection: the only sure way to drop what a raw socket has
    // in flight. The next write reconnects.
    void clear() override;

private:
    void open(std::chrono::milliseconds timeout);
    void close();
    // The connection ended without our asking: a failure or the instrument.
    void lose();
    [[noreturn]] void failAndClose(const QString &reason);
    void discardPending();
    // One reply; a dropped one is let go of as it arrives and comes back
    // empty.
    QByteArrayView take(char terminator, std::chrono::milliseconds timeout, bool keep);
    void waitFor(short events, Deadline deadline, const char *waitingFor);
    void receive(Deadline deadline);
    QString peer() const;

    QByteArray m_host;
    quint16 m_port;
    int m_fd = -1;
    // Bytes received; the reply being assembled starts at 0.
    QByteArray m_buffer;
    // Bytes of m_buffer handed out by the last read, terminator included.
    qsizetype m_consumed = 0;
    // The last reply was a block whose optional terminator had not arrived.
    bool m_terminatorMayFollow = false;
};
