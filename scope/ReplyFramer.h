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
// Called again as more bytes arrive; each byte is examined once. Throws
// TransportError for a reply longer than the cap, without waiting for it.
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

    // nullopt while the reply is incomplete.
    std::optional<Frame> find(QByteArrayView received);

private:
    char m_terminator;
    qsizetype m_maxBytes;
    qsizetype m_scanned = 0;
};
