#include "RpcConnection.h"

#include <QTcpSocket>
#include <QtEndian>

namespace {

constexpr quint32 LastFragment = 0x8000'0000;
constexpr quint32 CallMessage = 0;
constexpr quint32 ReplyMessage = 1;
constexpr quint32 RpcVersion = 2;
constexpr quint32 MaxAuthBytes = 400;

void appendWord(QByteArray &bytes, quint32 word) {
    const quint32 wire = qToBigEndian(word);
    bytes.append(reinterpret_cast<const char *>(&wire), sizeof wire);
}

// Reads the words of a call's header in turn; fails past the end.
class HeaderReader {
public:
    explicit HeaderReader(QByteArrayView bytes)
        : m_bytes(bytes) {}
    bool word(quint32 &value) {
        if (m_bytes.size() - m_at < 4)
            return false;
        value = qFromBigEndian<quint32>(m_bytes.data() + m_at);
        m_at += 4;
        return true;
    }
    // Credentials and verifiers are accepted whatever they say.
    bool skipAuth() {
        quint32 flavor = 0;
        quint32 length = 0;
        if (!word(flavor) || !word(length) || length > MaxAuthBytes)
            return false;
        const qsizetype padded = (qsizetype(length) + 3) & ~3;
        if (m_bytes.size() - m_at < padded)
            return false;
        m_at += padded;
        return true;
    }
    QByteArrayView rest() const { return m_bytes.sliced(m_at); }

private:
    QByteArrayView m_bytes;
    qsizetype m_at = 0;
};

} // namespace

RpcConnection::RpcConnection(QTcpSocket *socket, qsizetype maxRecord, QObject *parent)
    : QObject(parent)
    , m_socket(socket)
    , m_maxRecord(maxRecord) {
    m_socket->setParent(this);
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connect(m_socket, &QTcpSocket::readyRead, this, &RpcConnection::readRecords);
    connect(m_socket, &QTcpSocket::disconnected, this, [this] {
        emit closed();
        deleteLater();
    });
}

void RpcConnection::readRecords() {
    m_buffer += m_socket->readAll();
    while (m_buffer.size() >= 4 && m_socket->state() == QAbstractSocket::ConnectedState) {
        const quint32 mark = qFromBigEndian<quint32>(m_buffer.constData());
        const qsizetype length = mark & ~LastFragment;
        if (m_record.size() + length > m_maxRecord) {
            m_socket->abort();
            return;
        }
        if (m_buffer.size() < 4 + length)
            return;
        m_record += QByteArrayView(m_buffer).sliced(4, length);
        m_buffer.remove(0, 4 + length);
        if (mark & LastFragment)
            handleRecord(std::exchange(m_record, QByteArray()));
    }
}

void RpcConnection::handleRecord(QByteArrayView record) {
    HeaderReader header(record);
    Call call;
    quint32 type = 0;
    quint32 rpcVersion = 0;
    if (!header.word(call.xid) || !header.word(type) || type != CallMessage ||
        !header.word(rpcVersion) || !header.word(call.program) || !header.word(call.version) ||
        !header.word(call.procedure) || !header.skipAuth() || !header.skipAuth()) {
        m_socket->abort();
        return;
    }
    if (rpcVersion != RpcVersion) {
        // Denied, naming the one version spoken.
        QByteArray denied;
        for (const quint32 word :
             {LastFragment | 6 * 4, call.xid, ReplyMessage, 1u, 0u, RpcVersion, RpcVersion})
            appendWord(denied, word);
        m_socket->write(denied);
        return;
    }
    call.arguments = header.rest().toByteArray();
    emit callReceived(call);
}

void RpcConnection::reply(quint32 xid, QByteArrayView results) {
    send(xid, 0, results);
}

void RpcConnection::refuse(const Call &call, Status status, quint32 version) {
    QByteArray versions;
    if (status == Status::ProgramMismatch) {
        appendWord(versions, version);
        appendWord(versions, version);
    }
    send(call.xid, quint32(status), versions);
}

void RpcConnection::send(quint32 xid, quint32 acceptStatus, QByteArrayView body) {
    QByteArray message;
    // Record mark, xid, a reply, accepted, a null verifier, the status.
    for (const quint32 word :
         {LastFragment | quint32(6 * 4 + body.size()), xid, ReplyMessage, 0u, 0u, 0u, acceptStatus})
        appendWord(message, word);
    message += body;
    m_socket->write(message);
}

void RpcConnection::close() {
    m_socket->disconnectFromHost();
}

void RpcConnection::drop() {
    m_socket->abort();
}
