#pragma once

#include "ScpiCommand.h"

#include <QByteArrayView>
#include <optional>

// Splits one message into its commands the way an instrument does: at ";"
// outside quotes, where a header that starts with neither ":" nor "*"
// continues the path of the previous command's header.
class ScpiParser {
public:
    static QList<ScpiCommand> parse(QByteArrayView message);

    // The upper-case short form of one header node or keyword argument
    // ("acquire" -> "ACQ", "Spreadsheet" -> "SPREADS"); anything that is not
    // exactly a known short or long form comes back upper-cased.
    static QByteArray shortForm(QByteArrayView word);
    // The long form of an upper-case short form, or the form itself.
    static QByteArray longForm(QByteArrayView shortWord);
    // The text of a quoted string argument ("..." or '...', doubled quotes
    // inside), or nullopt when the argument is not exactly one such string.
    static std::optional<QByteArray> unquote(QByteArrayView argument);
};
