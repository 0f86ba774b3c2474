#include "InstrumentControl.h"

#include "CommandText.h"
#include "InstrumentError.h"
#include "ResourceDescriptor.h"
#include "TransportError.h"
#include "TransportFactory.h"

#include <QSet>

#include <algorithm>
#include <utility>

InstrumentControl::InstrumentControl(QList<std::shared_ptr<ResourceSource>> sources)
    : m_sources(std::move(sources)) {}

InstrumentControl::~InstrumentControl() = default;

// Runs one operation: a TransportError becomes a negative status and, with
// error reporting on, an InstrumentError.
template <typename Operation>
auto InstrumentControl::attempt(const char *operation, Operation &&run) -> decltype(run()) {
    using Result = decltype(run());
    try {
        if constexpr (std::is_void_v<Result>) {
            run();
            succeeded();
            return;
        } else {
            Result result = run();
            succeeded();
            return result;
        }
    } catch (const TransportError &error) {
        m_status = Failed;
        m_lastError = error.reason();
        if (m_errorReporting)
            throw InstrumentError(QLatin1String(operation), m_descriptor, error.reason());
        return Result();
    }
}

Transport &InstrumentControl::transport() {
    if (!m_transport) {
        for (const auto &source : std::as_const(m_sources)) {
            if ((m_transport = source->open(m_descriptor)))
                return *m_transport;
        }
        QString why;
        const auto parsed = ResourceDescriptor::parse(m_descriptor, &why);
        if (!parsed)
            throw TransportError(
                QStringLiteral("malformed resource descriptor \"%1\": %2").arg(m_descriptor, why));
        m_transport = TransportFactory::create(*parsed);
    }
    return *m_transport;
}

QByteArrayView InstrumentControl::encode(const QString &command) {
    m_command.resize(command.size());
    char *out = m_command.data();
    for (const QChar c : command)
        *out++ = commandByte(c);
    return m_command;
}

void InstrumentControl::succeeded() {
    m_status = 0;
    m_lastError.clear();
    if (m_transport && m_transport->takeReopened())
        m_reconnected = true;
}

std::chrono::milliseconds InstrumentControl::exchangeTimeout(const Transport &link) const {
    return link.connected() ? m_timeout : std::max(m_timeout, FirstExchangeTimeout);
}

bool InstrumentControl::takeReconnected() {
    return std::exchange(m_reconnected, false);
}

void InstrumentControl::setErrorReporting(bool on) {
    m_errorReporting = on;
}

void InstrumentControl::setSetting(int id, qint16 value) {
    attempt("setting", [&] {
        switch (id) {
        case TimeoutSetting:
            if (value < 1)
                throw TransportError(QStringLiteral("I/O timeout %1 ms is below 1 ms").arg(value));
            m_timeout = std::chrono::milliseconds(value);
            return;
        case TerminatorSetting:
            if (value < 0 || value > 0xff)
                throw TransportError(
                    QStringLiteral("terminator %1 is no character code 0-255").arg(value));
            m_terminator = value == 0 ? '\n' : char(value);
            return;
        default:
            throw TransportError(QStringLiteral("unknown setting %1").arg(id));
        }
    });
}

std::optional<QStringList> InstrumentControl::resourceList() {
    QStringList merged;
    QSet<QString> seen;
    bool anyRead = false;
    for (const auto &source : std::as_const(m_sources)) {
        const auto listed = source->descriptors();
        if (!listed)
            continue;
        anyRead = true;
        for (const QString &entry : *listed) {
            const QString descriptor = entry.trimmed();
            const QString key = descriptor.toLower();
            if (descriptor.isEmpty() || seen.contains(key))
                continue;
            seen.insert(key);
            merged << descriptor;
        }
    }
    if (!anyRead)
        return std::nullopt;
    return merged;
}

void InstrumentControl::setDescriptor(const QString &descriptor) {
    m_transport.reset();
    m_descriptor = descriptor;
    m_reconnected = false;
    attempt("descriptor", [&] { transport(); });
}

void InstrumentControl::deviceClear() {
    attempt("device clear", [&] { transport().clear(); });
}

void InstrumentControl::write(const QString &command) {
    attempt("write", [&] {
        Transport &link = transport();
        link.write(encode(command), exchangeTimeout(link));
    });
}

std::chrono::milliseconds InstrumentControl::ask(const QString &command) {
    Transport &link = transport();
    const std::chrono::milliseconds timeout = exchangeTimeout(link);
    link.write(encode(command), timeout);
    return timeout;
}

QString InstrumentControl::query(const QString &command) {
    return attempt("query", [&] {
        const std::chrono::milliseconds timeout = ask(command);
        return QString::fromLatin1(m_transport->read(m_terminator, timeout));
    });
}

void InstrumentControl::queryAndDrop(const QString &command) {
    attempt("query", [&] {
        const std::chrono::milliseconds timeout = ask(command);
        m_transport->drop(m_terminator, timeout);
    });
}
