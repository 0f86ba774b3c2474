#pragma once

#include <QString>
#include <QStringList>

// The descriptors an address typed by the user stands for, in the order to
// try them. "host:port" is that raw socket; a bare host (a name or an IPv4
// address) is VXI-11, then the raw ports 4000 and 5025 that scopes commonly
// serve. A whole descriptor stands for itself. Empty, with the reason in
// *error, for anything else.
QStringList addressDescriptors(const QString &address, QString *error);
