#pragma once

#include "Instrument.h"
#include "ResourceSource.h"
#include "Transport.h"

#include <QByteArray>
#include <QList>
#include <chrono>
#include <memory>

// The instrument I/O control: talks to the instrument the descriptor names
// through the transport a source opens for it (a vendor VISA library opens
// what it listed), or else the one its descriptor calls for.
//
// Settings: 14 (TimeoutSetting) is the I/O timeout of one write or one query
// in milliseconds, 300 until set, at least 1: the longest the link may stay
// silent, so a long reply that keeps arriving completes. The first write or
// query on each new connection may take up to FirstExchangeTimeout instead,
// because a scope waking up can take seconds to give its first reply.
// 1 (TerminatorSetting) is the character code that ends a reply, 0 meaning a
// line feed (the default).
//
// Setting the descriptor does not connect; the first write or query does. A
// malformed descriptor, or one of a kind with no transport yet, is reported
// at once by setDescriptor (an InstrumentError with error reporting on, a
// negative status otherwise) and again by every operation until another is
// set. Device clear drops the connection and whatever was in flight.
//
// Error reporting is on until switched off: a failed operation throws
// InstrumentError (operation, descriptor, reason). With it off only status()
// tells: negative after a failed operation, 0 after a successful one.
//
// Commands go out as Latin-1 (characters beyond it as "?"); replies come back
// as Latin-1, byte for byte, so a binary block survives QString::toLatin1().
//
// resourceList() merges the sources in order; a descriptor listed again
// (compared case-insensitively, trimmed) keeps its first place. A source that
// cannot be read is passed over; nullopt only when no source could be read.
class InstrumentControl : public Instrument {
public:
    static constexpr qint16 DefaultTimeoutMs = 300;
    static constexpr int Failed = -1;
    static constexpr std::chrono::milliseconds FirstExchangeTimeout{5000};

    explicit InstrumentControl(QList<std::shared_ptr<ResourceSource>> sources);
    ~InstrumentControl() override;

    void setErrorReporting(bool on) override;
    void setSetting(int id, qint16 value) override;
    std::optional<QStringList> resourceList() override;
    void setDescriptor(const QString &descriptor) override;
    QString descriptor() const override { return m_descriptor; }
    void deviceClear() override;
    void write(const QString &command) override;
    QString query(const QString &command) override;
    void queryAndDrop(const QString &command) override;
    int status() const override { return m_status; }
    bool takeReconnected() override;

    // Why the last operation failed; empty after a success.
    QString lastError() const { return m_lastError; }

private:
    template <typename Operation>
    auto attempt(const char *operation, Operation &&run) -> decltype(run());
    Transport &transport();
    QByteArrayView encode(const QString &command);
    // Sends a query; returns how long its reply may keep the link silent.
    std::chrono::milliseconds ask(const QString &command);
    void succeeded();
    std::chrono::milliseconds exchangeTimeout(const Transport &link) const;

    QList<std::shared_ptr<ResourceSource>> m_sources;
    QString m_descriptor;
    std::unique_ptr<Transport> m_transport;
    QByteArray m_command;
    std::chrono::milliseconds m_timeout{DefaultTimeoutMs};
    char m_terminator = '\n';
    bool m_reconnected = false;
    bool m_errorReporting = true;
    int m_status = 0;
    QString m_lastError;
};
