#include "AddressDescriptors.h"
#include "InstrumentListEdit.h"
#include "InstrumentListFile.h"
#include "SimProcess.h"
#include "frmFinder.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

namespace {

QByteArray contents(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

bool write(const QString &path, const QByteArray &text) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

QStringList rows(const QTreeWidget &list) {
    QStringList shown;
    for (int i = 0; i < list.topLevelItemCount(); ++i)
        shown << list.topLevelItem(i)->text(0) + QLatin1Char('|') + list.topLevelItem(i)->text(1);
    return shown;
}

} // namespace

class tst_Finder : public QObject {
    Q_OBJECT

private slots:
    void addresses_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QStringList>("descriptors");
        QTest::addColumn<QString>("error");
        QTest::addRow("host and port")
            << " 192.0.2.10:4000 " << QStringList{"TCPIP0::192.0.2.10::4000::SOCKET"} << QString();
        QTest::addRow("bare host, VXI-11 then the raw ports")
            << "scope-3.lab"
            << QStringList{"TCPIP0::scope-3.lab::inst0::INSTR", "TCPIP0::scope-3.lab::4000::SOCKET",
                           "TCPIP0::scope-3.lab::5025::SOCKET"}
            << QString();
        QTest::addRow("a whole descriptor")
            << "USB0::0x0699::0x0401::C012345::INSTR"
            << QStringList{"USB0::0x0699::0x0401::C012345::INSTR"} << QString();
        QTest::addRow("port out of range") << "192.0.2.10:70000" << QStringList() << "70000";
        QTest::addRow("port 0") << "192.0.2.10:0" << QStringList() << "port 0";
        QTest::addRow("nothing") << "  " << QStringList() << "no address";
        QTest::addRow("spaces in the host") << "my scope" << QStringList() << "\"my scope\"";
        QTest::addRow("a command smuggled in") << "host;rm -rf" << QStringList() << "no host name";
        QTest::addRow("broken descriptor") << "TCPIP0::::INSTR" << QStringList() << "empty";
    }

    void addresses() {
        QFETCH(QString, address);
        QFETCH(QStringList, descriptors);
        QFETCH(QString, error);
        QString why;
        QCOMPARE(addressDescriptors(address, &why), descriptors);
        QVERIFY2(error.isEmpty() ? why.isEmpty() : why.contains(error), qPrintable(why));
    }

    void putFirst_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        const QByteArray chosen = "TCPIP0::192.0.2.10::4000::SOCKET\n";
        QTest::addRow("no list yet") << QByteArray() << chosen;
        QTest::addRow("comments and other instruments kept")
            << QByteArray(
                   "# bench 2\nUSB0::1::2::X::INSTR  # the old one\n\nTCPIP0::h::inst0::INSTR")
            << chosen +
                   "# bench 2\nUSB0::1::2::X::INSTR  # the old one\n\nTCPIP0::h::inst0::INSTR\n";
        QTest::addRow("an older line for the same instrument goes")
            << QByteArray("USB0::1::2::X::INSTR\n tcpip0::192.0.2.10::4000::socket # was here\n")
            << chosen + "USB0::1::2::X::INSTR\n";
        QTest::addRow("already first") << chosen << chosen;
    }

    // Through a symbolic link, as a list shared from elsewhere is kept: the
    // link stays and the file it names holds the new list.
    void putFirst() {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        QTemporaryDir dir;
        const QString real = dir.filePath(QStringLiteral("shared/instruments.txt"));
        const QString link = dir.filePath(QStringLiteral("config/instruments.txt"));
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("shared"))));
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("config"))));
        // A list kept private stays private.
        const QFile::Permissions kept =
            QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser;
        if (!before.isEmpty()) {
            QVERIFY(write(real, before));
            QVERIFY(QFile::setPermissions(real, kept));
        }
        QVERIFY(QFile::link(real, link));
        QString why;
        QVERIFY2(putFirstInList(link, QStringLiteral("TCPIP0::192.0.2.10::4000::SOCKET"), &why),
                 qPrintable(why));
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(contents(real), after);
        if (!before.isEmpty())
            QCOMPARE(QFile::permissions(real), kept);
        QCOMPARE(InstrumentListFile(link).descriptors()->value(0),
                 QStringLiteral("TCPIP0::192.0.2.10::4000::SOCKET"));
    }

    void putFirstIntoUnwritableFolder() {
        if (geteuid() == 0)
            QSKIP("root writes into any folder");
        QTemporaryDir dir;
        QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
        QString why;
        QVERIFY(!putFirstInList(dir.filePath(QStringLiteral("instruments.txt")),
                                QStringLiteral("TCPIP0::h::inst0::INSTR"), &why));
        QVERIFY(why.contains(QLatin1String("cannot write")));
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // What the list names is shown with its answer or its error, supported
    // scopes first and marked.
    void listsWhatTheSourcesName() {
        SimProcess scope;
        SimProcess lower({"--idn", "MARDOCK,kxa5104-SIM,1,1"});
        QVERIFY(scope.started() && lower.started());
        QTemporaryDir dir;
        const QString list = dir.filePath(QStringLiteral("instruments.txt"));
        QVERIFY(write(list, "TCPIP0::127.0.0.1::1::SOCKET\n" + lower.descriptor().toUtf8() + "\n" +
                                scope.descriptor().toUtf8() + "\n"));
        frmFinder finder({std::make_shared<InstrumentListFile>(list)}, list);
        finder.show();
        QVERIFY(QTest::qWaitForWindowExposed(&finder));
        QTRY_COMPARE(finder.lstInstruments->topLevelItemCount(), 3);
        const QStringList shown = rows(*finder.lstInstruments);
        QCOMPARE(shown[0], "★ " + scope.descriptor() + "|MARDOCK,KXA5104-SIM,000001,1.0.0");
        QVERIFY(shown.contains(lower.descriptor() + "|MARDOCK,kxa5104-SIM,1,1"));
        QVERIFY(shown.filter(QStringLiteral("TCPIP0::127.0.0.1::1::SOCKET|"))
                    .value(0)
                    .contains(QLatin1String("Connection refused")));

        // Picking a row puts it in the address field.
        QTest::mouseClick(
            finder.lstInstruments->viewport(), Qt::LeftButton, {},
            finder.lstInstruments->visualItemRect(finder.lstInstruments->topLevelItem(0)).center());
        QCOMPARE(finder.txtAddress->text(), scope.descriptor());
    }

    // Test asks off the window's thread: the click returns before the
    // scope, slow to wake, has answered. Use then lists it first.
    void testThenUse() {
        SimProcess scope({"--first-reply-delay", "300"});
        QVERIFY(scope.started());
        QTemporaryDir dir;
        const QString list = dir.filePath(QStringLiteral("config/instruments.txt"));
        frmFinder finder({std::make_shared<InstrumentListFile>(list)}, list);
        finder.show();
        finder.txtAddress->setText(QStringLiteral("127.0.0.1:%1").arg(scope.port()));
        QTest::mouseClick(finder.cbTest, Qt::LeftButton);
        QVERIFY(!finder.cbTest->isEnabled());
        QVERIFY(!finder.lblResult->text().contains(QLatin1String("KXA5104")));
        QTRY_VERIFY(finder.lblResult->text().contains(QLatin1String("MARDOCK,KXA5104-SIM")));
        QVERIFY(finder.lblResult->text().contains(QLatin1String("A scope Mardock drives")));
        QCOMPARE(scope.commandLog(), QStringList{"*IDN?"});

        // Enter in the address field is Use.
        QTest::keyClick(finder.txtAddress, Qt::Key_Return);
        QCOMPARE(finder.result(), int(QDialog::Accepted));
        QCOMPARE(finder.chosen(), scope.descriptor());
        QCOMPARE(contents(list), scope.descriptor().toUtf8() + "\n");
    }

    void testOfWhatDoesNotAnswer() {
        QTemporaryDir dir;
        const QString list = dir.filePath(QStringLiteral("instruments.txt"));
        frmFinder finder({std::make_shared<InstrumentListFile>(list)}, list);
        finder.txtAddress->setText(QStringLiteral("127.0.0.1:1"));
        QTest::mouseClick(finder.cbTest, Qt::LeftButton);
        QTRY_VERIFY(finder.cbTest->isEnabled());
        QVERIFY2(finder.lblResult->text().startsWith(QLatin1String("No answer: ")) &&
                     finder.lblResult->text().contains(QLatin1String("Connection refused")),
                 qPrintable(finder.lblResult->text()));

        finder.txtAddress->setText(QStringLiteral("not an address"));
        QTest::mouseClick(finder.cbUse, Qt::LeftButton);
        QVERIFY(finder.isVisible() || finder.result() != QDialog::Accepted);
        QVERIFY(finder.lblResult->text().contains(QLatin1String("no host name")));
        QVERIFY(!QFile::exists(list));
    }
};

QTEST_MAIN(tst_Finder)
#include "tst_finder.moc"
