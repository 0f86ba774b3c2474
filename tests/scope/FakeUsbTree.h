#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

// A sysfs and /dev pair in a temporary folder, laid out as the usbtmc
// driver leaves them: class/usbmisc/usbtmcN links to a node under the USB
// interface, whose parent is the device.
class FakeUsbTree {
public:
    struct Device {
        int node = 0;
        QString vendor;
        QString product;
        // No serial file when null.
        QString serial;
        QString interfaceNumber = QStringLiteral("00");
        // Interfaces of one device share it.
        QString port = QStringLiteral("1-1");
    };

    FakeUsbTree() {
        QDir(m_dir.path()).mkpath(QStringLiteral("sys/class/usbmisc"));
        QDir(m_dir.path()).mkpath(QStringLiteral("dev"));
    }

    QString sysfsRoot() const { return m_dir.filePath(QStringLiteral("sys")); }
    QString devRoot() const { return m_dir.filePath(QStringLiteral("dev")); }

    void add(const Device &device) {
        const QString usbDevice =
            sysfsRoot() + QStringLiteral("/devices/pci0000:00/usb1/") + device.port;
        const QString usbInterface = usbDevice + QLatin1Char('/') + device.port +
                                     QStringLiteral(":1.") + device.interfaceNumber;
        const QString node = QStringLiteral("usbtmc%1").arg(device.node);
        const QString nodeDir = usbInterface + QStringLiteral("/usbmisc/") + node;
        QDir().mkpath(nodeDir);
        write(usbDevice + QStringLiteral("/idVendor"), device.vendor);
        write(usbDevice + QStringLiteral("/idProduct"), device.product);
        if (!device.serial.isNull())
            write(usbDevice + QStringLiteral("/serial"), device.serial);
        write(usbInterface + QStringLiteral("/bInterfaceNumber"), device.interfaceNumber);
        QFile::link(usbInterface, nodeDir + QStringLiteral("/device"));
        QFile::link(nodeDir, classEntry(node));
    }

    // Another driver's node in the same class.
    void addForeign(const QString &node) { QDir().mkpath(classEntry(node)); }

    void unplug(int node) { QFile::remove(classEntry(QStringLiteral("usbtmc%1").arg(node))); }

    // Makes /dev/usbtmcN stand for the given file (a pty in the tests).
    void linkDeviceFile(int node, const QString &target) {
        const QString file = devRoot() + QStringLiteral("/usbtmc%1").arg(node);
        QFile::link(target, file);
    }

private:
    QString classEntry(const QString &node) const {
        return sysfsRoot() + QStringLiteral("/class/usbmisc/") + node;
    }

    static void write(const QString &path, const QString &text) {
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(text.toUtf8() + '\n');
    }

    QTemporaryDir m_dir;
};
