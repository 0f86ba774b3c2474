#pragma once

#include "ReplyFaults.h"
#include "RpcConnection.h"
#include "SimOptions.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTimer>

#include <optional>
#include <vector>

class CommandLog;
class PowerSwitch;
class SimScope;

// The scope's VXI-11 core and abort channels on 127.0.0.1, served from the
// event loop on the same scope and command log as the raw socket server,
// with the same faults. Nothing here blocks: a read that must wait for its
// reply, or a call that waits for another link's lock, is answered later,
// so every link is served independently while the scope still takes
// messages one at a time in the order they came.
//
// A complete message (the end flag seen) is logged and carried out at once;
// its reply waits to be read, whole or in pieces, until the next message
// replaces it, as a scope drops an unread reply when told something new.
class Vxi11Server : public QObject {
    Q_OBJECT

public:
    // What the scope takes in one write call, so longer messages arrive in
    // pieces.
    static constexpr quint32 MaxRecvSize = 16 * 1024;

    Vxi11Server(SimScope &scope, CommandLog &log, PowerSwitch &power, const SimOptions &options,
                QObject *parent = nullptr);
    ~Vxi11Server() override;

    // Listens on 127.0.0.1 only; port 0 picks a free one. The abort channel
    // always gets a free port.
    bool listen(quint16 port);
    quint16 port() const { return m_corePort; }
    QString errorString() const { return m_error; }
    // Registers the port with a portmapper running on this machine,
    // replacing any earlier simulator's entry; false if none answers.
    bool registerWithPortmapper();

private:
    // A call still to be answered; one waiting for the lock knows its link
    // and how long it may wait.
    struct Call {
        Call(RpcConnection *from, const RpcConnection::Call &call)
            : connection(from)
            , rpc(call) {}
        QPointer<RpcConnection> connection;
        RpcConnection::Call rpc;
        long link = 0;
        std::optional<qint64> lockDeadlineMs;
    };
    struct PendingRead {
        Call call;
        quint32 requestSize = 0;
        long flags = 0;
        char termChar = 0;
        qint64 deadlineMs = 0;
    };
    // The message going in and the reply going out.
    struct Exchange {
        QByteArray incoming;
        bool skippingLongMessage = false;
        QByteArray reply;
        qsizetype replySent = 0;
        qint64 replyDueMs = 0;
        // Filler after the reply (an oversized block's), and a reply that
        // never ends.
        qint64 fillerLeft = 0;
        bool withholdEnd = false;
        bool replyReady(qint64 nowMs) const {
            return (replySent < reply.size() || fillerLeft > 0) && replyDueMs <= nowMs;
        }
    };
    struct Link {
        long id = 0;
        RpcConnection *owner = nullptr;
        Exchange exchange;
        bool answeredBefore = false;
        std::optional<PendingRead> read;
    };

    void acceptCore();
    void acceptAbort();
    void dispatchCore(const Call &call);
    void dispatchAbort(const Call &call);
    void connectionClosed(RpcConnection *connection);
    void powerOff();
    void powerOn();

    void createLink(Call call);
    void write(Call call);
    void read(Call call);
    void clear(Call call);
    void readStatusByte(Call call);
    void trigger(Call call);
    void answerGeneric(Call call);
    void lock(Call call);
    void unlock(Call call);
    void enableServiceRequest(Call call);
    void destroyLink(Call call);
    void abort(const Call &call);

    // The link a call names, or none after answering it with an error.
    Link *linkFor(const Call &call, long id);
    // The link of a call with the generic parameters once the call may go
    // on, or none when it was answered or waits for the lock.
    Link *admit(Call &call);
    // The link of a call whose only argument is the link.
    Link *namedLink(const Call &call);
    // True when the call may go on: no other link holds the lock. Otherwise
    // it waits for the lock or is answered with an error.
    bool mayProceed(Call &call, long id, long flags, quint32 lockTimeoutMs);
    void releaseLock(long id);
    void answer(const Call &call, QByteArrayView results);
    // Answers with an error code (0: done) and the rest of the result empty.
    void answerCode(const Call &call, long error);
    bool carryOut(Link &link, QByteArrayView message);
    // Answers the link's waiting read if its reply is due or its time is up.
    void serveRead(Link &link);
    void serveWaiting();

    SimScope &m_scope;
    CommandLog &m_log;
    PowerSwitch &m_power;
    QTcpServer m_core;
    QTcpServer m_abort;
    quint16 m_corePort = 0;
    quint16 m_abortPort = 0;
    QString m_error;
    bool m_registered = false;
    QHash<long, Link> m_links;
    long m_nextLink = 1;
    long m_lockHolder = 0;
    std::vector<Call> m_waitingForLock;
    QHash<RpcConnection *, qint64> m_messagesOnConnection;
    QTimer m_wake;
    ReplyFaults m_faults;
    const QHostAddress m_address;
    const int m_linkLimit;
    const bool m_linksOutliveConnection;
    QElapsedTimer m_age;
};
