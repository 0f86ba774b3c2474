#pragma once

#include "Cancellation.h"

#include <QByteArrayView>
#include <QStringList>
#include <chrono>
#include <functional>

// Looks for instruments on the local networks, only when asked: a portmapper
// GETPORT for the VXI-11 core channel sent to the broadcast address of each
// LAN interface, and an mDNS one-shot query (RFC 6762 section 5.1) for the
// VXI-11, raw SCPI and LXI services sent from an ephemeral port on each
// interface. Each instrument is reported once per link, however often and
// however many ways it answers: TCPIP0::<address>::inst0::INSTR for VXI-11
// (LXI instruments serve it too) and TCPIP0::<address>::<port>::SOCKET for
// each raw SCPI port.
class LanDiscovery {
public:
    using Found = std::function<void(const QString &descriptor)>;

    // Blocks for `within`, or until cancelled, calling `found` on this thread
    // with each new descriptor as its answer arrives. Asks twice, in case a
    // datagram is lost on the way.
    void search(std::chrono::milliseconds within, const Found &found);
    // From any thread: the search ends at once.
    void cancel() { m_cancel.cancel(); }

    // The descriptors a reply from `source` (host byte order) names.
    static QStringList fromPortmapper(QByteArrayView datagram, quint32 xid, quint32 source);
    static QStringList fromMdns(QByteArrayView datagram, quint16 id, quint32 source);

private:
    Cancellation m_cancel;
};
