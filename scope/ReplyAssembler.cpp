#include "ReplyAssembler.h"

namespace {

// A buffer grown by a large reply is given back at the next reply.
constexpr qsizetype KeptBufferBytes = 1024 * 1024;

} // namespace

ReplyAssembler::ReplyAssembler(qsizetype maxBytes)
    : m_maxBytes(maxBytes) {}

void ReplyAssembler::start(char terminator) {
    if (m_buffer.capacity() > KeptBufferBytes)
        m_buffer = QByteArray();
    m_buffer.truncate(0);
    m_held = 0;
    m_framer.emplace(terminator, m_maxBytes);
    m_terminator = terminator;
}

char *ReplyAssembler::chunk() {
    m_buffer.resize(m_held + ChunkBytes);
    return m_buffer.data() + m_held;
}

std::optional<QByteArrayView> ReplyAssembler::add(qsizetype received, bool messageEnded) {
    m_held += received;
    m_buffer.truncate(m_held);
    if (m_terminatorMayFollow && !m_buffer.isEmpty()) {
        m_terminatorMayFollow = false;
        if (m_buffer.front() == m_terminator) {
            m_buffer.remove(0, 1);
            --m_held;
            if (m_buffer.isEmpty())
                return std::nullopt;
        }
    }
    if (const auto frame = m_framer->find(m_buffer)) {
        m_terminatorMayFollow = frame->terminatorMayFollow && !messageEnded;
        return QByteArrayView(m_buffer.constData(), frame->length);
    }
    if (messageEnded)
        return QByteArrayView(m_buffer);
    return std::nullopt;
}

void ReplyAssembler::reset() {
    m_buffer = QByteArray();
    m_held = 0;
    m_terminatorMayFollow = false;
}
