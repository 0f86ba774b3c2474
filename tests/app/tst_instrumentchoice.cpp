#include "../scope/FakeUsbTree.h"
#include "AppPaths.h"
#include "Clock.h"
#include "CommandLine.h"
#include "InstrumentChoice.h"
#include "InstrumentControl.h"
#include "InstrumentSources.h"
#include "MonotonicClock.h"
#include "ProgramRig.h"
#include "ScriptedPrompter.h"
#include "SimProcess.h"
#include "UsbtmcDevices.h"
#include "VisaLibrary.h"
#include "frmFinder.h"
#include "frmMain.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

namespace {

// The finder once it is open, or nullptr.
frmFinder *openFinder() {
    for (QWidget *window : QApplication::topLevelWidgets())
        if (auto *finder = qobject_cast<frmFinder *>(window); finder && finder->isVisible())
            return finder;
    return nullptr;
}

} // namespace

// The start before the search: the finder opens only when asked for or when
// there is nothing at all to search, and what it chooses is then found.
class tst_InstrumentChoice : public QObject {
    Q_OBJECT

private slots:
    void choice_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("listed");  // the list names a scope already
        QTest::addColumn<QString>("user"); // "use", "cancel", or "" for no finder
        QTest::addColumn<int>("ended");    // -1: start-up goes on
        QTest::addColumn<QStringList>("told");
        QTest::addRow("nothing to search, an address used")
            << QStringList() << false << "use" << -1 << QStringList();
        QTest::addRow("nothing to search, cancelled")
            << QStringList() << false << "cancel" << 1
            << QStringList{"Scope not found.  Please check Quillon."};
        QTest::addRow("a list: start-up as ever")
            << QStringList() << true << "" << -1 << QStringList();
        QTest::addRow("an instrument given")
            << QStringList{"--instrument", "TCPIP0::192.0.2.1::inst0::INSTR"} << false << "" << -1
            << QStringList();
        QTest::addRow("asked for, with a list")
            << QStringList{"--choose-instrument"} << true << "use" << -1 << QStringList();
        QTest::addRow("asked for, cancelled")
            << QStringList{"--choose-instrument"} << true << "cancel" << 0 << QStringList();
    }

    void choice() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, listed);
        QFETCH(QString, user);
        QFETCH(int, ended);
        QFETCH(QStringList, told);
        SimProcess scope;
        QVERIFY(scope.started());
        QTemporaryDir dir;
        const AppPaths paths(dir.filePath(QStringLiteral("config")), dir.path(),
                             QStringLiteral("mardock"), dir.path(),
                             dir.filePath(QStringLiteral("state")));
        if (listed) {
            QVERIFY(paths.makeConfigDir());
            QFile list(paths.instrumentListFile());
            QVERIFY(list.open(QIODevice::WriteOnly));
            list.write(scope.descriptor().toUtf8() + "\n");
        }
        FakeUsbTree usb;
        const InstrumentSources sources(
            paths.instrumentListFile(), VisaLibrary::load({}),
            std::make_shared<UsbtmcDevices>(usb.sysfsRoot(), usb.devRoot()));
        const CommandLine commandLine(QStringList{"mardock"} + arguments);
        ScriptedPrompter prompter;

        bool finderOpened = false;
        QTimer clicker;
        QObject::connect(&clicker, &QTimer::timeout, [&] {
            frmFinder *finder = openFinder();
            if (!finder)
                return;
            clicker.stop();
            finderOpened = true;
            if (user == u"cancel") {
                QTest::mouseClick(finder->cbCancel, Qt::LeftButton);
                return;
            }
            finder->txtAddress->setText(QStringLiteral("127.0.0.1:%1").arg(scope.port()));
            QTest::mouseClick(finder->cbUse, Qt::LeftButton);
        });
        clicker.start(10);
        const auto outcome =
            chooseInstrumentFirst(commandLine, sources, paths.instrumentListFile(), prompter);
        QCOMPARE(finderOpened, !user.isEmpty());
        QCOMPARE(outcome.value_or(-1), ended);
        QCOMPARE(prompter.asked, told);
        if (user != u"use")
            return;

        // Start-up then finds the scope that was chosen.
        InstrumentControl plexor(sources.all());
        SystemClock clock;
        SteadyClock monotonic;
        frmMain window(plexor, prompter, clock, monotonic, paths);
        QVERIFY2(startWindow(window), qPrintable(prompter.asked.join('\n')));
        QCOMPARE(window.statusText(), QStringLiteral("MARDOCK,KXA5104-SIM,000001,1.0.0"));
    }
};

QTEST_MAIN(tst_InstrumentChoice)
#include "tst_instrumentchoice.moc"
