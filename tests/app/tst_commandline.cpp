#include "SimProcess.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// The mardock program's arguments, answered without a display: the process
// runs with no QT_QPA_PLATFORM and no DISPLAY, as from a plain console.
class tst_commandline : public QObject {
    Q_OBJECT

private slots:
    void answers_data();
    void answers();
    void listInstruments_data();
    void listInstruments();
};

void tst_commandline::answers_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    // A part of standard output.
    QTest::addColumn<QString>("out");
    // A part of the reason on standard error, before the usage line.
    QTest::addColumn<QString>("err");

    QTest::addRow("--version") << QStringList{"--version"} << 0
                               << QStringLiteral("mardock " MARDOCK_VERSION "\n") << QString();
    QTest::addRow("--help") << QStringList{"--help"} << 0 << "--version" << QString();
    QTest::addRow("unknown option")
        << QStringList{"--port", "4000"} << 2 << QString() << "Unknown option 'port'";
    // The program takes no argument for its job, not even beside an answered option.
    QTest::addRow("version with a job argument")
        << QStringList{"--version", "E:\\"} << 2 << QString() << "unexpected argument: E:\\";
    QTest::addRow("--network alone")
        << QStringList{"--network"} << 2 << QString() << "--network goes with --list-instruments";
    QTest::addRow("--instrument without its descriptor")
        << QStringList{"--instrument"} << 2 << QString() << "Missing value after '--instrument'";
    QTest::addRow("--instrument with an empty descriptor")
        << QStringList{"--instrument", " "} << 2 << QString() << "--instrument needs a descriptor";
    QTest::addRow("two ways to choose")
        << QStringList{"--instrument", "TCPIP0::h::inst0::INSTR", "--choose-instrument"} << 2
        << QString() << "go one at a time";
}

// One line per instrument of the list, the scope first and marked; the exit
// status tells whether a supported scope answered.
void tst_commandline::listInstruments_data() {
    QTest::addColumn<QString>("idn");
    QTest::addColumn<int>("exitCode");
    QTest::addRow("a supported scope") << "MARDOCK,KXB5202-SIM,7,1" << 0;
    QTest::addRow("no supported scope") << "MARDOCK,kxb5202-SIM,7,1" << 1;
}

void tst_commandline::listInstruments() {
    QFETCH(QString, idn);
    QFETCH(int, exitCode);
    SimProcess scope({"--idn", idn});
    QVERIFY(scope.started());
    QTemporaryDir home;
    QVERIFY(QDir().mkpath(home.filePath(QStringLiteral("mardock"))));
    QFile list(home.filePath(QStringLiteral("mardock/instruments.txt")));
    QVERIFY(list.open(QIODevice::WriteOnly));
    list.write("# the bench\nTCPIP0::127.0.0.1::1::SOCKET\n" + scope.descriptor().toUtf8() + "\n");
    list.close();

    QProcess mardock;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path());
    mardock.setProcessEnvironment(environment);
    mardock.start(QStringLiteral(MARDOCK_PATH), {"--list-instruments"});
    QVERIFY(mardock.waitForFinished(30000));
    QCOMPARE(mardock.exitCode(), exitCode);
    const QStringList lines = QString::fromUtf8(mardock.readAllStandardOutput())
                                  .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const QString scopeLine = scope.descriptor() + QLatin1Char('\t') + idn +
                              (exitCode == 0 ? QStringLiteral("\tsupported scope") : QString());
    const QString deadLine = QStringLiteral("TCPIP0::127.0.0.1::1::SOCKET\tquery failed: cannot "
                                            "connect to 127.0.0.1:1: Connection refused");
    const QStringList expected =
        exitCode == 0 ? QStringList{scopeLine, deadLine} : QStringList{deadLine, scopeLine};
    QCOMPARE(lines, expected);
}

void tst_commandline::answers() {
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);

    QProcess mardock;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    // A window opened by mistake would wait for its user; make it fail instead.
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), QStringLiteral("/nonexistent"));
    mardock.setProcessEnvironment(environment);
    mardock.start(QStringLiteral(MARDOCK_PATH), arguments);
    QVERIFY(mardock.waitForFinished(30000));
    QCOMPARE(mardock.exitStatus(), QProcess::NormalExit);
    QCOMPARE(mardock.exitCode(), exitCode);
    const QString stdOut = QString::fromLocal8Bit(mardock.readAllStandardOutput());
    QVERIFY2(out.isEmpty() ? stdOut.isEmpty() : stdOut.contains(out), qPrintable(stdOut));
    const QString stdErr = QString::fromLocal8Bit(mardock.readAllStandardError());
    QVERIFY2(err.isEmpty()
                 ? stdErr.isEmpty()
                 : stdErr.startsWith(QLatin1String("mardock: ")) && stdErr.contains(err) &&
                       stdErr.endsWith(QLatin1String(
                           "\nUsage: mardock [--help | --version | --list-instruments "
                           "[--network] | --instrument DESCRIPTOR | --choose-instrument]\n")),
             qPrintable(stdErr));
}

QTEST_GUILESS_MAIN(tst_commandline)
#include "tst_commandline.moc"
