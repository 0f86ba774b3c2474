#pragma once

#include "SimOptions.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>

#include <memory>
#include <random>

class CommandLog;
class PowerSwitch;
class QSocketNotifier;
class SimScope;

// The scope's VXI-11 core channel on 127.0.0.1, served from the event loop:
// the RPC library's sockets are watched with socket notifiers and each
// request goes through the generated dispatcher to the procedures below, on
// the same scope and command log as the raw socket server, with the same
// faults. There is only ever one server in the process.
//
// A complete message (the end flag seen) is logged and carried out at once;
// its reply waits to be read, whole or in pieces, until the next message
// replaces it, as a scope drops an unread reply when told something new.
class Vxi11Server : public QObject {
    Q_OBJECT

public:
    // What the scope takes in one write call, so longer messages arrive in
    // pieces. A request this size fits one record fragment of the RPC
    // library's default size, which its non-blocking server needs.
    static constexpr quint32 MaxRecvSize = 16 * 1024;

    Vxi11Server(SimScope &scope, CommandLog &log, PowerSwitch &power, const SimOptions &options,
                QObject *parent = nullptr);
    ~Vxi11Server() override;

    // Listens on 127.0.0.1 only; port 0 picks a free one.
    bool listen(quint16 port);
    quint16 port() const { return m_port; }
    QString errorString() const { return m_error; }
    // Registers the port with a portmapper running on this machine,
    // replacing any earlier simulator's entry; false if none answers.
    bool registerWithPortmapper();

    // The procedures, called by the dispatcher. `answered` false: the scope
    // hangs and the call gets no reply at all. Errors are the channel's codes.
    struct Outcome {
        bool answered = true;
        long error = 0;
        bool closeConnection = false;
    };
    long createLink();
    Outcome write(long link, QByteArrayView data, bool end);
    Outcome read(long link, quint32 requestSize, quint32 ioTimeoutMs, QByteArray &data,
                 long &reason);
    Outcome clear(long link);
    Outcome destroyLink(long link);
    // Ends the connection (its socket) a request came on once it is
    // answered.
    void closeAfterReply(int socket);

private:
    struct Link {
        QByteArray incoming;
        bool skippingLongMessage = false;
        QByteArray reply;
        qsizetype replySent = 0;
        qint64 replyDueMs = 0;
        bool answeredBefore = false;
        // Replies to be read that never end: an oversized block's filler.
        qint64 fillerLeft = 0;
        bool withholdEnd = false;
    };

    void serveRequests();
    void watchSockets();
    bool carryOut(Link &link, QByteArrayView message);
    bool hanging();
    void dropConnections();

    SimScope &m_scope;
    CommandLog &m_log;
    PowerSwitch &m_power;
    int m_listener = -1;
    const SimOptions m_options;
    quint16 m_port = 0;
    QString m_error;
    bool m_registered = false;
    QHash<int, QSocketNotifier *> m_notifiers;
    QHash<long, Link> m_links;
    long m_nextLink = 1;
    std::mt19937_64 m_random;
    QElapsedTimer m_age;
    qint64 m_messages = 0;
    qint64 m_messagesOnConnection = 0;
    QElapsedTimer m_hang;
    int m_closing = -1;
};
