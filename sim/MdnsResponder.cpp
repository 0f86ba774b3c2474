#include "MdnsResponder.h"

#include "DnsMessage.h"

#include <QNetworkDatagram>
#include <QNetworkInterface>

namespace {

const QHostAddress Group(QStringLiteral("224.0.0.251"));
constexpr quint16 MdnsPort = 5353;
// RFC 6762 section 6.7: at most ten seconds in an answer to a one-shot query.
constexpr quint32 Ttl = 10;
constexpr quint16 AnyType = 255;

QNetworkInterface interfaceOf(const QHostAddress &address) {
    const QList<QNetworkInterface> all = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &candidate : all)
        for (const QNetworkAddressEntry &entry : candidate.addressEntries())
            if (entry.ip() == address)
                return candidate;
    return {};
}

} // namespace

MdnsResponder::MdnsResponder(QHostAddress address, quint16 rawPort,
                             std::optional<quint16> vxi11Port, QObject *parent)
    : QObject(parent)
    , m_address(std::move(address))
    , m_rawPort(rawPort)
    , m_vxi11Port(vxi11Port) {
    connect(&m_socket, &QUdpSocket::readyRead, this, &MdnsResponder::answer);
}

bool MdnsResponder::listen() {
    return m_socket.bind(QHostAddress::AnyIPv4, MdnsPort,
                         QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint) &&
           m_socket.joinMulticastGroup(Group, interfaceOf(m_address));
}

void MdnsResponder::answer() {
    while (m_socket.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_socket.receiveDatagram();
        const auto query = DnsMessage::parse(datagram.data());
        if (!query || query->response)
            continue;
        const QByteArray host = "mardock-scopesim.local";
        QList<DnsMessage::Question> asked;
        QList<DnsMessage::Record> answers;
        QList<DnsMessage::Record> additional;
        for (const DnsMessage::Question &question : query->questions) {
            std::optional<quint16> port;
            if (question.name == "_scpi-raw._tcp.local")
                port = m_rawPort;
            else if (question.name == "_vxi-11._tcp.local")
                port = m_vxi11Port;
            if (!port || (question.type != DnsMessage::PTR && question.type != AnyType))
                continue;
            const QByteArray instance = "mardock-scopesim." + question.name;
            asked << question;
            answers << DnsMessage::Record{question.name, DnsMessage::PTR, Ttl, instance, 0, 0};
            additional << DnsMessage::Record{instance, DnsMessage::SRV, Ttl, host, *port, 0};
        }
        if (answers.isEmpty())
            continue;
        additional << DnsMessage::Record{
            host, DnsMessage::A, Ttl, {}, 0, m_address.toIPv4Address()};
        m_socket.writeDatagram(
            DnsMessage::response(query->id, asked, answers + additional, int(answers.size())),
            datagram.senderAddress(), quint16(datagram.senderPort()));
    }
}
