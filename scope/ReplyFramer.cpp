#include "ReplyFramer.h"

#include "TransportError.h"

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

ReplyFramer::ReplyFramer(char terminator, qsizetype maxBytes)
    : m_terminator(terminator)
    , m_maxBytes(maxBytes) {}

void ReplyFramer::checkLength(qint64 bytes) const {
    if (bytes > m_maxBytes)
        throw TransportError(QStringLiteral("reply of %1 bytes is larger than %2 MiB")
                                 .arg(bytes)
                                 .arg(m_maxBytes >> 20));
}

bool ReplyFramer::takeHeaderByte(char c) {
    const qsizetype at = m_seen;
    if (at == 0 ? c != '#' : !isDigit(c))
        return false;
    m_header[at] = c;
    ++m_seen;
    if (at == 1 && c == '0') {
        m_shape = Shape::IndefiniteBlock;
    } else if (at == 1) {
        m_digits = c - '0';
    } else if (at > 1 && at == 1 + m_digits) {
        qint64 length = 0;
        for (qsizetype i = 2; i <= at; ++i)
            length = length * 10 + (m_header[i] - '0');
        checkLength(length);
        m_blockEnd = 2 + m_digits + length;
        m_shape = Shape::Block;
    }
    return true;
}

std::optional<ReplyFramer::Frame> ReplyFramer::findNext(QByteArrayView more) {
    while (m_shape == Shape::Undecided && !more.isEmpty()) {
        if (takeHeaderByte(more.front())) {
            more = more.sliced(1);
            continue;
        }
        // Not a block header after all: what was taken for one is text too.
        m_shape = Shape::Text;
        const qsizetype held = std::exchange(m_seen, 0);
        if (const auto frame = scanText(QByteArrayView(m_header, held)))
            return frame;
    }
    switch (m_shape) {
    case Shape::Undecided:
        return std::nullopt;
    case Shape::Text:
        return scanText(more);
    case Shape::IndefiniteBlock:
        return scanIndefinite(more);
    case Shape::Block:
        return scanBlock(more);
    }
    return std::nullopt;
}

std::optional<ReplyFramer::Frame> ReplyFramer::scanText(QByteArrayView bytes) {
    const qsizetype at = bytes.indexOf(m_terminator);
    if (at < 0) {
        m_seen += bytes.size();
        if (!bytes.isEmpty())
            m_afterReturn = bytes.back() == '\r';
        checkLength(m_seen);
        return std::nullopt;
    }
    const qsizetype end = m_seen + at;
    const bool afterReturn = at > 0 ? bytes[at - 1] == '\r' : m_afterReturn;
    m_seen = end + 1;
    return Frame{afterReturn ? end - 1 : end, end + 1, false};
}

std::optional<ReplyFramer::Frame> ReplyFramer::scanIndefinite(QByteArrayView bytes) {
    const qsizetype at = bytes.indexOf('\n');
    if (at < 0) {
        m_seen += bytes.size();
        checkLength(m_seen);
        return std::nullopt;
    }
    const qsizetype end = m_seen + at;
    m_seen = end + 1;
    return Frame{end, end + 1, false};
}

std::optional<ReplyFramer::Frame> ReplyFramer::scanBlock(QByteArrayView bytes) {
    const qsizetype left = m_blockEnd - m_seen;
    if (bytes.size() < left) {
        m_seen += bytes.size();
        return std::nullopt;
    }
    m_seen = m_blockEnd;
    if (bytes.size() == left)
        return Frame{m_blockEnd, m_blockEnd, true};
    const bool ended = bytes[left] == m_terminator;
    m_seen += ended ? 1 : 0;
    return Frame{m_blockEnd, m_seen, false};
}
