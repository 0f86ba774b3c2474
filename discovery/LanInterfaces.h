#pragma once

#include <QByteArray>
#include <QList>

// The IPv4 interfaces a LAN search goes out on: up, running (a bridge with
// nothing plugged in is not), not loopback, and with a broadcast address.
// Each is searched on its own, so a scope behind a second network card or on
// a direct cable (169.254.x.x) is reached as well as one on the default
// route. Addresses are in host byte order.
struct LanInterface {
    QByteArray name;
    quint32 address = 0;
    quint32 broadcast = 0;
};

QList<LanInterface> lanInterfaces();
