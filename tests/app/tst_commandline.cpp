#include <QProcess>
#include <QTest>

// The mardock program's arguments, answered without a display: the process
// runs with no QT_QPA_PLATFORM and no DISPLAY, as from a plain console.
class tst_commandline : public QObject {
    Q_OBJECT

private slots:
    void answers_data();
    void answers();
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
