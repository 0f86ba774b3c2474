#pragma once

#include <QByteArrayView>
#include <optional>

// Finds where one reply ends in the bytes received so far, for transports
// that carry a byte stream. A reply ends at the terminator (a "\r" before it
// is not part of the reply), or after an IEEE 488.2 definite-length block
// "#<n><len><bytes>" and the terminator that may follow it; an indefinite
// block "#0..." ends at a line feed. A "#" not followed by a complete block
// header is ordinary text.
//
// Called again as more bytes arrive; each byte is examined once, so a caller
// that drops the reply may hand over each new piece alone and keep nothing.
// Throws TransportError for a reply longer than the cap, without waiting for
// it.
class ReplyFramer {
public:
    struct Frame {
        // The reply: the first `length` bytes.
        qsizetype length = 0;
        // Bytes used up, terminator included.
        qsizetype consumed = 0;
        // A block ended the received bytes: its terminator may still come.
        bool terminatorMayFollow = false;
    };

    ReplyFramer(char terminator, qsizetype maxBytes);

    // Every byte of the reply received so far; nullopt while incomplete.
    std::optional<Frame> find(QByteArrayView received) { return findNext(received.sliced(m_seen)); }
    // Only the bytes that follow those already seen. Offsets in the frame
    // count from the start of the reply.
    std::optional<Frame> findNext(QByteArrayView more);

private:
    enum class Shape { Undecided, Text, Block, IndefiniteBlock };
    // "#", the digit count and up to nine length digits.
    static constexpr qsizetype MaxHeader = 11;

    // Takes one byte of a possible block header; false once it is text.
    bool takeHeaderByte(char c);
    std::optional<Frame> scanText(QByteArrayView bytes);
    std::optional<Frame> scanIndefinite(QByteArrayView bytes);
    std::optional<Frame> scanBlock(QByteArrayView bytes);
    void checkLength(qint64 bytes) const;

    char m_terminator;
    qsizetype m_maxBytes;
    Shape m_shape = Shape::Undecided;
    // Bytes of the reply examined.
    qsizetype m_seen = 0;
    char m_header[MaxHeader] = {};
    qsizetype m_digits = 0;
    qsizetype m_blockEnd = 0;
    // The last byte examined was a "\r".
    bool m_afterReturn = false;
};
