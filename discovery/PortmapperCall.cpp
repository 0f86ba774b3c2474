#include "PortmapperCall.h"

#include <QtEndian>

namespace PortmapperCall {

namespace {

constexpr quint32 Call = 0;
constexpr quint32 Reply = 1;
constexpr quint32 RpcVersion = 2;
constexpr quint32 Portmapper = 100000;
constexpr quint32 PortmapperVersion = 2;
constexpr quint32 GetPortProcedure = 3;
constexpr quint32 AuthNone = 0;
constexpr quint32 Accepted = 0;
constexpr quint32 Success = 0;
constexpr quint32 Tcp = 6;
// RFC 1831 bounds an authenticator's body at 400 bytes.
constexpr quint32 MaxAuthBytes = 400;

} // namespace

QByteArray getPort(quint32 xid) {
    const quint32 words[] = {
        xid,      Call, RpcVersion, Portmapper, PortmapperVersion, GetPortProcedure,
        AuthNone, 0,    AuthNone,   0,          Vxi11Core,         Vxi11CoreVersion,
        Tcp,      0};
    QByteArray out(sizeof words, Qt::Uninitialized);
    for (size_t i = 0; i < std::size(words); ++i)
        qToBigEndian(words[i], out.data() + 4 * i);
    return out;
}

std::optional<quint16> replyPort(QByteArrayView datagram, quint32 xid) {
    qsizetype at = 0;
    auto word = [&]() -> std::optional<quint32> {
        if (at + 4 > datagram.size())
            return std::nullopt;
        const quint32 value = qFromBigEndian<quint32>(datagram.data() + at);
        at += 4;
        return value;
    };
    if (word() != xid || word() != Reply || word() != Accepted)
        return std::nullopt;
    word(); // the verifier's flavour
    const auto verifierBytes = word();
    if (!verifierBytes || *verifierBytes > MaxAuthBytes)
        return std::nullopt;
    at += (*verifierBytes + 3) / 4 * 4;
    if (word() != Success)
        return std::nullopt;
    const auto port = word();
    if (!port || *port == 0 || *port > 0xffff)
        return std::nullopt;
    return quint16(*port);
}

} // namespace PortmapperCall
