#include "ResourceDescriptor.h"

#include <QTest>

namespace {

// The parse result in one line, or the error, so each row reads whole.
QString summary(const QString &text) {
    QString error;
    const auto parsed = ResourceDescriptor::parse(text, &error);
    if (!parsed)
        return QStringLiteral("error: ") + error;
    switch (parsed->kind) {
    case ResourceDescriptor::Kind::Socket:
        return QStringLiteral("socket %1 %2 %3")
            .arg(parsed->board)
            .arg(parsed->host)
            .arg(parsed->port);
    case ResourceDescriptor::Kind::LanInstrument:
        return QStringLiteral("vxi %1 %2 %3")
            .arg(parsed->board)
            .arg(parsed->host, parsed->deviceName);
    case ResourceDescriptor::Kind::UsbInstrument:
        return QStringLiteral("usb %1 %2 %3 %4 %5")
            .arg(parsed->board)
            .arg(parsed->vendorId)
            .arg(parsed->productId)
            .arg(parsed->serial)
            .arg(parsed->interfaceNumber.value_or(-1));
    }
    return {};
}

} // namespace

class tst_ResourceDescriptor : public QObject {
    Q_OBJECT

private slots:
    void parse_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");

        const auto row = [](const char *name, const char *text, const char *expected) {
            QTest::addRow("%s", name) << QString::fromUtf8(text) << QString::fromUtf8(expected);
        };
        row("socket", "TCPIP0::192.168.1.20::4000::SOCKET", "socket 0 192.168.1.20 4000");
        row("lower case, no board", "tcpip::127.0.0.1::1::socket", "socket 0 127.0.0.1 1");
        row("board, host name, blanks", " TCPIP3::scope-7.lab::65535::Socket\t",
            "socket 3 scope-7.lab 65535");
        row("bracketed IPv6", "TCPIP0::[::1]::4000::SOCKET", "socket 0 ::1 4000");
        row("VXI-11, default device", "TCPIP::10.0.0.5::INSTR", "vxi 0 10.0.0.5 inst0");
        row("VXI-11, named device", "TCPIP1::[fe80::1]::gpib0,7::instr", "vxi 1 fe80::1 gpib0,7");
        row("USB, hex ids", "USB0::0xFEED::0X0042::C01::INSTR", "usb 0 65261 66 C01 -1");
        row("USB, decimal ids, interface", "usb2::65261::66::C01::3::instr",
            "usb 2 65261 66 C01 3");

        row("unknown interface", "GPIB0::7::INSTR", "error: unknown interface type 'GPIB0'");
        row("socket without port", "TCPIP0::h::SOCKET", "error: a socket needs host and port");
        row("no resource class", "TCPIP0::h::4000",
            "error: unknown resource class '4000' (SOCKET or INSTR expected)");
        row("empty host", "TCPIP0::::4000::SOCKET", "error: empty field");
        row("blank in host", "TCPIP0::my scope::4000::SOCKET",
            "error: 'my scope' is not a host name or address");
        row("unclosed bracket", "TCPIP0::[::1::4000::SOCKET", "error: '[' without ']'");
        row("bracketed name", "TCPIP0::[scope]::4000::SOCKET",
            "error: '[scope]' is not an IPv6 address");
        row("USB without serial", "USB0::0xFEED::0x0042::INSTR",
            "error: USB needs vendor, product and serial number");
        row("USB id too big", "USB0::0x10000::1::S::INSTR",
            "error: vendor id 0x10000 is out of range 0-65535");
        row("USB bad hex", "USB0::0xG1::1::S::INSTR", "error: vendor id '0xG1' is not a number");
    }
    void parse() {
        QFETCH(QString, text);
        QTEST(summary(text), "expected");
    }
};

QTEST_GUILESS_MAIN(tst_ResourceDescriptor)
#include "tst_ResourceDescriptor.moc"
