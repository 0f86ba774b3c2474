#pragma once

#include <QByteArray>
#include <QObject>

class QTcpSocket;

// One client connection of an ONC RPC service over TCP: cuts the byte
// stream into records, hands each call on, and sends each reply whenever
// it is ready, so a call that waits never holds up the event loop. It
// deletes itself when the client goes away or sends what is not RPC.
class RpcConnection : public QObject {
    Q_OBJECT

public:
    struct Call {
        quint32 xid = 0;
        quint32 program = 0;
        quint32 version = 0;
        quint32 procedure = 0;
        QByteArray arguments;
    };
    enum class Status : quint32 {
        ProgramUnavailable = 1,
        ProgramMismatch = 2,
        ProcedureUnavailable = 3,
        GarbageArguments = 4,
    };

    // A record (a call) longer than maxRecord ends the connection.
    RpcConnection(QTcpSocket *socket, qsizetype maxRecord, QObject *parent = nullptr);

    void reply(quint32 xid, QByteArrayView results);
    // The call was not carried out; ProgramMismatch tells the one version
    // served.
    void refuse(const Call &call, Status status, quint32 version = 1);
    // Closes once every reply given so far has gone out.
    void close();
    // Ends the connection at once, dropping what was not sent.
    void drop();

signals:
    void callReceived(const RpcConnection::Call &call);
    void closed();

private slots:
    void readRecords();

private:
    void handleRecord(QByteArrayView record);
    void send(quint32 xid, quint32 acceptStatus, QByteArrayView body);

    QTcpSocket *m_socket;
    const qsizetype m_maxRecord;
    QByteArray m_buffer;
    QByteArray m_record;
};
