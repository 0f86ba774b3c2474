#include "../scope/FakeUsbTree.h"
#include "InstrumentSources.h"
#include "UsbtmcDevices.h"
#include "VisaLibrary.h"

#include <QtTest>

// Whether a start has anything to search, or opens the finder instead.
class tst_InstrumentSources : public QObject {
    Q_OBJECT

private slots:
    void nothingToSearch_data() {
        QTest::addColumn<QByteArray>("list"); // "(none)": no list file; "(folder)": a folder
        QTest::addColumn<bool>("usbDevice");
        QTest::addColumn<bool>("nothing");
        QTest::addRow("no list") << QByteArray("(none)") << false << true;
        QTest::addRow("an empty list") << QByteArray() << false << true;
        QTest::addRow("only comments and a broken line")
            << QByteArray("# the bench scope, when it is back:\nTCPIP0::::INSTR\n") << false
            << true;
        QTest::addRow("a listed instrument")
            << QByteArray("TCPIP0::192.0.2.10::inst0::INSTR\n") << false << false;
        // Start-up says what is wrong with it, as before.
        QTest::addRow("a list that cannot be read") << QByteArray("(folder)") << false << false;
        QTest::addRow("a USB instrument") << QByteArray("(none)") << true << false;
    }

    void nothingToSearch() {
        QFETCH(QByteArray, list);
        QFETCH(bool, usbDevice);
        QFETCH(bool, nothing);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("instruments.txt"));
        if (list == "(folder)") {
            QVERIFY(QDir().mkpath(path));
        } else if (list != "(none)") {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(list);
        }
        FakeUsbTree usb;
        if (usbDevice)
            usb.add({0, QStringLiteral("0x0699"), QStringLiteral("0x0401"), QStringLiteral("C1")});
        const InstrumentSources sources(
            path, VisaLibrary::load({}),
            std::make_shared<UsbtmcDevices>(usb.sysfsRoot(), usb.devRoot()));
        QCOMPARE(sources.nothingToSearch(), nothing);
    }
};

QTEST_GUILESS_MAIN(tst_InstrumentSources)
#include "tst_instrumentsources.moc"
