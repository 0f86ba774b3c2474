#include "FakeUsbTree.h"
#include "UsbtmcDevices.h"

#include <QTest>

// The sysfs scan that names USB instruments and finds the device file a
// descriptor means, on a tree of its own.

namespace {

struct Rig {
    Rig() {
        // Two interfaces of one device, its ids in sysfs's lower case.
        tree.add({0, "feed", "0042", "C012345", "00", "1-1"});
        tree.add({1, "feed", "0042", "C012345", "01", "1-1"});
        // Numbered so that a sort by text would put them the wrong way round.
        tree.add({10, "FEED", "0043", "C099", "02", "1-2"});
        tree.add({4, "FEED", "0043", "C099", "01", "1-2"});
        // No serial, a serial that would split the descriptor, an id that is
        // no hex number, another driver's node: none can be named.
        tree.add({5, "FEED", "0044", QString(), "00", "1-5"});
        tree.add({6, "FEED", "0045", "A::B", "00", "1-6"});
        tree.add({7, "zz", "0046", "A", "00", "1-7"});
        tree.addForeign("hiddev0");
    }

    FakeUsbTree tree;
    UsbtmcDevices devices{tree.sysfsRoot(), tree.devRoot()};
};

} // namespace

class tst_UsbtmcDevices : public QObject {
    Q_OBJECT

private slots:
    void listing() {
        Rig rig;
        QCOMPARE(rig.devices.descriptors(), (QStringList{"USB0::0xFEED::0x0042::C012345::INSTR",
                                                         "USB0::0xFEED::0x0042::C012345::1::INSTR",
                                                         "USB0::0xFEED::0x0043::C099::1::INSTR",
                                                         "USB0::0xFEED::0x0043::C099::2::INSTR"}));
    }

    void devicePath_data() {
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
    void devicePath() {
        QFETCH(QString, descriptor);
        QFETCH(QString, node);
        Rig rig;
        const auto path = rig.devices.devicePath(*ResourceDescriptor::parse(descriptor));
        QCOMPARE(path,
                 node.isNull() ? std::nullopt : std::optional(rig.tree.devRoot() + '/' + node));
    }

    // A machine without the driver (or without sysfs) simply has no USB
    // instruments; it must not make the resource list fail.
    void missingSysfsListsNothing() {
        QCOMPARE(UsbtmcDevices("/nonexistent/sys", "/nonexistent/dev").descriptors(),
                 QStringList());
    }
};

QTEST_GUILESS_MAIN(tst_UsbtmcDevices)
#include "tst_UsbtmcDevices.moc"
