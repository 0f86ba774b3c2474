#include "FieldRules.h"

#include <QRegularExpression>
#include <cmath>
#include <limits>

namespace FieldRules {

namespace {

constexpr char16_t backspace = 8;

// Beyond 15 significant digits a double no longer holds every digit, so the
// plain form switches to exponent notation there.
constexpr int significantDigits = 15;

bool isPrefixSign(QChar c) {
    static const QString signs = QStringLiteral("@#$!%^&()_-+={}';,.~`");
    return signs.contains(c);
}

} // namespace

QChar digitFilter(QChar typed) {
    const char16_t code = typed.unicode();
    return (code >= u'0' && code <= u'9') || code == backspace ? typed : QChar();
}

QChar prefixFilter(QChar typed) {
    const char16_t code = typed.unicode();
    const bool letterOrDigit = (code >= u'A' && code <= u'Z') || (code >= u'a' && code <= u'z') ||
                               (code >= u'0' && code <= u'9');
    return letterOrDigit || code == backspace || isPrefixSign(typed) ? typed : QChar();
}

QChar slashTurn(QChar typed) {
    return typed == u'/' ? QChar(u'\\') : typed;
}

QString normalizePath(const QString &text) {
    if (text.isEmpty())
        return text;
    QString path = text;
    path.replace(u'/', u'\\');
    if (!path.endsWith(u'\\'))
        path += u'\\';
    return path;
}

double numericValue(const QString &text) {
    static const QRegularExpression leadingNumber(
        QStringLiteral("^[+-]?([0-9]+\\.?[0-9]*|\\.[0-9]+)([eEdD][+-]?[0-9]+)?"));
    QString squeezed = text;
    squeezed.remove(QRegularExpression(QStringLiteral("[ \\t\\n]")));
    const QRegularExpressionMatch match = leadingNumber.match(squeezed);
    if (!match.hasMatch())
        return 0.0;
    QString number = match.captured(0);
    number.replace(u'd', u'e').replace(u'D', u'e');
    const double value = number.toDouble();
    if (std::isinf(value))
        return std::copysign(std::numeric_limits<double>::max(), value);
    return value;
}

QString plainNumberForm(double value) {
    const QString sign =
        std::signbit(value) && value != 0.0 ? QStringLiteral("-") : QStringLiteral(" ");
    if (value == 0.0)
        return sign + u'0';

    // Rounding to 15 digits first decides the exponent, so 999999999999999.9
    // is written as 1E+15 and not as sixteen nines.
    const QString scientific = QString::number(std::fabs(value), 'e', significantDigits - 1);
    const qsizetype ePos = scientific.indexOf(u'e');
    QString digits = scientific.left(ePos).remove(u'.');
    const int exponent = scientific.mid(ePos + 1).toInt();
    while (digits.size() > 1 && digits.endsWith(u'0'))
        digits.chop(1);

    if (exponent >= significantDigits || exponent < -4) {
        QString mantissa = digits.left(1);
        if (digits.size() > 1)
            mantissa += u'.' + digits.mid(1);
        const QString exponentText =
            QStringLiteral("%1").arg(std::abs(exponent), 2, 10, QLatin1Char('0'));
        return sign + mantissa + u'E' + (exponent < 0 ? u'-' : u'+') + exponentText;
    }
    if (exponent < 0)
        return sign + u'.' + QString(-exponent - 1, u'0') + digits;
    if (digits.size() <= exponent + 1)
        return sign + digits + QString(exponent + 1 - digits.size(), u'0');
    return sign + digits.left(exponent + 1) + u'.' + digits.mid(exponent + 1);
}

QString acqLimitFixUp(const QString &text) {
    const QString plain = plainNumberForm(numericValue(text));
    return numericValue(plain) == 0.0 ? QStringLiteral("1") : plain;
}

QString delayDisplayText(int delay) {
    return QString::number(delay) + QStringLiteral(" Sec.");
}

} // namespace FieldRules
