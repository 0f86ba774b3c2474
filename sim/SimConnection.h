#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <deque>

class QTcpSocket;

// One client of the simulated scope: cuts the byte stream into messages at
// line feeds and sends replies, after an optional delay and in order. It
// deletes itself when the client goes away.
class SimConnection : public QObject {
    Q_OBJECT

public:
    // A line longer than this is dropped rather than buffered without end.
    static constexpr qsizetype MaxMessage = 16 * 1024 * 1024;

    // Replies leave replyDelayMs after their message came in, the first one
    // at least firstReplyDelayMs after.
    SimConnection(QTcpSocket *socket, int replyDelayMs, int firstReplyDelayMs,
                  QObject *parent = nullptr);

    // Messages received so far on this connection.
    int messageCount() const { return m_messageCount; }
    void send(const QByteArray &bytes);
    // Sends `total` filler bytes a piece at a time with pauses between.
    void trickle(qint64 total);
    // Closes as soon as everything queued has gone out.
    void closeWhenSent();
    void abort();
    // Ends the connection at once, dropping whatever is unsent or unread.
    void drop();

signals:
    void messageReceived(QByteArrayView message);
    void messageTooLong();

private slots:
    void readMessages();
    void sendDue();
    void trickleMore();

private:
    void write(const QByteArray &bytes);

    struct Pending {
        qint64 dueMs;
        QByteArray bytes;
    };

    QTcpSocket *m_socket;
    const int m_replyDelayMs;
    int m_nextReplyDelayMs;
    QByteArray m_buffer;
    int m_messageCount = 0;
    bool m_closing = false;
    bool m_skippingLongLine = false;
    QElapsedTimer m_age;
    std::deque<Pending> m_pending;
    QTimer m_delayTimer;
    QTimer m_trickleTimer;
    qint64 m_trickleLeft = 0;
};
