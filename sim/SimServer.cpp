#include "SimServer.h"

#include "CommandLog.h"
#include "PowerSwitch.h"
#include "SimConnection.h"
#include "SimScope.h"

#include <QTcpSocket>

SimServer::SimServer(SimScope &scope, CommandLog &log, PowerSwitch &power,
                     const SimOptions &options, QObject *parent)
    : QObject(parent)
    , m_scope(scope)
    , m_log(log)
    , m_power(power)
    , m_faults(options)
    , m_address(options.address) {
    connect(&m_server, &QTcpServer::newConnection, this, &SimServer::acceptConnection);
    connect(&power, &PowerSwitch::switchedOff, this, &SimServer::powerOff);
    connect(&power, &PowerSwitch::switchedOn, this, &SimServer::powerOn);
}

bool SimServer::listen(quint16 port) {
    const bool listening = m_server.listen(m_address, port);
    m_port = m_server.serverPort();
    return listening;
}

void SimServer::powerOff() {
    // A scope without power answers nothing: connecting is refused and its
    // link drops, in that order, so a client that sees the drop finds the
    // port already closed.
    m_server.close();
    if (m_connection)
        m_connection->drop();
}

void SimServer::powerOn() {
    if (!m_server.listen(m_address, m_port))
        qWarning("mardock-scopesim: cannot listen again on 127.0.0.1:%u after the power cycle: %s",
                 unsigned(m_port), qPrintable(m_server.errorString()));
}

void SimServer::acceptConnection() {
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        if (m_connection)
            m_connection->abort();
        auto *connection = new SimConnection(socket, m_faults.replyDelayMs(false),
                                             m_faults.replyDelayMs(true), this);
        connect(
            connection, &SimConnection::messageReceived, this,
            [this, connection](QByteArrayView message) { handleMessage(*connection, message); });
        connect(connection, &SimConnection::messageTooLong, this,
                [this] { m_scope.queueEvent(-223, "Too much data"); });
        m_connection = connection;
    }
}

void SimServer::handleMessage(SimConnection &connection, QByteArrayView message) {
    m_log.append(message);
    if (!m_faults.hangsOnMessage()) {
        m_reply.resize(0);
        if (m_scope.handleMessage(message, m_reply))
            answer(connection);
        if (m_power.cycleIfDue())
            return;
    }
    if (m_faults.closesAfter(connection.messageCount()))
        connection.closeWhenSent();
}

void SimServer::answer(SimConnection &connection) {
    const ReplyFaults::Reply reply = m_faults.shape(m_reply);
    connection.send(reply.bytes);
    if (reply.filler > 0)
        connection.trickle(reply.filler);
}
