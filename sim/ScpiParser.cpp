#include "ScpiParser.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace {

struct Forms {
    const char *shortForm;
    const char *longForm;
};

// Headers and keywords whose short form differs from the long one.
constexpr std::array<Forms, 27> forms{{
    {"ACQ", "ACQUIRE"},         {"STOPA", "STOPAFTER"},  {"SAV", "SAVE"},
    {"WAVE", "WAVEFORM"},       {"FILEF", "FILEFORMAT"}, {"GATI", "GATING"},
    {"IMAG", "IMAGE"},          {"LAY", "LAYOUT"},       {"INKS", "INKSAVER"},
    {"TRIG", "TRIGGER"},        {"MOD", "MODE"},         {"FILES", "FILESYSTEM"},
    {"HEAD", "HEADER"},         {"VERB", "VERBOSE"},     {"CURV", "CURVE"},
    {"DIR", "DIRECTORY"},       {"SEQ", "SEQUENCE"},     {"RUNST", "RUNSTOP"},
    {"SPREADS", "SPREADSHEET"}, {"NON", "NONE"},         {"LAN", "LANDSCAPE"},
    {"PORTR", "PORTRAIT"},      {"NORM", "NORMAL"},      {"FORC", "FORCE"},
    {"CURS", "CURSOR"},         {"SEL", "SELECT"},       {"DAT", "DATA"},
}};

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

bool isQuote(char c) {
    return c == '"' || c == '\'';
}

// Index of the first `separator` at or after `from` that stands outside
// quotes, or the size of `text`; `open` tells whether a quote was left open.
qsizetype findUnquoted(QByteArrayView text, qsizetype from, char separator, bool &open) {
    char quote = 0;
    qsizetype i = from;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (isQuote(c)) {
            quote = c;
        } else if (c == separator) {
            break;
        }
    }
    open = quote != 0;
    return i;
}

bool isNode(QByteArrayView node) {
    if (node.isEmpty() || !std::isalpha(static_cast<unsigned char>(node.front())))
        return false;
    return std::all_of(node.begin(), node.end(),
                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)); });
}

QList<QByteArray> splitArguments(QByteArrayView text) {
    QList<QByteArray> arguments;
    if (text.isEmpty())
        return arguments;
    qsizetype from = 0;
    while (true) {
        bool open = false;
        const qsizetype end = findUnquoted(text, from, ',', open);
        arguments.append(text.sliced(from, end - from).trimmed().toByteArray());
        if (end >= text.size())
            return arguments;
        from = end + 1;
    }
}

ScpiCommand parseCommand(QByteArrayView text, QByteArray &path) {
    ScpiCommand command;
    command.text = text.toByteArray();
    qsizetype headerEnd = 0;
    while (headerEnd < text.size() && !isBlank(text[headerEnd]))
        ++headerEnd;
    QByteArrayView header = text.first(headerEnd);
    command.arguments = splitArguments(text.sliced(headerEnd).trimmed());
    if (header.endsWith('?')) {
        command.query = true;
        header.chop(1);
    }

    if (header.startsWith('*')) {
        command.header = header.toByteArray().toUpper();
        if (!isNode(header.sliced(1)))
            command.syntax = ScpiCommand::Syntax::BadHeader;
        return command;
    }

    const bool fromRoot = header.startsWith(':');
    if (fromRoot)
        header = header.sliced(1);
    QByteArray full = fromRoot ? QByteArray() : path;
    qsizetype lastNode = full.size();
    for (const QByteArrayView node :
         QByteArray::fromRawData(header.data(), header.size()).split(':')) {
        if (!isNode(node)) {
            command.header = header.toByteArray().toUpper();
            command.syntax = ScpiCommand::Syntax::BadHeader;
            return command;
        }
        if (!full.isEmpty())
            full += ':';
        lastNode = full.size();
        full += ScpiParser::shortForm(node);
    }
    path = full.first(lastNode > 0 ? lastNode - 1 : 0);
    command.header = std::move(full);
    return command;
}

} // namespace

QList<ScpiCommand> ScpiParser::parse(QByteArrayView message) {
    QList<ScpiCommand> commands;
    QByteArray path;
    qsizetype from = 0;
    while (from <= message.size()) {
        bool open = false;
        const qsizetype end = findUnquoted(message, from, ';', open);
        const QByteArrayView text = message.sliced(from, end - from).trimmed();
        if (!text.isEmpty()) {
            commands.append(parseCommand(text, path));
            if (open)
                commands.last().syntax = ScpiCommand::Syntax::UnterminatedString;
        }
        from = end + 1;
    }
    return commands;
}

QByteArray ScpiParser::shortForm(QByteArrayView word) {
    // A numeric suffix ("CH1", "MEAS2") is kept as it stands.
    qsizetype stem = word.size();
    while (stem > 0 && std::isdigit(static_cast<unsigned char>(word[stem - 1])))
        --stem;
    QByteArray upper = word.first(stem).toByteArray().toUpper();
    for (const Forms &f : forms) {
        if (upper == f.shortForm || upper == f.longForm) {
            upper = f.shortForm;
            break;
        }
    }
    return upper.append(word.sliced(stem));
}

QByteArray ScpiParser::longForm(QByteArrayView shortWord) {
    for (const Forms &f : forms) {
        if (shortWord == f.shortForm)
            return f.longForm;
    }
    return shortWord.toByteArray();
}

std::optional<QByteArray> ScpiParser::unquote(QByteArrayView argument) {
    if (argument.size() < 2 || !isQuote(argument.front()) || argument.back() != argument.front())
        return std::nullopt;
    const char quote = argument.front();
    QByteArray text;
    const QByteArrayView inner = argument.sliced(1, argument.size() - 2);
    for (qsizetype i = 0; i < inner.size(); ++i) {
        if (inner[i] == quote) {
            // Inside a string a quote only stands for itself when doubled.
            if (i + 1 >= inner.size() || inner[i + 1] != quote)
                return std::nullopt;
            ++i;
        }
        text += inner[i];
    }
    return text;
}
