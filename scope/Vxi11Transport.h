#pragma once

#include "Transport.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <vector>

// A LAN instrument over VXI-11 (TCPIP::host[::name]::INSTR): ONC RPC calls
// on the instrument's core channel over one TCP connection, found through
// the portmapper on the instrument's host unless its port is given.
//
// Every step is bounded: the connection opens within connectTimeoutFor() on a
// socket connected by us (never by the RPC library, which would wait far
// longer on a dead host), and each call waits no longer than the time left
// of its operation. The instrument is told a little less than that as its
// own timeout, so it normally reports an overdue reply itself and the link
// survives; the reply it may still produce is cleared before the next
// command. A call that gets no answer at all drops the connection, so a late
// answer can never be taken for a later call's; the next write reconnects
// and clears the instrument before its command. A link given up on is always
// ended (destroy_link), since some instruments keep links whose connection
// closed and run out of them.
class Vxi11Transport : public Transport {
public:
    static constexpr qsizetype MaxReplyBytes = 64 * 1024 * 1024;
    static constexpr std::chrono::seconds ClearTimeout{2};

    // corePort 0: ask the portmapper on `host` for it.
    Vxi11Transport(const QString &host, const QString &deviceName, quint16 corePort = 0);
    ~Vxi11Transport() override;
    Vxi11Transport(const Vxi11Transport &) = delete;
    Vxi11Transport &operator=(const Vxi11Transport &) = delete;

    // Sends the message as is, its last piece flagged as the end; a message
    // longer than the instrument takes in one call goes in several.
    void write(QByteArrayView message, std::chrono::milliseconds timeout) override;
    // Reads until the instrument flags the end, then frames the reply as
    // ReplyFramer says (the terminator and a "\r" before it dropped).
    QByteArrayView read(char terminator, std::chrono::milliseconds timeout) override;
    // Reads until the end is flagged, each piece let go of as it arrives.
    void drop(char terminator, std::chrono::milliseconds timeout) override;
    // The instrument's own device clear; a link that does not answer it is
    // dropped instead.
    void clear() override;

private:
    struct Link;

    // Reads until the instrument flags the end, into m_reply if `keep`.
    void receive(std::chrono::milliseconds timeout, bool keep);
    void open(std::chrono::milliseconds timeout);
    void dropLink();
    // True when the instrument answered destroy_link.
    bool endLink(Link &link) const;
    void abortCall(const Link &link) const;
    // Ends, on `on`'s connection, the links given up on earlier; false when
    // the instrument stopped answering.
    bool endEarlierLinks(Link &on, Deadline deadline);
    [[noreturn]] void failAndClose(const QString &reason);
    int connectTo(quint16 port, Deadline deadline) const;
    quint16 lookUpCorePort(Deadline deadline) const;
    void clearLink(Deadline deadline);
    QString peer() const;

    QByteArray m_host;
    QByteArray m_deviceName;
    quint16 m_corePort;
    std::unique_ptr<Link> m_link;
    // Links given up on whose end went unanswered.
    std::vector<long> m_linksToEnd;
    bool m_clearOnOpen = false;
    QByteArray m_reply;
};
