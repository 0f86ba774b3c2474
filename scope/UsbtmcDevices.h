#pragma once

#include "ResourceDescriptor.h"
#include "ResourceSource.h"

#include <QString>

// The USB instruments that the Linux usbtmc driver has bound, found in
// sysfs: each <sysfs>/class/usbmisc/usbtmcN leads to its USB interface
// (bInterfaceNumber) and the interface's device (idVendor, idProduct,
// serial). Each is listed as "USB0::0xVVVV::0xPPPP::SERIAL::INSTR", with the
// interface number before "INSTR" only when it is not 0, as VISA spells them.
// A device without a serial number cannot be named and is not listed.
//
// Both roots are given so tests can point them at a tree of their own.
class UsbtmcDevices : public ResourceSource {
public:
    struct Device {
        QString descriptor;
        QString path;
        quint16 vendorId = 0;
        quint16 productId = 0;
        QString serial;
        int interfaceNumber = 0;
    };

    explicit UsbtmcDevices(QString sysfsRoot = QStringLiteral("/sys"),
                           QString devRoot = QStringLiteral("/dev"));

    // Every bound device, in the driver's order (usbtmc2 before usbtmc10).
    QList<Device> scan() const;
    // The device file of the instrument a USB descriptor names: vendor and
    // product compared as numbers, the serial without regard to case; with
    // no interface number given, the lowest one. nullopt when none is bound.
    std::optional<QString> devicePath(const ResourceDescriptor &wanted) const;

    std::optional<QStringList> descriptors() override;

private:
    QString m_sysfsRoot;
    QString m_devRoot;
};
