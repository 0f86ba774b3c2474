#pragma once

#include "ReplyFaults.h"
#include "SimOptions.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>

class CommandLog;
class PowerSwitch;
class SimConnection;
class SimScope;

// The scope's raw socket port on 127.0.0.1: one client at a time (a new
// connection replaces the old one, as a client that reconnects after a
// timeout must be served), every message logged and handed to the scope,
// and the faults of the options injected on the way.
class SimServer : public QObject {
    Q_OBJECT

public:
    SimServer(SimScope &scope, CommandLog &log, PowerSwitch &power, const SimOptions &options,
              QObject *parent = nullptr);

    // Listens on 127.0.0.1 only; port 0 picks a free one.
    bool listen(quint16 port);
    quint16 port() const { return m_server.serverPort(); }
    QString errorString() const { return m_server.errorString(); }

private slots:
    void acceptConnection();
    void powerOff();
    void powerOn();

private:
    void handleMessage(SimConnection &connection, QByteArrayView message);
    void answer(SimConnection &connection);

    SimScope &m_scope;
    CommandLog &m_log;
    PowerSwitch &m_power;
    ReplyFaults m_faults;
    const QHostAddress m_address;
    QTcpServer m_server;
    quint16 m_port = 0;
    QPointer<SimConnection> m_connection;
    QByteArray m_reply;
};
