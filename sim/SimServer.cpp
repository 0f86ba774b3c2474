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
    , m_options(options)
    , m_random(options.seed) {
    connect(&m_server, &QTcpServer::newConnection, this, &SimServer::acceptConnection);
    connect(&power, &PowerSwitch::switchedOff, this, &SimServer::powerOff);
    connect(&power, &PowerSwitch::switchedOn, this, &SimServer::powerOn);
}

bool SimServer::listen(quint16 port) {
    const bool listening = m_server.listen(QHostAddress(m_options.address), port);
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
    if (!m_server.listen(QHostAddress(m_options.address), m_port))
        qWarning("mardock-scopesim: cannot listen again on 127.0.0.1:%u after the power cycle: %s",
                 unsigned(m_port), qPrintable(m_server.errorString()));
}

void SimServer::acceptConnection() {
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        if (m_connection)
            m_connection->abort();
        auto *connection =
            new SimConnection(socket, m_options.replyDelayMs, m_options.firstReplyDelayMs, this);
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
    ++m_messages;
    if (!hanging()) {
        m_reply.resize(0);
        if (m_scope.handleMessage(message, m_reply))
            answer(connection);
        if (m_power.cycleIfDue())
            return;
    }
    if (m_options.closeAfter > 0 && connection.messageCount() % m_options.closeAfter == 0)
        connection.closeWhenSent();
}

bool SimServer::hanging() {
    if (!m_options.hangAfter || m_messages <= *m_options.hangAfter)
        return false;
    // The hang starts with the first message after the N-th one.
    if (!m_hang.isValid())
        m_hang.start();
    return m_options.hangMs < 0 || m_hang.elapsed() < m_options.hangMs;
}

void SimServer::answer(SimConnection &connection) {
    if (m_options.oversize) {
        connection.send("#9200000000");
        connection.trickle(OversizeTrickle);
    } else if (m_options.garbage) {
        std::uniform_int_distribution<int> length(1, 64);
        std::uniform_int_distribution<int> byte(0, 255);
        QByteArray junk(length(m_random), '\0');
        for (char &c : junk) {
            // Junk of any byte but the terminator, so it stays one reply.
            do
                c = static_cast<char>(byte(m_random));
            while (c == '\n');
        }
        connection.send(junk + '\n');
    } else if (m_options.unterminated) {
        connection.send(m_reply);
    } else {
        m_reply += '\n';
        connection.send(m_reply);
    }
}
