// Arbitrary datagrams as the replies a LAN search reads: a portmapper's
// answer to GETPORT and an mDNS message. Whatever is read stays within the
// bounds the readers promise.
#include "DnsMessage.h"
#include "LanDiscovery.h"
#include "PortmapperCall.h"

#include <QtEndian>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArrayView datagram(reinterpret_cast<const char *>(data), qsizetype(size));
    const quint32 xid = size >= 4 ? qFromBigEndian<quint32>(data) : 0;
    const auto port = PortmapperCall::replyPort(datagram, xid);
    if (port && *port == 0)
        std::abort();
    LanDiscovery::fromPortmapper(datagram, xid, 0x0a000001);

    if (const auto message = DnsMessage::parse(datagram)) {
        if (message->questions.size() + message->records.size() > DnsMessage::MaxRecords)
            std::abort();
        for (const DnsMessage::Record &record : message->records) {
            if (record.name.size() > DnsMessage::MaxNameBytes ||
                record.target.size() > DnsMessage::MaxNameBytes)
                std::abort();
        }
    }
    const quint16 id = size >= 2 ? quint16(data[0] << 8 | data[1]) : 0;
    for (const QString &descriptor : LanDiscovery::fromMdns(datagram, id, 0x0a000001)) {
        if (!descriptor.startsWith(QLatin1String("TCPIP0::")))
            std::abort();
    }
    return 0;
}
