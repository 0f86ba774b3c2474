#pragma once

#include <QString>
#include <stdexcept>

// Thrown by the instrument I/O control while its error reporting is on.
class InstrumentError : public std::runtime_error {
public:
    InstrumentError(const QString &operation, const QString &descriptor, const QString &reason)
        : std::runtime_error(QStringLiteral("%1 on %2 failed: %3")
                                 .arg(operation, descriptor, reason)
                                 .toStdString())
        , m_operation(operation)
        , m_descriptor(descriptor)
        , m_reason(reason) {}

    QString operation() const { return m_operation; }
    QString descriptor() const { return m_descriptor; }
    QString reason() const { return m_reason; }

private:
    QString m_operation;
    QString m_descriptor;
    QString m_reason;
};
