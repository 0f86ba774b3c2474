#include "AppPaths.h"
#include "Clock.h"
#include "DnsMessage.h"
#include "InstrumentControl.h"
#include "InstrumentListFile.h"
#include "LanDiscovery.h"
#include "LanInterfaces.h"
#include "MonotonicClock.h"
#include "PortmapperCall.h"
#include "ProgramRig.h"
#include "ScriptedPrompter.h"
#include "frmFinder.h"
#include "frmMain.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QUdpSocket>
#include <QtTest>

namespace {

// The LAN that scripts/lan-namespaces.sh makes; this side is the computer.
const QString Computer = QStringLiteral("10.231.7.1");
const QString BothWays = QStringLiteral("MARDOCK,KXA5104-SIM,000001,1.0.0");
const QString MdnsOnly = QStringLiteral("MARDOCK,KXB5202-SIM,000002,1.0.0");
const QString Neither = QStringLiteral("MARDOCK,KXA5104-SIM,000003,1.0.0");

QStringList commandLog() {
    QFile file(qEnvironmentVariable("MARDOCK_LAN_LOG"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QProcessEnvironment environmentIn(const QTemporaryDir &home) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return environment;
}

// Every datagram that answers `datagram` sent to `to`, within a second.
QList<QNetworkDatagram> answers(const QByteArray &datagram, const QHostAddress &to, quint16 port) {
    QUdpSocket socket;
    if (!socket.bind(QHostAddress(Computer), 0))
        return {};
    socket.setMulticastInterface(QNetworkInterface::interfaceFromName(QStringLiteral("veth0")));
    socket.writeDatagram(datagram, to, port);
    QList<QNetworkDatagram> got;
    QDeadlineTimer deadline(1000);
    while (!deadline.hasExpired()) {
        if (socket.hasPendingDatagrams() || socket.waitForReadyRead(int(deadline.remainingTime())))
            while (socket.hasPendingDatagrams())
                got << socket.receiveDatagram();
    }
    return got;
}

} // namespace

// Finding scopes on a LAN. Runs inside scripts/lan-namespaces.sh, on a LAN
// of two private network namespaces with three simulated scopes: one found
// by both methods, one that answers only mDNS, one that answers neither.
class tst_LanSearch : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        if (qEnvironmentVariable("MARDOCK_LAN_NAMESPACES") != u"1")
            QSKIP("needs the private LAN of scripts/lan-namespaces.sh (run through CTest as "
                  "root)");
        // Nothing of this test may leave the namespaces.
        const QList<LanInterface> lans = lanInterfaces();
        QCOMPARE(lans.size(), 1);
        QCOMPARE(QHostAddress(lans[0].address).toString(), Computer);
    }

    // Each method alone reaches the scope that answers both.
    void eachMethod() {
        const auto portmapper =
            answers(PortmapperCall::getPort(7), QHostAddress(QStringLiteral("10.231.7.255")), 111);
        QCOMPARE(portmapper.size(), 1);
        QCOMPARE(PortmapperCall::replyPort(portmapper[0].data(), 7), quint16(9009));
        QCOMPARE(portmapper[0].senderAddress().toString(), QStringLiteral("10.231.7.2"));

        const auto mdns = answers(DnsMessage::query(9, {"_vxi-11._tcp.local"}),
                                  QHostAddress(QStringLiteral("224.0.0.251")), 5353);
        QCOMPARE(mdns.size(), 1);
        QCOMPARE(LanDiscovery::fromMdns(mdns[0].data(), 9, mdns[0].senderAddress().toIPv4Address()),
                 QStringList{"TCPIP0::10.231.7.2::inst0::INSTR"});
    }

    void listInstruments_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<int>("exitCode");
        // Found both ways, the first scope still has one line per link.
        QTest::addRow("with the network")
            << QStringList{"--list-instruments", "--network"}
            << QStringList{"TCPIP0::10.231.7.2::4000::SOCKET\t" + BothWays + "\tsupported scope",
                           "TCPIP0::10.231.7.2::inst0::INSTR\t" + BothWays + "\tsupported scope",
                           "TCPIP0::10.231.7.3::5025::SOCKET\t" + MdnsOnly + "\tsupported scope"}
            << 0;
        QTest::addRow("without") << QStringList{"--list-instruments"} << QStringList() << 1;
    }

    void listInstruments() {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, lines);
        QFETCH(int, exitCode);
        QTemporaryDir home;
        QProcess mardock;
        mardock.setProcessEnvironment(environmentIn(home));
        mardock.start(QStringLiteral(MARDOCK_PATH), arguments);
        QVERIFY(mardock.waitForFinished(30000));
        QCOMPARE(mardock.exitCode(), exitCode);
        QStringList printed = QString::fromUtf8(mardock.readAllStandardOutput())
                                  .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        printed.sort();
        QCOMPARE(printed, lines);
    }

    // The finder's search shows what answered; Test reaches the scope that
    // answers no search; Use of a bare address lists the VXI-11 link, and
    // start-up then finds the scope through the list.
    void finderSearchTestUseAndStart() {
        QTemporaryDir home;
        const AppPaths paths(home.filePath(QStringLiteral("config")), home.path(),
                             QStringLiteral("mardock"), home.path(),
                             home.filePath(QStringLiteral("state")));
        const QString list = paths.instrumentListFile();
        {
            frmFinder finder({std::make_shared<InstrumentListFile>(list)}, list);
            finder.show();
            QTest::mouseClick(finder.cbSearch, Qt::LeftButton);
            QCOMPARE(finder.cbSearch->text(), QStringLiteral("Stop the search"));
            QTRY_COMPARE_WITH_TIMEOUT(finder.cbSearch->text(), QStringLiteral("Search the network"),
                                      10000);
            QStringList shown;
            for (int i = 0; i < finder.lstInstruments->topLevelItemCount(); ++i)
                shown << finder.lstInstruments->topLevelItem(i)->text(0);
            shown.sort();
            QCOMPARE(shown, (QStringList{"★ TCPIP0::10.231.7.2::4000::SOCKET",
                                         "★ TCPIP0::10.231.7.2::inst0::INSTR",
                                         "★ TCPIP0::10.231.7.3::5025::SOCKET"}));

            finder.txtAddress->setText(QStringLiteral("10.231.7.4:4000"));
            QTest::mouseClick(finder.cbTest, Qt::LeftButton);
            QTRY_VERIFY(finder.lblResult->text().contains(Neither));

            finder.txtAddress->setText(QStringLiteral("10.231.7.2"));
            QTest::mouseClick(finder.cbUse, Qt::LeftButton);
            QTRY_COMPARE(finder.result(), int(QDialog::Accepted));
            QCOMPARE(finder.chosen(), QStringLiteral("TCPIP0::10.231.7.2::inst0::INSTR"));
        }
        QCOMPARE(InstrumentListFile(list).descriptors(),
                 QStringList{"TCPIP0::10.231.7.2::inst0::INSTR"});

        InstrumentControl plexor({std::make_shared<InstrumentListFile>(list)});
        ScriptedPrompter prompter;
        SystemClock clock;
        SteadyClock monotonic;
        frmMain window(plexor, prompter, clock, monotonic, paths);
        QVERIFY2(startWindow(window), qPrintable(prompter.asked.join('\n')));
        QCOMPARE(window.statusText(), BothWays);
    }

    // Cancel ends a search at once. The search is over once every thread of
    // it has ended, so nothing it found can arrive later.
    void cancelledSearch() {
        QTemporaryDir home;
        const QString list = home.filePath(QStringLiteral("instruments.txt"));
        frmFinder finder({std::make_shared<InstrumentListFile>(list)}, list);
        QTest::mouseClick(finder.cbSearch, Qt::LeftButton);
        QTest::mouseClick(finder.cbSearch, Qt::LeftButton);
        QTRY_COMPARE(finder.cbSearch->text(), QStringLiteral("Search the network"));
        QCOMPARE(finder.lstInstruments->topLevelItemCount(), 0);
    }

    // --instrument starts with that instrument alone, over either link:
    // the scope is identified and prepared as at any start.
    void instrumentOption_data() {
        QTest::addColumn<QString>("descriptor");
        QTest::addRow("raw socket") << QStringLiteral("TCPIP0::10.231.7.2::4000::SOCKET");
        QTest::addRow("VXI-11") << QStringLiteral("TCPIP0::10.231.7.2::inst0::INSTR");
    }

    void instrumentOption() {
        QFETCH(QString, descriptor);
        QTemporaryDir home;
        const qsizetype prepared = commandLog().count(QStringLiteral("ALLEV?"));
        QProcess mardock;
        mardock.setProcessEnvironment(environmentIn(home));
        mardock.start(QStringLiteral(MARDOCK_PATH), {"--instrument", descriptor});
        QTRY_COMPARE_WITH_TIMEOUT(commandLog().count(QStringLiteral("ALLEV?")), prepared + 1,
                                  15000);
        QCOMPARE(mardock.state(), QProcess::Running);
        mardock.kill();
        QVERIFY(mardock.waitForFinished(5000));
        // Nothing was chosen or listed.
        QVERIFY(!QFile::exists(home.filePath(QStringLiteral("config/mardock/instruments.txt"))));
    }
};

QTEST_MAIN(tst_LanSearch)
#include "tst_lansearch.moc"
