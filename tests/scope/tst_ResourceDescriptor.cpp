#include "ResourceDescriptor.h"

#include <QTest>

using Kind = ResourceDescriptor::Kind;
Q_DECLARE_METATYPE(ResourceDescriptor::Kind)

class tst_ResourceDescriptor : public QObject {
    Q_OBJECT

private slots:
    void lan_data();
    void lan();
    void usb_data();
    void usb();
    void malformed_data();
    void malformed();
};

void tst_ResourceDescriptor::lan_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<int>("board");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("deviceName");

    QTest::addRow("socket") << "TCPIP0::192.168.1.20::4000::SOCKET" << Kind::Socket << 0
                            << "192.168.1.20" << 4000 << "";
    QTest::addRow("lower case, no board")
        << "tcpip::127.0.0.1::4000::socket" << Kind::Socket << 0 << "127.0.0.1" << 4000 << "";
    QTest::addRow("board 3, host name") << "TCPIP3::scope-7.lab.example::5025::Socket"
                                        << Kind::Socket << 3 << "scope-7.lab.example" << 5025 << "";
    QTest::addRow("bracketed IPv6")
        << "TCPIP0::[::1]::4000::SOCKET" << Kind::Socket << 0 << "::1" << 4000 << "";
    QTest::addRow("surrounding blanks")
        << "  TCPIP0::localhost::1::SOCKET \t" << Kind::Socket << 0 << "localhost" << 1 << "";
    QTest::addRow("highest port") << "TCPIP0::h::65535::SOCKET" << Kind::Socket << 0 << "h" << 65535
                                  << "";
    QTest::addRow("VXI-11, default device")
        << "TCPIP::10.0.0.5::INSTR" << Kind::LanInstrument << 0 << "10.0.0.5" << 0 << "inst0";
    QTest::addRow("VXI-11, named device")
        << "TCPIP1::[fe80::1]::gpib0,7::instr" << Kind::LanInstrument << 1 << "fe80::1" << 0
        << "gpib0,7";
}

void tst_ResourceDescriptor::lan() {
    QFETCH(QString, text);
    QString error;
    const auto parsed = ResourceDescriptor::parse(text, &error);
    QVERIFY2(parsed, qPrintable(error));
    QTEST(parsed->kind, "kind");
    QTEST(parsed->board, "board");
    QTEST(parsed->host, "host");
    QTEST(int(parsed->port), "port");
    QTEST(parsed->deviceName, "deviceName");
}

void tst_ResourceDescriptor::usb_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("vendor");
    QTest::addColumn<int>("product");
    QTest::addColumn<QString>("serial");
    QTest::addColumn<int>("interfaceNumber");

    QTest::addRow("hex ids") << "USB0::0x0699::0x0401::C012345::INSTR" << 0x699 << 0x401
                             << "C012345" << -1;
    QTest::addRow("decimal ids, interface")
        << "usb::1689::1025::ABC::0::instr" << 1689 << 1025 << "ABC" << 0;
    QTest::addRow("upper-case 0X") << "USB0::0XFFFF::0x0::s::INSTR" << 0xffff << 0 << "s" << -1;
}

void tst_ResourceDescriptor::usb() {
    QFETCH(QString, text);
    QString error;
    const auto parsed = ResourceDescriptor::parse(text, &error);
    QVERIFY2(parsed, qPrintable(error));
    QCOMPARE(parsed->kind, Kind::UsbInstrument);
    QTEST(int(parsed->vendorId), "vendor");
    QTEST(int(parsed->productId), "product");
    QTEST(parsed->serial, "serial");
    QTEST(parsed->interfaceNumber.value_or(-1), "interfaceNumber");
}

void tst_ResourceDescriptor::malformed_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("reason");

    QTest::addRow("empty") << ""
                           << "empty";
    QTest::addRow("blank") << "   "
                           << "empty";
    QTest::addRow("unknown interface") << "GPIB0::7::INSTR"
                                       << "unknown interface type 'GPIB0'";
    QTest::addRow("serial port") << "ASRL1::INSTR"
                                 << "unknown interface type";
    QTest::addRow("port zero") << "TCPIP0::h::0::SOCKET"
                               << "port 0 is out of range 1-65535";
    QTest::addRow("port too big") << "TCPIP0::h::65536::SOCKET"
                                  << "out of range";
    QTest::addRow("port not a number") << "TCPIP0::h::http::SOCKET"
                                       << "port 'http' is not a number";
    QTest::addRow("signed port") << "TCPIP0::h::+80::SOCKET"
                                 << "not a number";
    QTest::addRow("hex port") << "TCPIP0::h::0x50::SOCKET"
                              << "not a number";
    QTest::addRow("socket without port") << "TCPIP0::h::SOCKET"
                                         << "host and port";
    QTest::addRow("no resource class") << "TCPIP0::h::4000"
                                       << "unknown resource class '4000'";
    QTest::addRow("unknown class") << "TCPIP0::h::4000::BACKPLANE"
                                   << "unknown resource class";
    QTest::addRow("host only") << "TCPIP0::h"
                               << "host and resource class expected";
    QTest::addRow("empty host") << "TCPIP0::::4000::SOCKET"
                                << "empty field";
    QTest::addRow("trailing separator") << "TCPIP0::h::4000::SOCKET::"
                                        << "empty field";
    QTest::addRow("blank in host") << "TCPIP0::my scope::4000::SOCKET"
                                   << "not a host name";
    QTest::addRow("bare IPv6") << "TCPIP0::::1::4000::SOCKET"
                               << "empty field";
    QTest::addRow("unclosed bracket") << "TCPIP0::[::1::4000::SOCKET"
                                      << "'[' without ']'";
    QTest::addRow("junk after bracket") << "TCPIP0::[::1]x::4000::SOCKET"
                                        << "'::' expected";
    QTest::addRow("bracketed non-address") << "TCPIP0::[scope]::4000::SOCKET"
                                           << "'[scope]' is not an IPv6 address";
    QTest::addRow("board letters") << "TCPIPx::h::4000::SOCKET"
                                   << "unknown interface type";
    QTest::addRow("usb missing serial") << "USB0::0x0699::0x0401::INSTR"
                                        << "vendor, product";
    QTest::addRow("usb id too big") << "USB0::0x10000::0x0401::S::INSTR"
                                    << "vendor id";
    QTest::addRow("usb bad hex") << "USB0::0xG1::0x0401::S::INSTR"
                                 << "vendor id '0xG1'";
    QTest::addRow("usb socket class") << "USB0::1::2::S::SOCKET"
                                      << "INSTR expected";
    QTest::addRow("usb bad interface") << "USB0::1::2::S::x::INSTR"
                                       << "interface 'x'";
    QTest::addRow("vxi too many fields") << "TCPIP0::h::a::b::INSTR"
                                         << "too many fields";
}

void tst_ResourceDescriptor::malformed() {
    QFETCH(QString, text);
    QFETCH(QString, reason);
    QString error;
    QVERIFY(!ResourceDescriptor::parse(text, &error));
    QVERIFY2(error.contains(reason), qPrintable(error));
}

QTEST_GUILESS_MAIN(tst_ResourceDescriptor)
#include "tst_ResourceDescriptor.moc"
