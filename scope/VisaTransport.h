#pragma once

#include "ReplyAssembler.h"
#include "Transport.h"
#include "VisaApi.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>

class VisaLibrary;

// An instrument reached through a vendor's VISA library: one session per
// transport, opened on the first write within the write's bound, even when
// the library itself never returns from its open. The library's timeout is set to
// what is left of each operation's time before every call, so an operation
// never outlasts its own bound.
//
// Any failure closes the session, and the next write opens a fresh one and
// clears the instrument before sending: a reply that comes after its query
// timed out never answers a later one. clear() works the same way, so it
// costs nothing and cannot fail when the instrument is gone.
class VisaTransport : public Transport {
public:
    static constexpr qsizetype MaxReplyBytes = 64 * 1024 * 1024;

    VisaTransport(std::shared_ptr<VisaLibrary> library, const QString &descriptor);
    ~VisaTransport() override;
    VisaTransport(const VisaTransport &) = delete;
    VisaTransport &operator=(const VisaTransport &) = delete;

    // Appends a line feed; the library marks the end of the message.
    void write(QByteArrayView message, std::chrono::milliseconds timeout) override;
    // Reads until the library reports the end of the message, or until a
    // reply framed as ReplyFramer says is complete.
    QByteArrayView read(char terminator, std::chrono::milliseconds timeout) override;
    void drop(char terminator, std::chrono::milliseconds timeout) override;
    void clear() override;

private:
    QByteArrayView receive(char terminator, std::chrono::milliseconds timeout,
                           ReplyAssembler::Bytes bytes);
    void open(Deadline deadline);
    void close();
    // The session ended without our asking: a failure.
    void lose();
    void setTimeout(Deadline deadline, const char *waitingFor);
    void setAttribute(VisaApi::ViAttr attribute, VisaApi::ViAttrState value);
    [[noreturn]] void fail(VisaApi::ViStatus status, const QString &doing);

    std::shared_ptr<VisaLibrary> m_library;
    QByteArray m_descriptor;
    std::optional<VisaApi::ViSession> m_session;
    bool m_clearOnOpen = false;
    std::optional<char> m_terminator;
    QByteArray m_outgoing;
    ReplyAssembler m_reply{MaxReplyBytes};
};
