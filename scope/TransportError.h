#pragma once

#include <QString>
#include <stdexcept>

// A transport's failure, with the reason in words; the I/O control turns it
// into its status or an InstrumentError.
class TransportError : public std::runtime_error {
public:
    explicit TransportError(const QString &reason)
        : std::runtime_error(reason.toStdString())
        , m_reason(reason) {}

    QString reason() const { return m_reason; }

private:
    QString m_reason;
};
