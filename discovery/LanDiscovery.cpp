#include "LanDiscovery.h"

#include "DnsMessage.h"
#include "LanInterfaces.h"
#include "PortmapperCall.h"

#include <QHostAddress>
#include <QRandomGenerator>
#include <QSet>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace {

const QByteArray Vxi11Service = "_vxi-11._tcp.local";
const QByteArray RawService = "_scpi-raw._tcp.local";
const QByteArray LxiService = "_lxi._tcp.local";
constexpr quint32 MdnsGroup = 0xe00000fb; // 224.0.0.251
constexpr quint16 MdnsPort = 5353;
// The largest mDNS message (RFC 6762 section 17).
constexpr int MaxDatagram = 9000;

QString hostText(quint32 address) {
    return QHostAddress(address).toString();
}

QString instrDescriptor(quint32 address) {
    return QStringLiteral("TCPIP0::%1::inst0::INSTR").arg(hostText(address));
}

bool ofService(const QByteArray &name, const QByteArray &service) {
    return name == service || name.endsWith('.' + service);
}

sockaddr_in socketAddress(quint32 address, quint16 port) {
    sockaddr_in out{};
    out.sin_family = AF_INET;
    out.sin_addr.s_addr = htonl(address);
    out.sin_port = htons(port);
    return out;
}

struct Endpoint {
    int socket = -1;
    bool mdns = false;
    quint32 to = 0;
};

// A socket bound to the interface's own address, so replies come back to it
// and what it sends leaves through that interface.
int openOn(const LanInterface &lan, bool mdns) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    const int on = 1;
    const int hops = 255; // RFC 6762 section 11
    const in_addr source{htonl(lan.address)};
    const sockaddr_in local = socketAddress(lan.address, 0);
    const bool ready =
        (mdns ? setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &source, sizeof source) == 0 &&
                    setsockopt(fd, IPPROTO_IP, IP_MULTICAST_TTL, &hops, sizeof hops) == 0
              : setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) == 0) &&
        bind(fd, reinterpret_cast<const sockaddr *>(&local), sizeof local) == 0;
    if (!ready) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

QStringList LanDiscovery::fromPortmapper(QByteArrayView datagram, quint32 xid, quint32 source) {
    if (!PortmapperCall::replyPort(datagram, xid))
        return {};
    return {instrDescriptor(source)};
}

QStringList LanDiscovery::fromMdns(QByteArrayView datagram, quint16 id, quint32 source) {
    const auto message = DnsMessage::parse(datagram);
    if (!message || !message->response || message->id != id)
        return {};
    // An instance's host is named by its SRV record and resolved by an A
    // record in the same answer; a responder that leaves the A out is taken
    // to be that host itself. An A record cannot send the search to this
    // computer's own loopback, nor to no host or to a group.
    auto addressOf = [&](const QByteArray &host) {
        for (const DnsMessage::Record &record : message->records) {
            const quint8 first = quint8(record.address >> 24);
            if (record.type == DnsMessage::A && record.name == host && first != 0 && first != 127 &&
                first < 224)
                return record.address;
        }
        return source;
    };
    // An instance with an SRV record is taken from that, not from its PTR.
    auto described = [&](const QByteArray &instance) {
        for (const DnsMessage::Record &record : message->records)
            if (record.type == DnsMessage::SRV && record.name == instance)
                return true;
        return false;
    };
    QStringList found;
    for (const DnsMessage::Record &record : message->records) {
        const bool instr =
            ofService(record.name, Vxi11Service) || ofService(record.name, LxiService);
        if (record.type == DnsMessage::SRV && ofService(record.name, RawService) && record.port)
            found << QStringLiteral("TCPIP0::%1::%2::SOCKET")
                         .arg(hostText(addressOf(record.target)))
                         .arg(record.port);
        else if (record.type == DnsMessage::SRV && instr)
            found << instrDescriptor(addressOf(record.target));
        else if (record.type == DnsMessage::PTR && instr && !described(record.target))
            found << instrDescriptor(source);
    }
    found.removeDuplicates();
    return found;
}

void LanDiscovery::search(std::chrono::milliseconds within, const Found &found) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = Clock::now() + within;
    const Clock::time_point askAgain = Clock::now() + within / 3;
    bool askedAgain = false;
    const quint32 xid = QRandomGenerator::global()->generate();
    const auto id = quint16(QRandomGenerator::global()->generate());
    const QByteArray getPort = PortmapperCall::getPort(xid);
    const QByteArray query = DnsMessage::query(id, {Vxi11Service, RawService, LxiService});

    std::vector<Endpoint> endpoints;
    for (const LanInterface &lan : lanInterfaces()) {
        for (const bool mdns : {false, true}) {
            const int fd = openOn(lan, mdns);
            if (fd >= 0)
                endpoints.push_back({fd, mdns, mdns ? MdnsGroup : lan.broadcast});
        }
    }
    auto ask = [&] {
        for (const Endpoint &endpoint : endpoints) {
            const QByteArray &datagram = endpoint.mdns ? query : getPort;
            const sockaddr_in to = socketAddress(
                endpoint.to, endpoint.mdns ? MdnsPort : PortmapperCall::PortmapperPort);
            sendto(endpoint.socket, datagram.constData(), size_t(datagram.size()), 0,
                   reinterpret_cast<const sockaddr *>(&to), sizeof to);
        }
    };
    ask();

    std::vector<pollfd> watched;
    for (const Endpoint &endpoint : endpoints)
        watched.push_back({endpoint.socket, POLLIN, 0});
    watched.push_back({m_cancel.descriptor(), POLLIN, 0});
    QSet<QString> reported;
    QByteArray buffer(MaxDatagram, Qt::Uninitialized);
    while (!m_cancel.cancelled()) {
        const Clock::time_point now = Clock::now();
        if (now >= end)
            break;
        if (!askedAgain && now >= askAgain) {
            askedAgain = true;
            ask();
        }
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(
            (askedAgain ? end : std::min(end, askAgain)) - now);
        if (poll(watched.data(), watched.size(), int(wait.count())) <= 0)
            continue;
        for (size_t i = 0; i < endpoints.size(); ++i) {
            if (!(watched[i].revents & POLLIN))
                continue;
            sockaddr_in from{};
            socklen_t fromSize = sizeof from;
            const ssize_t got = recvfrom(endpoints[i].socket, buffer.data(), size_t(buffer.size()),
                                         0, reinterpret_cast<sockaddr *>(&from), &fromSize);
            if (got <= 0)
                continue;
            const QByteArrayView datagram(buffer.constData(), got);
            const quint32 source = ntohl(from.sin_addr.s_addr);
            const QStringList named = endpoints[i].mdns ? fromMdns(datagram, id, source)
                                                        : fromPortmapper(datagram, xid, source);
            for (const QString &descriptor : named) {
                if (!reported.contains(descriptor)) {
                    reported.insert(descriptor);
                    found(descriptor);
                }
            }
        }
    }
    for (const Endpoint &endpoint : endpoints)
        ::close(endpoint.socket);
}
