#include "UsbtmcTransport.h"

#include "TransportError.h"
#include "WaitUntilReady.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <linux/usb/tmc.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace std::chrono;

namespace {

// The driver refuses shorter timeouts.
constexpr milliseconds DriverMinimumTimeout{100};

QString systemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

UsbtmcTransport::UsbtmcTransport(ResourceDescriptor wanted, UsbtmcDevices devices)
    : m_wanted(std::move(wanted))
    , m_devices(std::move(devices)) {}

UsbtmcTransport::~UsbtmcTransport() {
    close();
}

QString UsbtmcTransport::name() const {
    return QStringLiteral("USB instrument %1:%2 serial %3")
        .arg(m_wanted.vendorId, 4, 16, QLatin1Char('0'))
        .arg(m_wanted.productId, 4, 16, QLatin1Char('0'))
        .arg(m_wanted.serial);
}

void UsbtmcTransport::open() {
    const auto path = m_devices.devicePath(m_wanted);
    if (!path)
        throw TransportError(QStringLiteral("%1 is not connected").arg(name()));
    m_fd = ::open(QFile::encodeName(*path).constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0) {
        const int error = errno;
        throw TransportError(QStringLiteral("cannot open %1 (%2): %3%4")
                                 .arg(*path, name(), systemError(error),
                                      error == EACCES
                                          ? QStringLiteral("; is the udev rule installed?")
                                          : QString()));
    }
    m_path = *path;
    connectionOpened();
}

void UsbtmcTransport::close() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_reply.reset();
    connectionClosed();
}

void UsbtmcTransport::failAndClose(const QString &reason) {
    connectionLost();
    close();
    throw TransportError(reason);
}

// One of the driver's own calls. A file that is no usbtmc device (a
// stand-in) refuses them all with ENOTTY, which is no failure; an older
// driver refuses only the calls it does not know yet.
bool UsbtmcTransport::driverCall(unsigned long request, void *argument) {
    return ::ioctl(m_fd, request, argument) == 0 || errno == ENOTTY;
}

void UsbtmcTransport::setDriverTimeout(Deadline deadline, const char *waitingFor) {
    const auto remaining = ceil<milliseconds>(deadline - steady_clock::now());
    if (remaining.count() <= 0)
        failAndClose(QStringLiteral("timed out waiting for %1").arg(QLatin1String(waitingFor)));
    __u32 timeout =
        __u32(std::min<qint64>(std::max(remaining, DriverMinimumTimeout).count(), UINT32_MAX));
    driverCall(USBTMC_IOCTL_SET_TIMEOUT, &timeout);
}

void UsbtmcTransport::waitFor(short events, Deadline deadline, const char *waitingFor) {
    if (const auto failure = waitUntilReady(m_fd, events, deadline, waitingFor))
        failAndClose(*failure);
}

void UsbtmcTransport::write(QByteArrayView message, milliseconds timeout) {
    const Deadline deadline = steady_clock::now() + timeout;
    if (m_fd < 0)
        open();
    m_outgoing.truncate(0);
    m_outgoing.append(message.data(), message.size());
    m_outgoing.append('\n');
    qsizetype sent = 0;
    while (sent < m_outgoing.size()) {
        setDriverTimeout(deadline, "the instrument to accept the command");
        const ssize_t done = ::write(m_fd, m_outgoing.constData() + sent, m_outgoing.size() - sent);
        if (done >= 0) {
            sent += done;
            continue;
        }
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN)
            waitFor(POLLOUT, deadline, "the instrument to accept the command");
        else if (errno == ETIMEDOUT)
            failAndClose(
                QStringLiteral("timed out waiting for the instrument to accept the command"));
        else
            failAndClose(
                QStringLiteral("sending to %1 failed: %2").arg(m_path, systemError(errno)));
    }
}

QByteArrayView UsbtmcTransport::read(char terminator, milliseconds timeout) {
    return receive(terminator, timeout, ReplyAssembler::Bytes::Kept);
}

void UsbtmcTransport::drop(char terminator, milliseconds timeout) {
    receive(terminator, timeout, ReplyAssembler::Bytes::Dropped);
}

QByteArrayView UsbtmcTransport::receive(char terminator, milliseconds timeout,
                                        ReplyAssembler::Bytes bytes) {
    if (m_fd < 0)
        throw TransportError(QStringLiteral("no connection to read a reply from"));
    Deadline deadline = steady_clock::now() + timeout;
    m_reply.start(terminator, bytes);
    for (;;) {
        setDriverTimeout(deadline, "a reply");
        const ssize_t got = ::read(m_fd, m_reply.chunk(), ReplyAssembler::ChunkBytes);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN) {
                waitFor(POLLIN, deadline, "a reply");
                continue;
            }
            if (errno == ETIMEDOUT) {
                // The instrument may still answer; that answer must not be
                // the next query's.
                driverCall(USBTMC_IOCTL_ABORT_BULK_IN, nullptr);
                failAndClose(QStringLiteral("timed out waiting for a reply"));
            }
            failAndClose(
                QStringLiteral("receiving from %1 failed: %2").arg(m_path, systemError(errno)));
        }
        if (got == 0)
            failAndClose(QStringLiteral("%1 ended the link").arg(m_path));
        // The timeout bounds silence: a reply that keeps arriving completes.
        deadline = steady_clock::now() + timeout;
        try {
            // A read shorter than asked for ended the message.
            if (const auto reply = m_reply.add(got, got < ReplyAssembler::ChunkBytes))
                return *reply;
        } catch (const TransportError &tooLong) {
            driverCall(USBTMC_IOCTL_ABORT_BULK_IN, nullptr);
            failAndClose(tooLong.reason());
        }
    }
}

void UsbtmcTransport::clear() {
    m_reply.reset();
    try {
        if (m_fd < 0)
            open();
    } catch (const TransportError &) {
        return;
    }
    if (!driverCall(USBTMC_IOCTL_CLEAR, nullptr))
        close();
}
