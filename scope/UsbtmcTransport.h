#pragma once

#include "ReplyAssembler.h"
#include "ResourceDescriptor.h"
#include "Transport.h"
#include "UsbtmcDevices.h"

#include <QByteArray>
#include <QString>

// A USB instrument through the Linux usbtmc driver (/dev/usbtmcN). The
// device file is found afresh each time the link opens, so an instrument
// that was unplugged and comes back under another number is found again.
//
// Each write() of the driver is one message and each read() returns at most
// one message: a read shorter than asked for ended the message. The driver's
// own timeout is set to what is left of the operation before each call, and
// a file that does not block (a stand-in for the driver) is waited on with
// poll(), so every operation is bounded either way.
//
// A failed read asks the driver to abort the transfer, and any failure
// closes the file: a reply that comes late never answers a later query.
class UsbtmcTransport : public Transport {
public:
    static constexpr qsizetype MaxReplyBytes = 64 * 1024 * 1024;

    explicit UsbtmcTransport(ResourceDescriptor wanted, UsbtmcDevices devices = UsbtmcDevices());
    ~UsbtmcTransport() override;
    UsbtmcTransport(const UsbtmcTransport &) = delete;
    UsbtmcTransport &operator=(const UsbtmcTransport &) = delete;

    // Appends a line feed; the whole message goes out in one write.
    void write(QByteArrayView message, std::chrono::milliseconds timeout) override;
    // Replies are framed as ReplyFramer says, or end with the message.
    QByteArrayView read(char terminator, std::chrono::milliseconds timeout) override;
    void drop(char terminator, std::chrono::milliseconds timeout) override;
    // Device clear through the driver; opens the device first if needed,
    // and gives up quietly when it is gone.
    void clear() override;

private:
    void open();
    void close();
    [[noreturn]] void failAndClose(const QString &reason);
    QByteArrayView receive(char terminator, std::chrono::milliseconds timeout,
                           ReplyAssembler::Bytes bytes);
    bool driverCall(unsigned long request, void *argument);
    void setDriverTimeout(Deadline deadline, const char *waitingFor);
    void waitFor(short events, Deadline deadline, const char *waitingFor);
    QString name() const;

    ResourceDescriptor m_wanted;
    UsbtmcDevices m_devices;
    QString m_path;
    int m_fd = -1;
    QByteArray m_outgoing;
    ReplyAssembler m_reply{MaxReplyBytes};
};
