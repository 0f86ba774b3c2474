#pragma once

#include "ReplyFramer.h"

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

// Puts one reply together from the chunks a message-based link delivers
// (a USB bulk transfer, a VISA read): the reply is complete when
// ReplyFramer finds its end or the link says the message ended.
//
// A block that exactly filled the last chunk may have its terminator still
// to come, as a message of its own; that byte belongs to the block, so it is
// dropped from the start of the next reply.
class ReplyAssembler {
public:
    static constexpr qsizetype ChunkBytes = 64 * 1024;

    explicit ReplyAssembler(qsizetype maxBytes);

    enum class Bytes { Kept, Dropped };

    // Begins a new reply ended by `terminator`. A dropped reply keeps no
    // byte beyond the chunk just received, and comes back empty.
    void start(char terminator, Bytes bytes = Bytes::Kept);
    // Where the link writes the next chunk: room for ChunkBytes bytes.
    char *chunk();
    // Takes the first `received` bytes of the chunk. Returns the reply,
    // valid until the next start() or reset(), once it is complete. Throws
    // TransportError for a reply larger than the cap.
    std::optional<QByteArrayView> add(qsizetype received, bool messageEnded);
    // The link was closed or cleared: no terminator is still to come, and a
    // buffer grown by a large reply is given back.
    void reset();

private:
    qsizetype m_maxBytes;
    std::optional<ReplyFramer> m_framer;
    char m_terminator = '\n';
    Bytes m_bytes = Bytes::Kept;
    QByteArray m_buffer;
    // Bytes of m_buffer that belong to the reply.
    qsizetype m_held = 0;
    // The last reply was a block whose optional terminator had not arrived.
    bool m_terminatorMayFollow = false;
};
