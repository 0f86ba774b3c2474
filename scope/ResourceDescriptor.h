#pragma once

#include <QString>
#include <optional>

// A VISA resource descriptor taken apart. Parsed case-insensitively, as VISA
// does; the board number is optional and defaults to 0.
//
//   TCPIP[board]::host::port::SOCKET                  raw socket
//   TCPIP[board]::host[::name]::INSTR                 VXI-11 (name inst0 if absent)
//   USB[board]::vendor::product::serial[::interface]::INSTR   USBTMC
//
// A host is a name, an IPv4 address or a bracketed IPv6 address ("[::1]");
// USB vendor and product ids are decimal or 0x hexadecimal.
struct ResourceDescriptor {
    enum class Kind { Socket, LanInstrument, UsbInstrument };

    // nullopt for a malformed descriptor, with what is wrong in *error.
    static std::optional<ResourceDescriptor> parse(const QString &text, QString *error = nullptr);

    Kind kind = Kind::Socket;
    int board = 0;
    // LAN: host as given, without brackets.
    QString host;
    quint16 port = 0;
    QString deviceName;
    // USB.
    quint16 vendorId = 0;
    quint16 productId = 0;
    QString serial;
    std::optional<int> interfaceNumber;
};
