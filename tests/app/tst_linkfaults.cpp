#include "AppPaths.h"
#include "CheckValue.h"
#include "InstrumentControl.h"
#include "LinkLeakRun.h"
#include "MonotonicClock.h"
#include "ResourceSource.h"
#include "ScriptedPrompter.h"
#include "SilenceWatch.h"
#include "SimProcess.h"
#include "Vxi11Transport.h"
#include "frmMain.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

enum class Link { Socket, Vxi11 };
// What the scope does mid-run: it is killed, it stops answering, or it is
// killed and comes back on its port before Stop.
enum class Fault { Gone, Hung, Back };

// Lists the simulated scope as the only instrument. Over VXI-11 it opens the
// link on the simulator's port itself, as a vendor library would, so the test
// needs no portmapper.
class SimSource : public ResourceSource {
public:
    SimSource(const SimProcess &sim, Link link)
        : m_sim(sim)
        , m_link(link) {}

    std::optional<QStringList> descriptors() override { return QStringList{descriptor()}; }
    std::unique_ptr<Transport> open(const QString &descriptor) override {
        if (m_link != Link::Vxi11 || descriptor != this->descriptor())
            return nullptr;
        return std::make_unique<Vxi11Transport>(QStringLiteral("127.0.0.1"),
                                                QStringLiteral("inst0"), m_sim.vxi11Port());
    }

private:
    QString descriptor() const {
        return m_link == Link::Vxi11 ? m_sim.vxi11Descriptor() : m_sim.descriptor();
    }

    const SimProcess &m_sim;
    Link m_link;
};

QStringList simArgs(Link link, Fault fault) {
    QStringList args{"--trigger-mean", "0.05", "--save-time", "0"};
    if (link == Link::Vxi11)
        args << QStringList{"--vxi11-port", "0", "--no-portmapper"};
    // Start-up sends 7 messages and the run's preparation 4; the 12th arms
    // the scope, so the first poll of the first acquisition hangs.
    if (fault == Fault::Hung)
        args << QStringList{"--hang-after", "12"};
    return args;
}

// The real program, minus its message boxes, against a simulated scope. It
// saves ISF files only and restores continuous running on Stop (the
// defaults), without limit.
struct Program {
    Program(Link link, QStringList simArgs)
        : args(std::move(simArgs))
        , sim(args)
        , plexor({std::make_shared<SimSource>(sim, link)}) {}

    bool start() {
        if (!sim.started())
            return false;
        window = std::make_unique<frmMain>(plexor, prompter, clock, monotonic, paths);
        QSignalSpy ended(window.get(), &frmMain::startUpEnded);
        if (!window->Form_Load() || (ended.isEmpty() && !ended.wait(60000)) ||
            !ended.constFirst().constFirst().toBool())
            return false;
        setCheckValue(window->prefsDialog().chkUseTimestamps, 0);
        setCheckValue(window->prefsDialog().chkStopAfter, 0);
        window->show();
        return QTest::qWaitForWindowExposed(window.get());
    }

    int acquisition() const { return window->statusText().section(u':', 0, 0).toInt(); }
    QStringList storedFiles() const {
        return QDir(sim.storageDir() + QStringLiteral("/E")).entryList(QDir::Files);
    }

    QStringList args;
    SimProcess sim;
    QTemporaryDir dir;
    AppPaths paths{dir.filePath(QStringLiteral("config")), dir.path(), QStringLiteral("mardock"),
                   dir.path(), dir.filePath(QStringLiteral("state"))};
    InstrumentControl plexor;
    ScriptedPrompter prompter;
    SystemClock clock;
    SteadyClock monotonic;
    std::unique_ptr<frmMain> window;
};

} // namespace

class tst_LinkFaults : public QObject {
    Q_OBJECT

private slots:
    void stuckScope_data() {
        QTest::addColumn<Link>("link");
        QTest::addColumn<Fault>("fault");
        for (Link link : {Link::Socket, Link::Vxi11}) {
            const char *name = link == Link::Vxi11 ? "VXI-11" : "socket";
            QTest::addRow("gone, %s", name) << link << Fault::Gone;
            QTest::addRow("hung, %s", name) << link << Fault::Hung;
            QTest::addRow("back on its port, %s", name) << link << Fault::Back;
        }
    }
    // A scope gone or hung mid-run leaves the window alive, saying so after a
    // while, and Stop ends the run; a scope back on its port before Stop lets
    // the run go on by itself.
    void stuckScope() {
        QFETCH(Link, link);
        QFETCH(Fault, fault);

        Program program(link, simArgs(link, fault));
        QVERIFY(program.start());
        frmMain &window = *program.window;
        // Gone after one whole acquisition, wherever the second one stands.
        const int firstStuck = fault == Fault::Hung ? 1 : 2;
        int stuckIn = 0;
        QStringList filesWhenGone;
        QDeadlineTimer watching;
        int ticks = 0;        // of the user's 20 ms timer while watching
        QStringList statuses; // every status shown while watching, in order
        bool restarted = false;
        bool stopped = false;
        // The user, acting from inside the run's event pumps: waits for the
        // scope to get stuck, watches the window for a second, then lets the
        // scope come back and the run go on, or presses Stop.
        QTimer user;
        QObject::connect(&user, &QTimer::timeout, [&] {
            if (!stuckIn) {
                if (program.acquisition() < firstStuck)
                    return;
                stuckIn = program.acquisition();
                if (fault != Fault::Hung) {
                    program.sim.kill();
                    filesWhenGone = program.storedFiles();
                }
                // Long enough for the window to say the scope is not answering.
                watching.setRemainingTime(SilenceWatch::NotAnswering.count() + 700);
            }
            if (!watching.hasExpired()) {
                ++ticks;
                if (statuses.isEmpty() || statuses.constLast() != window.statusText())
                    statuses << window.statusText();
                return;
            }
            if (fault == Fault::Back && !restarted && program.sim.restart(program.args))
                restarted = true;
            if (restarted && program.acquisition() < stuckIn + 2)
                return;
            user.stop();
            stopped = true;
            QTest::mouseClick(window.cbStop, Qt::LeftButton);
        });
        user.start(20);

        QTest::mouseClick(window.cbStart, Qt::LeftButton);

        QTRY_VERIFY_WITH_TIMEOUT(stopped || window.startEnabled(), 120000);
        QVERIFY2(stopped, "the run ended before the scope was stuck");
        QVERIFY2(ticks > 5, qPrintable(QString::number(ticks)));
        // The run goes no further while the scope is stuck, and the window
        // tells a dead link from a wait for a trigger.
        const QString stuckAt = statuses.constFirst().section(u'.', 0, 0);
        const QString silent = QStringLiteral("%1: Scope not answering").arg(stuckIn);
        QVERIFY2(stuckAt.startsWith(QStringLiteral("%1: ").arg(stuckIn)), qPrintable(stuckAt));
        for (const QString &status : std::as_const(statuses)) {
            const QString text = status.section(u'.', 0, 0);
            QVERIFY2(text == stuckAt || text == silent, qPrintable(status));
            QVERIFY2(!status.contains(QStringLiteral("..........")), qPrintable(status));
        }
        QVERIFY2(statuses.constLast().startsWith(silent), qPrintable(statuses.join(u'|')));
        QTRY_VERIFY_WITH_TIMEOUT(window.startEnabled(), 10000);
        QVERIFY(!window.cbStop->isEnabled());
        QVERIFY2(window.statusText().endsWith(QLatin1String(": Stopped")),
                 qPrintable(window.statusText()));
        QCOMPARE(program.prompter.asked, QStringList());
        // A poll that got no answer never counts as a finished acquisition.
        if (fault == Fault::Hung)
            QCOMPARE(program.sim.commandLog().filter(QStringLiteral("SAV:")), QStringList());
        if (fault != Fault::Back) {
            QCOMPARE(program.acquisition(), stuckIn);
            return;
        }
        QVERIFY(program.acquisition() >= stuckIn + 2);
        const QStringList files = program.storedFiles();
        QVERIFY2(files.size() > filesWhenGone.size(), qPrintable(files.join(u' ')));
        for (const QString &file : std::as_const(filesWhenGone))
            QVERIFY(files.contains(file));
    }

    // A scope that keeps 16 links past their connection: the run gives links
    // up again and again, and ends each one, whether its connection was
    // closed or still waits in a call the scope hangs in.
    void droppedLinksEnded_data() {
        QTest::addColumn<QStringList>("fault");
        QTest::addColumn<int>("links");
        QTest::newRow("connection closed 40 times") << QStringList{"--close-after", "20"} << 41;
        QTest::newRow("calls hang past their time")
            << QStringList{"--hang-after", "30", "--hang-ms", "3000"} << 2;
    }
    void droppedLinksEnded() {
        QFETCH(QStringList, fault);
        QFETCH(int, links);
        Program program(Link::Vxi11, simArgs(Link::Vxi11, Fault::Gone) + ScarceLinks + fault);
        QVERIFY(program.start());
        runDroppingLinks(*program.window, program.sim, links);
    }
};

QTEST_MAIN(tst_LinkFaults)
#include "tst_linkfaults.moc"
