#include "CheckValue.h"
#include "LinkLeakRun.h"
#include "ProgramRig.h"

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTcpSocket>
#include <QTimer>
#include <QtTest>

#include <functional>

namespace {

// A run that has not ended after a minute is stopped, so that a fault fails
// the checks that follow instead of hanging until the test's time is up.
void stopIfStillRunningAfterAMinute(frmMain &window) {
    QTimer::singleShot(60'000, &window, [&window] {
        if (!window.startEnabled())
            QTest::mouseClick(window.cbStop, Qt::LeftButton);
    });
}

// Opens Prefs, names files by counter, lets `choose` set the rest, and
// closes it with OK.
void choosePrefs(frmMain &window, const std::function<void(frmPrefs &)> &choose) {
    QTest::mouseClick(window.cbPrefs, Qt::LeftButton);
    frmPrefs &prefs = window.prefsDialog();
    setCheckValue(prefs.chkUseTimestamps, 0);
    choose(prefs);
    QTest::mouseClick(prefs.cbOK, Qt::LeftButton);
}

} // namespace

// The whole program against a simulated scope it reaches as
// TCPIP0::127.0.0.1::inst0::INSTR: the portmapper gives the link's port, as
// on a LAN instrument. Runs inside scripts/loopback-portmapper.sh, which
// provides a portmapper that only loopback can reach.
class tst_PortmapperRun : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        if (qEnvironmentVariable("MARDOCK_LOOPBACK_NAMESPACE") != u"1")
            QSKIP("needs the portmapper of scripts/loopback-portmapper.sh (run through CTest as "
                  "root)");
    }

    // The scope never triggers by itself here; the test plays the signal,
    // forcing a trigger through the scope's raw socket whenever the run waits
    // for one, twice, then presses Stop during the third wait.
    void runWithSavesThenStop() {
        Program program({"--trigger-mean", "86400"}, Program::Link::Vxi11);
        QVERIFY(program.start());
        frmMain &window = *program.window;
        choosePrefs(window, [](frmPrefs &prefs) {
            setCheckValue(prefs.chkScreen, 1);
            setCheckValue(prefs.chkStopAfter, 0);
            setCheckValue(prefs.chkRestoreRun, 1);
        });

        QTcpSocket signalSource;
        signalSource.connectToHost(QHostAddress::LocalHost, program.sim.port());
        QVERIFY(signalSource.waitForConnected(5000));
        QTimer user;
        int triggers = 0;
        QObject::connect(&user, &QTimer::timeout, [&] {
            if (!window.statusText().startsWith(QString::number(triggers + 1) +
                                                QStringLiteral(": Waiting for Acquisition.")))
                return;
            if (triggers == 2) {
                user.stop();
                QTest::mouseClick(window.cbStop, Qt::LeftButton);
                return;
            }
            ++triggers;
            signalSource.write("TRIG\n");
            signalSource.flush();
        });
        user.start(5);
        stopIfStillRunningAfterAMinute(window);

        QTest::mouseClick(window.cbStart, Qt::LeftButton);

        const QStringList trigger{"TRIG", "BUSY?"};
        program.markEndOfRun();
        QTRY_COMPARE(withPollsMerged(program.sim.commandLog()),
                     StartUp + RunPreparation + Armed + trigger + isf("1") + image("1") + Armed +
                         trigger + isf("2") + image("2") + Armed + Restore + QStringList{"*OPC?"});
        QCOMPARE(window.statusText(), QStringLiteral("3: Stopped"));
        QTRY_VERIFY(window.startEnabled());
        QCOMPARE(QDir(program.sim.storageDir() + QStringLiteral("/E"))
                     .entryList(QDir::Files, QDir::Name),
                 (QStringList{"my_ISFs_1_CH1.isf", "my_ISFs_1_CH2.isf", "my_ISFs_2_CH1.isf",
                              "my_ISFs_2_CH2.isf", "my_Images_1.PNG", "my_Images_2.PNG"}));
    }

    // An instrument may come back with another port for the link; the run
    // asks the portmapper again and goes on with the scope that is back.
    void scopeBackOnAnotherPort() {
        Program program({"--trigger-mean", "86400"}, Program::Link::Vxi11);
        QVERIFY(program.start());
        frmMain &window = *program.window;
        choosePrefs(window, [](frmPrefs &prefs) {
            setCheckValue(prefs.chkStopAfter, 1);
            prefs.txtAcqLimit->setText(QStringLiteral("2"));
        });
        QTimer user;
        bool back = false;
        QObject::connect(&user, &QTimer::timeout, [&] {
            if (!window.statusText().startsWith(QStringLiteral("1: Waiting for Acquisition.")))
                return;
            user.stop();
            back = program.sim.restartOnNewVxi11Port(
                {"--trigger-mean", "0", "--save-time", "0", "--vxi11-port", "0"});
        });
        user.start(5);
        stopIfStillRunningAfterAMinute(window);

        QTest::mouseClick(window.cbStart, Qt::LeftButton);

        program.settle();
        QVERIFY(back);
        QCOMPARE(window.statusText(), QStringLiteral("2: Done"));
        QCOMPARE(QDir(program.sim.storageDir() + QStringLiteral("/E"))
                     .entryList(QDir::Files, QDir::Name),
                 (QStringList{"my_ISFs_1_CH1.isf", "my_ISFs_1_CH2.isf", "my_ISFs_2_CH1.isf",
                              "my_ISFs_2_CH2.isf"}));
    }

    // The link dropped 40 times by a scope that keeps 16 links past their
    // connection: each is ended, and the run goes on saving.
    void droppedLinksEnded() {
        Program program(ScarceLinks + QStringList{"--close-after", "20"}, Program::Link::Vxi11);
        QVERIFY(program.start());
        choosePrefs(*program.window, [](frmPrefs &prefs) { setCheckValue(prefs.chkStopAfter, 0); });
        runDroppingLinks(*program.window, program.sim, 41);
    }
};

QTEST_MAIN(tst_PortmapperRun)
#include "tst_portmapperrun.moc"
