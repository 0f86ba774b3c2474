#include "ReplyAssembler.h"

namespace {

// A buffer grown by a large reply is given back at the next reply.
constexpr qsizetype KeptBufferBytes = 1024 * 1024;

} // namespace

ReplyAssembler::ReplyAssembler(qsizetype maxBytes)
    : m_maxBytes(maxBytes) {}

void ReplyAssembler::start(char terminator, Bytes bytes) {
    if (m_buffer.capacity() > KeptBufferBytes)
        m_buffer = QByteArray();
    m_buffer.truncate(0);
    m_held = 0;
    m_framer.emplace(terminator, m_maxBytes);
    m_terminator = terminator;
    m_bytes = bytes;
}

char *ReplyAssembler::chunk() {
    m_buffer.resize(m_held + ChunkBytes);
    return m_buffer.data() + m_held;
}

std::optional<QByteArrayView> ReplyAssembler::add(qsizetype received, bool messageEnded) {
    const qsizetype from = m_held;
    m_held += received;
    m_buffer.truncate(m_held);
    if (m_terminatorMayFollow && received > 0) {
        m_terminatorMayFollow = false;
        if (m_buffer.at(from) == m_terminator) {
            m_buffer.remove(from, 1);
            if (--m_held == from)
                return std::nullopt;
        }
    }
    const QByteArrayView fresh = QByteArrayView(m_buffer).sliced(from);
    const bool kept = m_bytes == Bytes::Kept;
    if (!kept)
        m_held = 0;
    if (const auto frame = m_framer->findNext(fresh)) {
        m_terminatorMayFollow = frame->terminatorMayFollow && !messageEnded;
        return kept ? QByteArrayView(m_buffer.constData(), frame->length) : QByteArrayView();
    }
    if (messageEnded)
        return kept ? QByteArrayView(m_buffer) : QByteArrayView();
    return std::nullopt;
}

void ReplyAssembler::reset() {
    m_buffer = QByteArray();
    m_held = 0;
    m_terminatorMayFollow = false;
}
