#include "VisaTransport.h"

#include "TransportError.h"
#include "VisaLibrary.h"

using namespace std::chrono;
using namespace VisaApi;

VisaTransport::VisaTransport(std::shared_ptr<VisaLibrary> library, const QString &descriptor)
    : m_library(std::move(library))
    , m_descriptor(descriptor.toLatin1()) {}

VisaTransport::~VisaTransport() {
    close();
}

void VisaTransport::open(Deadline deadline) {
    // A library that never returns from its open must not hold the exchange
    // past its bound.
    const auto opened = m_library->openSession(
        m_descriptor, std::max(ceil<milliseconds>(deadline - steady_clock::now()), 0ms));
    if (!opened)
        throw TransportError(QStringLiteral("timed out waiting for the VISA library to open %1")
                                 .arg(QString::fromLatin1(m_descriptor)));
    const auto [status, session] = *opened;
    if (status < Success)
        throw TransportError(
            QStringLiteral("the VISA library could not open %1: %2")
                .arg(QString::fromLatin1(m_descriptor), m_library->describe(status)));
    m_session = session;
    m_terminator.reset();
    connectionOpened();
}

void VisaTransport::close() {
    if (m_session) {
        m_library->calls().close(*m_session);
        m_clearOnOpen = true;
    }
    m_session.reset();
    m_reply.reset();
    connectionClosed();
}

void VisaTransport::lose() {
    connectionLost();
    close();
}

void VisaTransport::fail(ViStatus status, const QString &doing) {
    const QString reason =
        status == ErrorTimeout
            ? QStringLiteral("timed out %1").arg(doing)
            : QStringLiteral("%1 failed: %2").arg(doing, m_library->describe(status));
    lose();
    throw TransportError(reason);
}

void VisaTransport::setAttribute(ViAttr attribute, ViAttrState value) {
    const ViStatus status = m_library->calls().setAttribute(*m_session, attribute, value);
    if (status < Success)
        fail(status, QStringLiteral("setting VISA attribute 0x%1").arg(attribute, 8, 16));
}

void VisaTransport::setTimeout(Deadline deadline, const char *waitingFor) {
    const auto remaining = ceil<milliseconds>(deadline - steady_clock::now()).count();
    if (remaining <= 0)
        fail(ErrorTimeout, QStringLiteral("waiting for %1").arg(QLatin1String(waitingFor)));
    setAttribute(AttrTimeoutValue, ViAttrState(remaining));
}

void VisaTransport::write(QByteArrayView message, milliseconds timeout) {
    const Deadline deadline = steady_clock::now() + timeout;
    if (!m_session)
        open(deadline);
    if (m_clearOnOpen) {
        setTimeout(deadline, "the instrument to clear");
        const ViStatus cleared = m_library->calls().clear(*m_session);
        if (cleared < Success)
            fail(cleared, QStringLiteral("waiting for the instrument to clear"));
        m_clearOnOpen = false;
    }
    m_outgoing.truncate(0);
    m_outgoing.append(message.data(), message.size());
    m_outgoing.append('\n');
    setTimeout(deadline, "the instrument to accept the command");
    ViUInt32 written = 0;
    const ViStatus status = m_library->calls().write(
        *m_session, reinterpret_cast<const unsigned char *>(m_outgoing.constData()),
        ViUInt32(m_outgoing.size()), &written);
    if (status < Success)
        fail(status, QStringLiteral("waiting for the instrument to accept the command"));
    if (qsizetype(written) != m_outgoing.size()) {
        lose();
        throw TransportError(QStringLiteral("the VISA library sent only %1 of %2 bytes")
                                 .arg(written)
                                 .arg(m_outgoing.size()));
    }
}

QByteArrayView VisaTransport::read(char terminator, milliseconds timeout) {
    return receive(terminator, timeout, ReplyAssembler::Bytes::Kept);
}

void VisaTransport::drop(char terminator, milliseconds timeout) {
    receive(terminator, timeout, ReplyAssembler::Bytes::Dropped);
}

QByteArrayView VisaTransport::receive(char terminator, milliseconds timeout,
                                      ReplyAssembler::Bytes bytes) {
    if (!m_session)
        throw TransportError(QStringLiteral("no connection to read a reply from"));
    Deadline deadline = steady_clock::now() + timeout;
    if (m_terminator != terminator) {
        setAttribute(AttrTermChar, ViAttrState(quint8(terminator)));
        setAttribute(AttrTermCharEnabled, 1);
        m_terminator = terminator;
    }
    m_reply.start(terminator, bytes);
    for (;;) {
        setTimeout(deadline, "a reply");
        ViUInt32 got = 0;
        const ViStatus status =
            m_library->calls().read(*m_session, reinterpret_cast<unsigned char *>(m_reply.chunk()),
                                    ReplyAssembler::ChunkBytes, &got);
        if (status < Success)
            fail(status, QStringLiteral("waiting for a reply"));
        // The timeout bounds silence: a reply that keeps arriving completes.
        deadline = steady_clock::now() + timeout;
        // Anything short of Success means more to come: the buffer was
        // filled, or the terminator byte sat inside a block.
        try {
            const auto received = std::min<qsizetype>(got, ReplyAssembler::ChunkBytes);
            if (const auto reply = m_reply.add(received, status == Success))
                return *reply;
        } catch (const TransportError &) {
            lose();
            throw;
        }
    }
}

void VisaTransport::clear() {
    close();
    m_clearOnOpen = true;
}
