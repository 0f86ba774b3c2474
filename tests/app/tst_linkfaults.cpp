#include "AppPaths.h"
#include "CheckValue.h"
#include "InstrumentControl.h"
#include "ResourceSource.h"
#include "ScriptedPrompter.h"
#include "SimProcess.h"
#include "Vxi11Transport.h"
#include "frmMain.h"

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>

namespace {

enum class Link { Socket, Vxi11 };

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

QStringList simArgs(Link link, const QStringList &fault) {
    QStringList args{"--trigger-mean", "0.05", "--save-time", "0"};
    if (link == Link::Vxi11)
        args << QStringList{"--vxi11-port", "0", "--no-portmapper"};
    return args + fault;
}

QStringList storedFiles(const SimProcess &sim) {
    return QDir(sim.storageDir() + QStringLiteral("/E")).entryList(QDir::Files, QDir::Name);
}

// Acts once, from inside the run's event pumps, as soon as the condition
// holds.
void when(frmMain &window, std::function<bool()> condition, std::function<void()> action) {
    auto *timer = new QTimer(&window);
    QObject::connect(timer, &QTimer::timeout, &window, [=] {
        if (condition()) {
            timer->deleteLater();
            timer->stop();
            action();
        }
    });
    timer->start(5);
}

// What the window did for a while: how often a 20 ms timer got through, and
// every status text it showed, in order.
struct Observation {
    int ticks = 0;
    QStringList statuses;
};

// Watches the window for `ms` from inside the run's event pumps, then acts.
void observe(frmMain &window, int ms, Observation &seen, std::function<void()> then) {
    auto *ticker = new QTimer(&window);
    QObject::connect(ticker, &QTimer::timeout, &window, [&seen, &window] {
        ++seen.ticks;
        if (seen.statuses.isEmpty() || seen.statuses.constLast() != window.statusText())
            seen.statuses << window.statusText();
    });
    ticker->start(20);
    QTimer::singleShot(ms, &window, [ticker, then] {
        ticker->deleteLater();
        ticker->stop();
        then();
    });
}

// The real program, minus its message boxes, against a simulated scope that
// saves ISF files only, without limit, and restores continuous running on Stop.
struct Program {
    Program(Link link, const QStringList &fault)
        : args(simArgs(link, fault))
        , sim(args)
        , plexor({std::make_shared<SimSource>(sim, link)}) {}

    bool start() {
        if (!sim.started())
            return false;
        window = std::make_unique<frmMain>(plexor, prompter, clock, paths);
        if (!window->Form_Load())
            return false;
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            return false;
        QTest::mouseClick(window->cbPrefs, Qt::LeftButton);
        frmPrefs &prefs = window->prefsDialog();
        setCheckValue(prefs.chkUseTimestamps, 0);
        setCheckValue(prefs.chkWFM, 1);
        setCheckValue(prefs.chkASCII, 0);
        setCheckValue(prefs.chkScreen, 0);
        setCheckValue(prefs.chkStopAfter, 0);
        setCheckValue(prefs.chkRestoreRun, 1);
        QTest::mouseClick(prefs.cbOK, Qt::LeftButton);
        return window->isVisible();
    }

    int acquisition() const { return window->statusText().section(u':', 0, 0).toInt(); }

    QStringList args;
    SimProcess sim;
    QTemporaryDir dir;
    AppPaths paths{dir.filePath(QStringLiteral("config")), QStringLiteral("mardock"), dir.path()};
    InstrumentControl plexor;
    ScriptedPrompter prompter;
    SystemClock clock;
    std::unique_ptr<frmMain> window;
};

const char *name(Link link) {
    return link == Link::Vxi11 ? "VXI-11" : "socket";
}

} // namespace

class tst_LinkFaults : public QObject {
    Q_OBJECT

private slots:
    void stuckScopeKeepsWindowAliveAndStops_data() {
        QTest::addColumn<Link>("link");
        QTest::addColumn<bool>("killed");
        QTest::addColumn<QStringList>("fault");

        // Start-up sends 7 messages and the run's preparation 2; the 10th
        // arms the scope, so the first poll of the first acquisition hangs.
        const QStringList hang{"--hang-after", "10"};
        QTest::addRow("gone, socket") << Link::Socket << true << QStringList();
        QTest::addRow("gone, VXI-11") << Link::Vxi11 << true << QStringList();
        QTest::addRow("hung, socket") << Link::Socket << false << hang;
        QTest::addRow("hung, VXI-11") << Link::Vxi11 << false << hang;
    }
    void stuckScopeKeepsWindowAliveAndStops() {
        QFETCH(Link, link);
        QFETCH(bool, killed);
        QFETCH(QStringList, fault);

        Program program(link, fault);
        QVERIFY(program.start());
        frmMain &window = *program.window;
        // Gone after one whole acquisition, wherever the second one stands.
        const int firstStuck = killed ? 2 : 1;
        int stuckIn = 0;
        Observation seen;
        QElapsedTimer sinceStop;
        when(
            window, [&] { return program.acquisition() >= firstStuck; },
            [&] {
                stuckIn = program.acquisition();
                if (killed)
                    program.sim.kill();
                observe(window, 1000, seen, [&] {
                    sinceStop.start();
                    QTest::mouseClick(window.cbStop, Qt::LeftButton);
                });
            });

        QTest::mouseClick(window.cbStart, Qt::LeftButton);

        QVERIFY2(sinceStop.isValid(), "the run ended before the scope was stuck");
        qInfo("Stop with the scope %s over %s ended the run after %lld ms; a 20 ms timer fired "
              "%d times in the stuck second",
              killed ? "gone" : "hung", name(link), sinceStop.elapsed(), seen.ticks);
        QVERIFY2(seen.ticks > 5, qPrintable(QString::number(seen.ticks)));
        QVERIFY2(seen.statuses.size() > 2, qPrintable(seen.statuses.join(u'|')));
        // Only the dots move: the run goes no further while the scope is stuck.
        const QString stuckAt = seen.statuses.constFirst().section(u'.', 0, 0);
        QVERIFY2(stuckAt.startsWith(QStringLiteral("%1: ").arg(stuckIn)), qPrintable(stuckAt));
        for (const QString &status : std::as_const(seen.statuses)) {
            QVERIFY2(status.section(u'.', 0, 0) == stuckAt, qPrintable(status));
            QVERIFY2(!status.contains(QStringLiteral("..........")), qPrintable(status));
        }
        QTRY_VERIFY_WITH_TIMEOUT(window.startEnabled(), 10000);
        QVERIFY(!window.cbStop->isEnabled());
        QCOMPARE(window.statusText(), QStringLiteral("%1: Stopped").arg(stuckIn));
        QCOMPARE(program.prompter.asked, QStringList());
        // A poll that got no answer never counts as a finished acquisition.
        if (!killed)
            QCOMPARE(program.sim.commandLog().filter(QStringLiteral("SAV:")), QStringList());
    }

    void scopeBackOnItsPortContinuesTheRun_data() {
        QTest::addColumn<Link>("link");
        QTest::addRow("socket") << Link::Socket;
        QTest::addRow("VXI-11") << Link::Vxi11;
    }
    void scopeBackOnItsPortContinuesTheRun() {
        QFETCH(Link, link);

        Program program(link, {});
        QVERIFY(program.start());
        frmMain &window = *program.window;
        QStringList filesAtKill;
        int killedIn = 0;
        Observation seen;
        bool restarted = false;
        when(
            window, [&] { return program.acquisition() >= 2; },
            [&] {
                killedIn = program.acquisition();
                program.sim.kill();
                filesAtKill = storedFiles(program.sim);
                observe(window, 1000, seen, [&] {
                    restarted = program.sim.restart(program.args);
                    when(
                        window, [&] { return program.acquisition() >= killedIn + 2; },
                        [&] { QTest::mouseClick(window.cbStop, Qt::LeftButton); });
                });
            });

        QTest::mouseClick(window.cbStart, Qt::LeftButton);

        QVERIFY(restarted);
        QVERIFY2(seen.statuses.size() > 2, qPrintable(seen.statuses.join(u'|')));
        QCOMPARE(window.statusText(), QStringLiteral("%1: Stopped").arg(program.acquisition()));
        QVERIFY(program.acquisition() >= killedIn + 2);
        QVERIFY(window.startEnabled());
        QCOMPARE(program.prompter.asked, QStringList());
        const QStringList files = storedFiles(program.sim);
        QVERIFY2(files.size() > filesAtKill.size(), qPrintable(files.join(u' ')));
        for (const QString &file : std::as_const(filesAtKill))
            QVERIFY(files.contains(file));
    }
};

QTEST_MAIN(tst_LinkFaults)
#include "tst_linkfaults.moc"
