#include "StatusText.h"

#include <QRegularExpression>

QString leadingNumber(const QString &status) {
    static const QRegularExpression number(QStringLiteral("^\\s*([+-]?)0*([0-9]+)"));
    const QRegularExpressionMatch match = number.match(status);
    if (!match.hasMatch())
        return QStringLiteral("0");
    const QString digits = match.captured(2);
    if (match.captured(1) == QLatin1String("-") && digits != QLatin1String("0"))
        return QLatin1Char('-') + digits;
    return digits;
}

QString withProgressDots(QString status, int count) {
    constexpr int DotsThatCollapse = 10;
    static const QString collapsingRow(DotsThatCollapse, QLatin1Char('.'));
    for (int dot = 0; dot < count; ++dot) {
        status += QLatin1Char('.');
        if (status.contains(collapsingRow))
            status.chop(DotsThatCollapse - 1);
    }
    return status;
}
