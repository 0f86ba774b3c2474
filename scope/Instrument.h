#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// The instrument I/O control: the only way the program talks to a scope.
//
// Settings: 14 is the I/O timeout of one exchange in milliseconds; 1 is the
// character that ends a reply, 0 meaning a line feed.
//
// With error reporting on, a failed operation throws InstrumentError. With it
// off, write and query return normally and only status() tells of a failure.
class Instrument {
public:
    static constexpr int TimeoutSetting = 14;
    static constexpr int TerminatorSetting = 1;

    virtual ~Instrument() = default;

    virtual void setErrorReporting(bool on) = 0;
    virtual void setSetting(int id, qint16 value) = 0;
    // Descriptors in the order they are to be tried; nullopt when no
    // instrument is known at all.
    virtual std::optional<QStringList> resourceList() = 0;
    virtual void setDescriptor(const QString &descriptor) = 0;
    virtual QString descriptor() const = 0;
    virtual void deviceClear() = 0;
    virtual void write(const QString &command) = 0;
    virtual QString query(const QString &command) = 0;
    // A query whose reply nobody reads: the reply is read to its end and let
    // go of as it arrives, so even a huge one costs no memory. Status and
    // error reporting as for query.
    virtual void queryAndDrop(const QString &command) = 0;
    // Negative after a failed write or query, zero or positive after success.
    virtual int status() const = 0;
    // True once an operation has succeeded on a connection opened again after
    // the last one was lost (the instrument went away and came back, perhaps
    // restarted); a device clear that reconnects does not count. Reading it
    // resets it.
    virtual bool takeReconnected() { return false; }
};
