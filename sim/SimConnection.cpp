#include "SimConnection.h"

#include "ReplyFaults.h"

#include <QTcpSocket>

#include <algorithm>
#include <utility>

namespace {

constexpr qint64 TrickleChunk = 64 * 1024;
constexpr int TricklePauseMs = 20;

} // namespace

SimConnection::SimConnection(QTcpSocket *socket, int replyDelayMs, int firstReplyDelayMs,
                             QObject *parent)
    : QObject(parent)
    , m_socket(socket)
    , m_replyDelayMs(std::max(replyDelayMs, 0))
    , m_nextReplyDelayMs(std::max(m_replyDelayMs, firstReplyDelayMs)) {
    m_socket->setParent(this);
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_age.start();
    m_delayTimer.setSingleShot(true);
    m_delayTimer.setTimerType(Qt::PreciseTimer);
    m_trickleTimer.setInterval(TricklePauseMs);
    connect(m_socket, &QTcpSocket::readyRead, this, &SimConnection::readMessages);
    connect(m_socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
    connect(&m_delayTimer, &QTimer::timeout, this, &SimConnection::sendDue);
    connect(&m_trickleTimer, &QTimer::timeout, this, &SimConnection::trickleMore);
}

void SimConnection::send(const QByteArray &bytes) {
    const int delayMs = std::exchange(m_nextReplyDelayMs, m_replyDelayMs);
    if (delayMs == 0 && m_pending.empty()) {
        write(bytes);
        return;
    }
    m_pending.push_back({m_age.elapsed() + delayMs, bytes});
    if (!m_delayTimer.isActive())
        m_delayTimer.start(delayMs);
}

void SimConnection::trickle(qint64 total) {
    m_trickleLeft = total;
    if (!m_trickleTimer.isActive())
        m_trickleTimer.start();
}

void SimConnection::closeWhenSent() {
    m_closing = true;
    if (m_pending.empty())
        m_socket->disconnectFromHost();
}

void SimConnection::abort() {
    // A client that moved on to a new connection may have left messages on
    // this one; it sent them first, so they are carried out first.
    if (!m_closing)
        m_socket->waitForReadyRead(0);
    drop();
}

void SimConnection::drop() {
    m_closing = true;
    m_pending.clear();
    m_delayTimer.stop();
    m_trickleTimer.stop();
    m_socket->abort();
    deleteLater();
}

void SimConnection::readMessages() {
    m_buffer += m_socket->readAll();
    qsizetype start = 0;
    while (!m_closing) {
        const qsizetype end = m_buffer.indexOf('\n', start);
        if (end < 0)
            break;
        QByteArrayView message(m_buffer.constData() + start, end - start);
        start = end + 1;
        if (m_skippingLongLine || message.size() > MaxMessage) {
            if (!m_skippingLongLine)
                emit messageTooLong();
            m_skippingLongLine = false;
            continue;
        }
        if (message.endsWith('\r'))
            message.chop(1);
        ++m_messageCount;
        emit messageReceived(message);
    }
    m_buffer.remove(0, m_closing ? m_buffer.size() : start);
    if (m_buffer.size() > MaxMessage) {
        m_buffer.clear();
        if (!m_skippingLongLine)
            emit messageTooLong();
        m_skippingLongLine = true;
    }
}

void SimConnection::sendDue() {
    const qint64 now = m_age.elapsed();
    while (!m_pending.empty() && m_pending.front().dueMs <= now) {
        write(m_pending.front().bytes);
        m_pending.pop_front();
    }
    if (!m_pending.empty())
        m_delayTimer.start(static_cast<int>(m_pending.front().dueMs - now));
    else if (m_closing)
        m_socket->disconnectFromHost();
}

void SimConnection::trickleMore() {
    // Never more than a little waiting in the socket: the point is a reply
    // that keeps coming slowly, not one that fills memory.
    if (m_trickleLeft <= 0 || m_socket->state() != QAbstractSocket::ConnectedState) {
        m_trickleTimer.stop();
        return;
    }
    if (m_socket->bytesToWrite() > TrickleChunk)
        return;
    const qint64 size = std::min(m_trickleLeft, TrickleChunk);
    write(QByteArray(size, ReplyFaults::Filler));
    m_trickleLeft -= size;
}

void SimConnection::write(const QByteArray &bytes) {
    m_socket->write(bytes);
    m_socket->flush();
}
