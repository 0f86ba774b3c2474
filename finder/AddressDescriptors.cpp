#include "AddressDescriptors.h"

#include "ResourceDescriptor.h"

#include <QRegularExpression>

QStringList addressDescriptors(const QString &address, QString *error) {
    const QString text = address.trimmed();
    if (text.contains(QLatin1String("::")) && ResourceDescriptor::parse(text, error))
        return {text};
    static const QRegularExpression hostAndPort(
        QStringLiteral("^([A-Za-z0-9]([A-Za-z0-9.-]{0,252}))(?::([0-9]{1,5}))?$"));
    const QRegularExpressionMatch match = hostAndPort.match(text);
    if (!match.hasMatch()) {
        if (!text.contains(QLatin1String("::")))
            *error = text.isEmpty() ? QStringLiteral("no address given")
                                    : QStringLiteral("\"%1\" is no host name or IPv4 address, "
                                                     "with an optional :port")
                                          .arg(text);
        return {};
    }
    const QString host = match.captured(1);
    if (match.hasCaptured(3)) {
        const int port = match.captured(3).toInt();
        if (port < 1 || port > 65535) {
            *error = QStringLiteral("port %1 is not from 1 to 65535").arg(match.captured(3));
            return {};
        }
        return {QStringLiteral("TCPIP0::%1::%2::SOCKET").arg(host).arg(port)};
    }
    return {QStringLiteral("TCPIP0::%1::inst0::INSTR").arg(host),
            QStringLiteral("TCPIP0::%1::4000::SOCKET").arg(host),
            QStringLiteral("TCPIP0::%1::5025::SOCKET").arg(host)};
}
