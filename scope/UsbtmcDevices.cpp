#include "UsbtmcDevices.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace {

std::optional<QString> attribute(const QDir &dir, const QString &name) {
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return QString::fromUtf8(file.read(256)).trimmed();
}

std::optional<uint> hexAttribute(const QDir &dir, const QString &name, uint highest) {
    const auto text = attribute(dir, name);
    bool ok = false;
    const uint value = text ? text->toUInt(&ok, 16) : 0;
    if (!ok || value > highest)
        return std::nullopt;
    return value;
}

QString hex4(quint16 value) {
    return QString::number(value, 16).toUpper().rightJustified(4, QLatin1Char('0'));
}

} // namespace

UsbtmcDevices::UsbtmcDevices(QString sysfsRoot, QString devRoot)
    : m_sysfsRoot(std::move(sysfsRoot))
    , m_devRoot(std::move(devRoot)) {}

QList<UsbtmcDevices::Device> UsbtmcDevices::scan() const {
    static const QRegularExpression nodeName(QStringLiteral("^usbtmc(\\d+)$"));
    const QDir classDir(m_sysfsRoot + QStringLiteral("/class/usbmisc"));
    QList<std::pair<uint, Device>> found;
    for (const QString &node : classDir.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const auto number = nodeName.match(node);
        if (!number.hasMatch())
            continue;
        // The node's "device" link is the USB interface; its parent is the
        // device itself.
        const QString interfacePath =
            QFileInfo(classDir.filePath(node) + QStringLiteral("/device")).canonicalFilePath();
        if (interfacePath.isEmpty())
            continue;
        const QDir usbInterface(interfacePath);
        QDir usbDevice(interfacePath);
        usbDevice.cdUp();
        const auto vendor = hexAttribute(usbDevice, QStringLiteral("idVendor"), 0xffff);
        const auto product = hexAttribute(usbDevice, QStringLiteral("idProduct"), 0xffff);
        const auto interfaceNumber =
            hexAttribute(usbInterface, QStringLiteral("bInterfaceNumber"), 0xff);
        const auto serial = attribute(usbDevice, QStringLiteral("serial"));
        if (!vendor || !product || !interfaceNumber || !serial || serial->isEmpty())
            continue;
        Device device;
        device.path = m_devRoot + QLatin1Char('/') + node;
        device.vendorId = quint16(*vendor);
        device.productId = quint16(*product);
        device.serial = *serial;
        device.interfaceNumber = int(*interfaceNumber);
        device.descriptor = QStringLiteral("USB0::0x%1::0x%2::%3%4::INSTR")
                                .arg(hex4(device.vendorId), hex4(device.productId), device.serial,
                                     device.interfaceNumber == 0
                                         ? QString()
                                         : QStringLiteral("::%1").arg(device.interfaceNumber));
        // A serial holding "::" or the like would make a descriptor that
        // names something else.
        const auto parsed = ResourceDescriptor::parse(device.descriptor);
        if (!parsed || parsed->serial != device.serial)
            continue;
        found.append({number.captured(1).toUInt(), device});
    }
    std::sort(found.begin(), found.end(),
              [](const auto &a, const auto &b) { return a.first < b.first; });
    QList<Device> devices;
    for (const auto &entry : std::as_const(found))
        devices << entry.second;
    return devices;
}

std::optional<QString> UsbtmcDevices::devicePath(const ResourceDescriptor &wanted) const {
    std::optional<Device> best;
    for (const Device &device : scan()) {
        if (device.vendorId != wanted.vendorId || device.productId != wanted.productId ||
            device.serial.compare(wanted.serial, Qt::CaseInsensitive) != 0)
            continue;
        if (wanted.interfaceNumber ? device.interfaceNumber == *wanted.interfaceNumber
                                   : !best || device.interfaceNumber < best->interfaceNumber)
            best = device;
    }
    if (!best)
        return std::nullopt;
    return best->path;
}

std::optional<QStringList> UsbtmcDevices::descriptors() {
    QStringList listed;
    for (const Device &device : scan())
        listed << device.descriptor;
    return listed;
}
