#include "CommandText.h"

QString asSentToScope(const QString &text) {
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        const QChar sent = QChar::fromLatin1(commandByte(c));
        if (sent.category() == QChar::Other_Control)
            shown += QStringLiteral("<%1>").arg(sent.unicode(), 2, 16, QLatin1Char('0')).toUpper();
        else
            shown += sent;
    }
    return shown;
}
