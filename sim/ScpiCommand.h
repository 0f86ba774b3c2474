#pragma once

#include <QByteArray>
#include <QList>

// One command of a received message, its header already resolved to the
// full path and normalised to upper-case short forms ("ACQ:STATE", "*IDN").
struct ScpiCommand {
    enum class Syntax { Ok, BadHeader, UnterminatedString };

    QByteArray header;
    bool query = false;
    // Arguments split at commas outside quotes, trimmed, quotes kept.
    QList<QByteArray> arguments;
    Syntax syntax = Syntax::Ok;
    // The command as it stood in the message, for error reports.
    QByteArray text;
};
