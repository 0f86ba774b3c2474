#pragma once

#include "SimOptions.h"

#include <QByteArray>
#include <QElapsedTimer>

#include <random>

// The fault switches, decided in one place for both links (raw socket and
// VXI-11): which messages hang, after which one a connection closes, how
// long a reply waits, and what each reply looks like on the way out.
//
// One line-feed rule for both links: a reply that ends carries its line
// feed, and over VXI-11 the piece holding it also carries END. Garbage is
// random bytes other than a line feed, then the line feed, so it is one
// reply on either link; an unterminated or oversized reply has neither line
// feed nor END.
class ReplyFaults {
public:
    // The length an oversized reply announces.
    static constexpr qint64 OversizeAnnounced = 200'000'000;
    static constexpr char Filler = '7';

    struct Reply {
        QByteArray bytes;
        // Filler bytes that follow, sent a piece at a time.
        qint64 filler = 0;
        // The reply ends after the last byte (its line feed is in `bytes`).
        bool ends = true;
    };

    explicit ReplyFaults(const SimOptions &options);

    // Counts one more message; true when it comes while the scope hangs.
    bool hangsOnMessage();
    // The scope hangs from the message after the N-th one on, for as long
    // as the hang lasts.
    bool hanging();
    // True when a connection closes after the given count of its messages.
    bool closesAfter(qint64 messagesOnConnection) const;
    // How long a reply waits after its message came in.
    int replyDelayMs(bool firstOnConnection) const;
    // What goes out for the scope's reply.
    Reply shape(const QByteArray &reply);

private:
    const SimOptions m_options;
    std::mt19937_64 m_random;
    qint64 m_messages = 0;
    QElapsedTimer m_hang;
};
