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

std::optional<ReplyFramer::Frame> ReplyFramer::find(QByteArrayView received) {
    const qsizetype size = received.size();
    const auto tooLong = [this](qint64 bytes) {
        return TransportError(QStringLiteral("reply of %1 bytes is larger than %2 MiB")
                                  .arg(bytes)
                                  .arg(m_maxBytes >> 20));
    };
    if (size >= 2 && received[0] == '#' && isDigit(received[1])) {
        if (received[1] == '0') {
            const qsizetype end = received.indexOf('\n', std::max<qsizetype>(m_scanned, 2));
            if (end >= 0)
                return Frame{end, end + 1, false};
            if (size > m_maxBytes)
                throw tooLong(size);
            m_scanned = size;
            return std::nullopt;
        }
        const qsizetype digits = received[1] - '0';
        qint64 length = 0;
        qsizetype i = 2;
        for (; i < 2 + digits && i < size && isDigit(received[i]); ++i)
            length = length * 10 + (received[i] - '0');
        if (i < 2 + digits && i == size)
            return std::nullopt;
        if (i == 2 + digits) {
            if (length > m_maxBytes)
                throw tooLong(length);
            const qsizetype end = 2 + digits + length;
            if (size < end)
                return std::nullopt;
            if (size == end)
                return Frame{end, end, true};
            return Frame{end, received[end] == m_terminator ? end + 1 : end, false};
        }
        // Not a block header after all: an ordinary text reply.
    }
    const qsizetype end = received.indexOf(m_terminator, m_scanned);
    if (end < 0) {
        if (size > m_maxBytes)
            throw tooLong(size);
        m_scanned = size;
        return std::nullopt;
    }
    const qsizetype length = end > 0 && received[end - 1] == '\r' ? end - 1 : end;
    return Frame{length, end + 1, false};
}
