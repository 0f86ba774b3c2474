#include "ResourceDescriptor.h"

#include <QRegularExpression>
#include <QStringList>

#include <arpa/inet.h>

namespace {

std::nullopt_t fail(QString *error, const QString &reason) {
    if (error)
        *error = reason;
    return std::nullopt;
}

// Splits at "::", keeping a bracketed IPv6 address (which holds "::" itself)
// in one field.
std::optional<QStringList> splitFields(const QString &text, QString *error) {
    QStringList fields;
    qsizetype pos = 0;
    for (;;) {
        qsizetype end = 0;
        if (pos < text.size() && text.at(pos) == QLatin1Char('[')) {
            const qsizetype close = text.indexOf(QLatin1Char(']'), pos);
            if (close < 0)
                return fail(error, QStringLiteral("'[' without ']'"));
            end = close + 1;
            if (end < text.size() && !QStringView(text).mid(end).startsWith(u"::"))
                return fail(error, QStringLiteral("'::' expected after ']'"));
        } else {
            end = text.indexOf(QLatin1String("::"), pos);
            if (end < 0)
                end = text.size();
        }
        fields << text.mid(pos, end - pos);
        if (end >= text.size())
            return fields;
        pos = end + 2;
    }
}

std::optional<QString> parseHost(const QString &field, QString *error) {
    if (field.startsWith(QLatin1Char('['))) {
        const QString address = field.mid(1, field.size() - 2);
        in6_addr parsed{};
        if (inet_pton(AF_INET6, address.toLatin1().constData(), &parsed) != 1)
            return fail(error, QStringLiteral("'%1' is not an IPv6 address").arg(field));
        return address;
    }
    static const QRegularExpression hostName(QStringLiteral("^[A-Za-z0-9][A-Za-z0-9._-]*$"));
    if (!hostName.match(field).hasMatch())
        return fail(error, QStringLiteral("'%1' is not a host name or address").arg(field));
    return field;
}

std::optional<quint16> parseNumber(const QString &field, const QString &what, int lowest,
                                   bool hexAllowed, QString *error) {
    bool ok = false;
    const bool hex = hexAllowed && field.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
    static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    static const QRegularExpression hexDigits(QStringLiteral("^[0-9A-Fa-f]+$"));
    const QString body = hex ? field.mid(2) : field;
    const uint value =
        (hex ? hexDigits : digits).match(body).hasMatch() ? body.toUInt(&ok, hex ? 16 : 10) : 0;
    if (!ok)
        return fail(error, QStringLiteral("%1 '%2' is not a number").arg(what, field));
    if (value < uint(lowest) || value > 65535)
        return fail(error,
                    QStringLiteral("%1 %2 is out of range %3-65535").arg(what, field).arg(lowest));
    return quint16(value);
}

} // namespace

std::optional<ResourceDescriptor> ResourceDescriptor::parse(const QString &text, QString *error) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return fail(error, QStringLiteral("empty descriptor"));
    const auto fields = splitFields(trimmed, error);
    if (!fields)
        return std::nullopt;
    if (fields->contains(QString()))
        return fail(error, QStringLiteral("empty field"));

    static const QRegularExpression interfaceType(QStringLiteral("^(TCPIP|USB)([0-9]{0,3})$"),
                                                  QRegularExpression::CaseInsensitiveOption);
    const auto type = interfaceType.match(fields->first());
    if (!type.hasMatch())
        return fail(error, QStringLiteral("unknown interface type '%1'").arg(fields->first()));

    ResourceDescriptor result;
    result.board = type.captured(2).toInt();
    const QString resourceClass = fields->last().toUpper();
    const qsizetype count = fields->size();

    if (type.captured(1).compare(QLatin1String("TCPIP"), Qt::CaseInsensitive) == 0) {
        if (count < 3)
            return fail(error, QStringLiteral("host and resource class expected"));
        const auto host = parseHost(fields->at(1), error);
        if (!host)
            return std::nullopt;
        result.host = *host;
        if (resourceClass == QLatin1String("SOCKET")) {
            if (count != 4)
                return fail(error, QStringLiteral("a socket needs host and port"));
            const auto port = parseNumber(fields->at(2), QStringLiteral("port"), 1, false, error);
            if (!port)
                return std::nullopt;
            result.kind = Kind::Socket;
            result.port = *port;
            return result;
        }
        if (resourceClass == QLatin1String("INSTR")) {
            if (count > 4)
                return fail(error, QStringLiteral("too many fields"));
            result.kind = Kind::LanInstrument;
            result.deviceName = count == 4 ? fields->at(2) : QStringLiteral("inst0");
            return result;
        }
        return fail(error, QStringLiteral("unknown resource class '%1' (SOCKET or INSTR expected)")
                               .arg(fields->last()));
    }

    if (resourceClass != QLatin1String("INSTR"))
        return fail(
            error,
            QStringLiteral("unknown resource class '%1' (INSTR expected)").arg(fields->last()));
    if (count != 5 && count != 6)
        return fail(error, QStringLiteral("USB needs vendor, product and serial number"));
    const auto vendor = parseNumber(fields->at(1), QStringLiteral("vendor id"), 0, true, error);
    if (!vendor)
        return std::nullopt;
    const auto product = parseNumber(fields->at(2), QStringLiteral("product id"), 0, true, error);
    if (!product)
        return std::nullopt;
    result.kind = Kind::UsbInstrument;
    result.vendorId = *vendor;
    result.productId = *product;
    result.serial = fields->at(3);
    if (count == 6) {
        bool ok = false;
        result.interfaceNumber = fields->at(4).toInt(&ok);
        if (!ok || *result.interfaceNumber < 0 || *result.interfaceNumber > 255)
            return fail(error,
                        QStringLiteral("interface '%1' is not a number 0-255").arg(fields->at(4)));
    }
    return result;
}
