#include "FakeUsbTree.h"
#include "UsbtmcDevices.h"

#include <QTest>

using Devices = QList<FakeUsbTree::Device>;
Q_DECLARE_METATYPE(Devices)

// The sysfs scan that names USB instruments and finds the device file a
// descriptor means, on a tree of its own.
class tst_UsbtmcDevices : public QObject {
    Q_OBJECT

private slots:
    void listing_data();
    void listing();
    void devicePath_data();
    void devicePath();
    void missingSysfsListsNothing();
};

void tst_UsbtmcDevices::listing_data() {
    QTest::addColumn<Devices>("devices");
    QTest::addColumn<QStringList>("expected");

    using D = FakeUsbTree::Device;
    QTest::addRow("interface 0 left out") << Devices{D{0, "FEED", "0042", "C012345"}}
                                          << QStringList{"USB0::0xFEED::0x0042::C012345::INSTR"};
    QTest::addRow("other interface named")
        << Devices{D{0, "FEED", "0042", "C012345", "01"}}
        << QStringList{"USB0::0xFEED::0x0042::C012345::1::INSTR"};
    QTest::addRow("hex ids in capitals, serial as it is")
        << Devices{D{0, "abcd", "00ef", "sn-42a"}}
        << QStringList{"USB0::0xABCD::0x00EF::sn-42a::INSTR"};
    QTest::addRow("numbers in numeric order")
        << Devices{D{10, "0001", "0002", "TEN", "00", "1-2"}, D{2, "0001", "0002", "TWO"}}
        << QStringList{"USB0::0x0001::0x0002::TWO::INSTR", "USB0::0x0001::0x0002::TEN::INSTR"};
    QTest::addRow("no serial cannot be named")
        << Devices{D{0, "FEED", "0042", QString()}, D{1, "FEED", "0043", "B1", "00", "1-2"}}
        << QStringList{"USB0::0xFEED::0x0043::B1::INSTR"};
    QTest::addRow("serial that would split the descriptor")
        << Devices{D{0, "FEED", "0042", "A::B"}} << QStringList();
    QTest::addRow("id that is no hex number") << Devices{D{0, "zz", "0042", "A"}} << QStringList();
}

void tst_UsbtmcDevices::listing() {
    QFETCH(Devices, devices);
    QFETCH(QStringList, expected);

    FakeUsbTree tree;
    for (const auto &device : devices)
        tree.add(device);
    tree.addForeign(QStringLiteral("hiddev0"));
    UsbtmcDevices source(tree.sysfsRoot(), tree.devRoot());
    QCOMPARE(source.descriptors(), expected);
}

void tst_UsbtmcDevices::devicePath_data() {
    QTest::addColumn<QString>("descriptor");
    QTest::addColumn<QString>("node");

    QTest::addRow("hex ids") << "USB0::0xFEED::0x0042::C012345::INSTR"
                             << "usbtmc0";
    QTest::addRow("decimal ids, no board") << "USB::65261::66::C012345::INSTR"
                                           << "usbtmc0";
    QTest::addRow("serial in other case") << "usb0::0xfeed::0x42::c012345::instr"
                                          << "usbtmc0";
    QTest::addRow("interface given") << "USB0::0xFEED::0x0042::C012345::1::INSTR"
                                     << "usbtmc1";
    QTest::addRow("lowest interface when none given") << "USB0::0xFEED::0x0043::C099::INSTR"
                                                      << "usbtmc4";
    QTest::addRow("interface not there") << "USB0::0xFEED::0x0043::C099::0::INSTR" << QString();
    QTest::addRow("other serial") << "USB0::0xFEED::0x0042::C012346::INSTR" << QString();
}

void tst_UsbtmcDevices::devicePath() {
    QFETCH(QString, descriptor);
    QFETCH(QString, node);

    FakeUsbTree tree;
    tree.add({0, "FEED", "0042", "C012345", "00", "1-1"});
    tree.add({1, "FEED", "0042", "C012345", "01", "1-1"});
    tree.add({3, "FEED", "0043", "C099", "02", "1-2"});
    tree.add({4, "FEED", "0043", "C099", "01", "1-2"});
    const UsbtmcDevices devices(tree.sysfsRoot(), tree.devRoot());
    const auto wanted = ResourceDescriptor::parse(descriptor);
    QVERIFY(wanted);
    const auto path = devices.devicePath(*wanted);
    if (node.isNull())
        QCOMPARE(path, std::nullopt);
    else
        QCOMPARE(path, tree.devRoot() + '/' + node);
}

// A machine without the driver (or without sysfs) simply has no USB
// instruments; it must not make the resource list fail.
void tst_UsbtmcDevices::missingSysfsListsNothing() {
    UsbtmcDevices devices(QStringLiteral("/nonexistent/sys"), QStringLiteral("/nonexistent/dev"));
    QCOMPARE(devices.descriptors(), QStringList());
}

QTEST_GUILESS_MAIN(tst_UsbtmcDevices)
#include "tst_UsbtmcDevices.moc"
