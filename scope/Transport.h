#pragma once

#include <QByteArrayView>
#include <chrono>
#include <utility>

// One way of carrying messages to an instrument (raw socket, VXI-11, USBTMC).
// Each operation returns, or throws TransportError, within its timeout (plus
// the bounded time to open a connection); a failure leaves the transport
// ready to try again on the next operation.
class Transport {
public:
    using Deadline = std::chrono::steady_clock::time_point;

    virtual ~Transport() = default;

    // Sends one message; the transport ends it in its own way.
    virtual void write(QByteArrayView message, std::chrono::milliseconds timeout) = 0;
    // Reads one reply without its terminator. The view stays valid until the
    // next call on the transport. A definite-length block ("#<n><len><bytes>")
    // comes back whole and raw, whatever bytes it holds.
    virtual QByteArrayView read(char terminator, std::chrono::milliseconds timeout) = 0;
    // Reads one reply to its end as read() does, bounded the same way, but
    // lets go of its bytes as they arrive: however long the reply, the
    // transport holds no more of it than one chunk.
    virtual void drop(char terminator, std::chrono::milliseconds timeout) = 0;
    // Drops anything pending in either direction. Never fails for an
    // instrument that has gone away.
    virtual void clear() = 0;

    // A connection (link, open device) stands; otherwise the next operation
    // opens one.
    bool connected() const { return m_connected; }
    // True once a connection was opened again after one was lost to a
    // failure or to the instrument (not closed by clear()); reading resets it.
    bool takeReopened() { return std::exchange(m_reopened, false); }

protected:
    void connectionOpened() {
        m_connected = true;
        m_reopened = m_reopened || m_lost;
        m_lost = false;
    }
    void connectionClosed() { m_connected = false; }
    void connectionLost() {
        m_lost = m_lost || m_connected;
        m_connected = false;
    }

private:
    bool m_connected = false;
    bool m_lost = false;
    bool m_reopened = false;
};
