#include "ReplyFaults.h"

#include <algorithm>

ReplyFaults::ReplyFaults(const SimOptions &options)
    : m_options(options)
    , m_random(options.seed) {}

bool ReplyFaults::hangsOnMessage() {
    ++m_messages;
    return hanging();
}

bool ReplyFaults::hanging() {
    if (!m_options.hangAfter || m_messages <= *m_options.hangAfter)
        return false;
    if (!m_hang.isValid())
        m_hang.start();
    return m_options.hangMs < 0 || m_hang.elapsed() < m_options.hangMs;
}

bool ReplyFaults::closesAfter(qint64 messagesOnConnection) const {
    return m_options.closeAfter > 0 && messagesOnConnection % m_options.closeAfter == 0;
}

int ReplyFaults::replyDelayMs(bool firstOnConnection) const {
    const int delayMs = std::max(m_options.replyDelayMs, 0);
    return firstOnConnection ? std::max(delayMs, m_options.firstReplyDelayMs) : delayMs;
}

ReplyFaults::Reply ReplyFaults::shape(const QByteArray &reply) {
    if (m_options.oversize) {
        // One byte short of the announced block: it never completes.
        return {"#9" + QByteArray::number(OversizeAnnounced), OversizeAnnounced - 1, false};
    }
    if (m_options.garbage) {
        std::uniform_int_distribution<int> length(1, 64);
        std::uniform_int_distribution<int> byte(0, 255);
        QByteArray junk(length(m_random), '\0');
        for (char &c : junk) {
            do
                c = static_cast<char>(byte(m_random));
            while (c == '\n');
        }
        return {junk + '\n', 0, true};
    }
    if (m_options.unterminated)
        return {reply, 0, false};
    return {reply + '\n', 0, true};
}
