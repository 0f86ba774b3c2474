#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

// A portmapper GETPORT call (ONC RPC, RFC 1831 and 1833, portmapper version
// 2 over UDP) asking for the TCP port of the VXI-11 core channel (program
// 0x0607AF, version 1), and the reading of its reply. A reply is read only
// as far as it must be; anything else, a reply to another call or a port of
// 0 (nothing registered) included, yields nothing.
namespace PortmapperCall {

constexpr quint32 Vxi11Core = 0x0607af;
constexpr quint32 Vxi11CoreVersion = 1;
constexpr quint16 PortmapperPort = 111;

QByteArray getPort(quint32 xid);
std::optional<quint16> replyPort(QByteArrayView datagram, quint32 xid);

} // namespace PortmapperCall
