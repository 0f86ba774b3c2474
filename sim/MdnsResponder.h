#pragma once

#include <QHostAddress>
#include <QObject>
#include <QUdpSocket>
#include <optional>

// Answers mDNS one-shot queries (RFC 6762 section 5.1) as a LAN scope does:
// a question for _scpi-raw._tcp.local, or for _vxi-11._tcp.local when the
// VXI-11 channel is served, gets a PTR record naming the instance, with its
// SRV record (host and port) and the host's A record. The answer goes back
// to the asker's own address and port, carrying its question and id again.
class MdnsResponder : public QObject {
    Q_OBJECT

public:
    MdnsResponder(QHostAddress address, quint16 rawPort, std::optional<quint16> vxi11Port,
                  QObject *parent = nullptr);

    // Joins the mDNS group on the interface that holds the address.
    bool listen();
    QString errorString() const { return m_socket.errorString(); }

private:
    void answer();

    QUdpSocket m_socket;
    QHostAddress m_address;
    quint16 m_rawPort;
    std::optional<quint16> m_vxi11Port;
};
