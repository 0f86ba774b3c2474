#pragma once

#include <QString>

// Commands go out as Latin-1, one byte a character: a character beyond it
// (each half of a surrogate pair too) is sent as "?".
constexpr char commandByte(QChar c) {
    return c.unicode() <= 0xff ? char(c.unicode()) : '?';
}

// The text as the scope receives it, for showing to the user: what was sent
// as "?" reads "?", and control characters, which a window draws as boxes or
// not at all, read as their code in hex, such as "<09>" for a tab.
QString asSentToScope(const QString &text);
