#include "Benchmarks.h"

#include "BareClient.h"
#include "BenchProgram.h"
#include "Blackhole.h"
#include "Cancellation.h"
#include "Exchange.h"
#include "FakeRunView.h"
#include "InstrumentControl.h"
#include "MonotonicClock.h"
#include "PollPacer.h"
#include "ProcessUsage.h"
#include "ResultTable.h"
#include "Run.h"
#include "Samples.h"
#include "SimulatorProcess.h"
#include "StallProbe.h"
#include "StopClicker.h"
#include "TimedLog.h"
#include "XServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

#include <time.h>

using namespace std::chrono;

namespace {

const QString Waiting = QStringLiteral("1: Waiting for Acquisition");
const QString Delaying = QStringLiteral("Delay after trigger");
// The fourth save: the program has learnt the length of the three before.
const QString SavingIsf = QStringLiteral("4: Save ISF");
// What a user waits for after Stop, and the longest the window may freeze.
constexpr double StopBound = 0.1;

QString number(double value, int decimals) {
    return QString::number(value, 'f', decimals);
}

QString micros(double seconds) {
    return number(seconds * 1e6, 1) + QStringLiteral(" µs");
}

QString millis(double seconds) {
    return number(seconds * 1e3, 1) + QStringLiteral(" ms");
}

QString percent(double fraction) {
    return number(fraction * 100.0, 2) + QStringLiteral(" %");
}

QString medianAndTail(const Samples &samples, double tail = 99) {
    return millis(samples.median()) + QStringLiteral(" / ") + millis(samples.percentile(tail));
}

QStringList simArgs(std::initializer_list<const char *> args) {
    QStringList list;
    for (const char *arg : args)
        list << QString::fromLatin1(arg);
    return list;
}

double since(const QElapsedTimer &timer) {
    return double(timer.nsecsElapsed()) / 1e9;
}

void waitUntilIdle(BareClient &client) {
    while (client.query("BUSY?") != "0") {
    }
}

// One cycle as the program sends it with all three saves, default names,
// counter stems and BMP images, each save checked in the event status
// register; the PyVISA script sends the same.
struct PacedPolls {
    double cpuShare = 0;
    double pollRate = 0;
};

// The cheapest wait at Mardock's pace: the bare client polling BUSY? and
// sleeping as long as the program's pacer says after each reply, on a thread
// of its own, its CPU time read from that thread's clock. Nothing that polls
// as often can cost less on this machine.
void pollAtPace(quint16 port, int durationMs, PacedPolls &result) {
    BareClient client("127.0.0.1", port);
    const auto cpuNow = [] {
        timespec now{};
        ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
    };
    const double cpuStart = cpuNow();
    QElapsedTimer timer;
    timer.start();
    int polls = 0;
    while (!timer.hasExpired(durationMs)) {
        client.query("BUSY?");
        ++polls;
        std::this_thread::sleep_for(PollPacer::forWait(nanoseconds(timer.nsecsElapsed())));
    }
    const double wall = since(timer);
    result.cpuShare = (cpuNow() - cpuStart) / wall;
    result.pollRate = polls / wall;
}

// On a thread of its own, so that its CPU time is its own.
PacedPolls pacedPolls(quint16 port, int durationMs) {
    PacedPolls result;
    std::exception_ptr failed;
    std::thread poller([&]() noexcept {
        try {
            pollAtPace(port, durationMs, result);
        } catch (...) {
            failed = std::current_exception();
        }
    });
    poller.join();
    if (failed)
        std::rethrow_exception(failed);
    return result;
}

void captureCycle(BareClient &client, int stem) {
    const std::string n = std::to_string(stem);
    client.write("ACQ:STATE 1");
    waitUntilIdle(client);
    client.write("SAV:WAVE:FILEF INTERNAL");
    client.write("SAV:WAVE ALL, \"E:\\my_ISFs_" + n + "\"");
    waitUntilIdle(client);
    client.query("FILES:DIR?");
    client.query("*ESR?");
    client.write("SAV:WAVE:FILEF SPREADS");
    client.write("SAV:WAVE:GATI NON");
    client.write("SAV:WAVE ALL, \"E:\\my_CSVs_" + n + "\"");
    waitUntilIdle(client);
    client.query("*ESR?");
    client.write("SAV:IMAG:FILEF BMP");
    client.write("SAV:IMAG:LAY LAN");
    client.write("SAV:IMAG:INKS ON");
    client.write("SAV:IMAG \"E:\\my_Images_" + n + ".BMP\"");
    waitUntilIdle(client);
    client.query("*ESR?");
}

// The competitor with TCP_NODELAY set on its socket, or as a script written
// without that care ("naive").
enum class Script { NoDelay, Naive };

double pyvisaSeconds(quint16 port, int cycles, Script kind, bool isfOnly = false) {
    QStringList args{QStringLiteral(MARDOCK_PYVISA_SCRIPT), QString::number(port),
                     QString::number(cycles)};
    if (kind == Script::NoDelay)
        args << QStringLiteral("--nodelay");
    if (isfOnly)
        args << QStringLiteral("--isf-only");
    QProcess script;
    script.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    script.start(QStringLiteral("/usr/bin/python3"), args);
    if (!script.waitForFinished(600000) || script.exitCode() != 0)
        throw std::runtime_error("the PyVISA script failed (is python3-pyvisa-py installed?)");
    bool ok = false;
    const double seconds = script.readAllStandardOutput().trimmed().toDouble(&ok);
    if (!ok)
        throw std::runtime_error("the PyVISA script printed no time");
    return seconds;
}

// Runs `action` once, the first time the status line starts with `start`.
void onStatus(frmMain &window, const QString &start, std::function<void()> action) {
    auto *done = new bool(false);
    QObject::connect(window.Text1, &QLineEdit::textChanged, window.Text1,
                     [done, start, action](const QString &text) {
                         if (!*done && text.startsWith(start)) {
                             *done = true;
                             action();
                         }
                     });
    QObject::connect(window.Text1, &QObject::destroyed, [done] { delete done; });
}

// CPU time of the program (this process) and of the X server over a
// stretch of wall time, as shares of one core.
class CpuShare {
public:
    explicit CpuShare(const XServer &xServer)
        : m_xServer(xServer) {}

    void start() {
        m_program = ProcessUsage::ownCpuSeconds();
        m_x = m_xServer.cpuSeconds();
        m_wall.start();
    }
    void stop() {
        m_seconds = since(m_wall);
        m_program = ProcessUsage::ownCpuSeconds() - m_program;
        m_x = m_xServer.cpuSeconds() - m_x;
    }
    bool measured() const { return m_seconds > 0; }
    double seconds() const { return m_seconds; }
    double programSeconds() const { return m_program; }
    double xSeconds() const { return m_x; }
    double total() const { return (m_program + m_x) / m_seconds; }
    QString text() const {
        return percent(total()) +
               QStringLiteral(" (%1 + X server %2)")
                   .arg(percent(m_program / m_seconds), percent(m_x / m_seconds));
    }

private:
    const XServer &m_xServer;
    QElapsedTimer m_wall;
    double m_seconds = 0, m_program = 0, m_x = 0;
};

// CPU and polls per second over `sampleMs` from the moment the status line
// first starts with `start`; Stop is clicked at the end when `thenStop`.
struct Sample {
    Sample(BenchProgram &program, const SimulatorProcess &sim, const XServer &xServer,
           const QString &start, int sampleMs, bool thenStop)
        : cpu(xServer) {
        onStatus(program.window(), start, [this, &program, &sim, sampleMs, thenStop] {
            cpu.start();
            messages = sim.loggedMessages();
            QTimer::singleShot(sampleMs, program.window().cbStop, [this, &program, &sim, thenStop] {
                cpu.stop();
                pollRate = double(sim.loggedMessages() - messages) / cpu.seconds();
                if (thenStop)
                    program.window().cbStop->click();
            });
        });
    }

    CpuShare cpu;
    qint64 messages = 0;
    double pollRate = 0;
};

} // namespace

Benchmarks::Benchmarks(bool quick, const XServer &xServer)
    : m_quick(quick)
    , m_xServer(xServer) {}

void Benchmarks::exchangeCost(ResultTable &table) {
    const int repetitions = m_quick ? 3 : 7;
    const int queries = m_quick ? 500 : 5000;
    const int warmUp = 200;
    SimulatorProcess sim({});
    InstrumentControl plexor({});
    plexor.setDescriptor(sim.descriptor());
    // The exchange as the run thread makes it, calling the control directly.
    FakeRunView view;
    Cancellation cancellation;
    Run run(view, cancellation);
    SteadyClock clock;
    Exchange exchange(plexor, run, clock, cancellation);

    Samples stackMedians, stackTails, bareMedians, bareTails;
    // The kernel counts CPU time in ticks of 10 ms: only the whole run's
    // total is fine enough for a cost of microseconds.
    const double simBefore = sim.cpuSeconds();
    for (int repetition = 0; repetition < repetitions; ++repetition) {
        Samples stack;
        for (int i = -warmUp; i < queries; ++i) {
            QElapsedTimer timer;
            timer.start();
            const QString reply = exchange.scopeQuery(QStringLiteral("BUSY?"));
            if (plexor.status() < 0 || reply.isEmpty())
                throw std::runtime_error(std::string("a whole-stack query failed: ") +
                                         qPrintable(plexor.lastError()));
            if (i >= 0)
                stack.add(since(timer));
        }
        stackMedians.add(stack.median());
        stackTails.add(stack.percentile(99));

        // The simulator serves one connection: this one replaces the stack's,
        // which reconnects on its next write.
        BareClient bare("127.0.0.1", sim.port());
        for (int i = 0; i < warmUp; ++i)
            bare.query("BUSY?");
        Samples bareTimes;
        for (int i = 0; i < queries; ++i) {
            const auto start = steady_clock::now();
            bare.query("BUSY?");
            bareTimes.add(duration<double>(steady_clock::now() - start).count());
        }
        bareMedians.add(bareTimes.median());
        bareTails.add(bareTimes.percentile(99));
    }
    const double simCost =
        (sim.cpuSeconds() - simBefore) / (double(repetitions) * 2 * (queries + warmUp));
    m_bareRoundTrip = bareMedians.median();
    const double ratio = stackMedians.median() / bareMedians.median();
    const QString name = QStringLiteral("1 Exchange cost");
    table.add(name, QStringLiteral("bare client BUSY? median / p99"),
              micros(bareMedians.median()) + QStringLiteral(" / ") + micros(bareTails.median()));
    table.add(name, QStringLiteral("whole stack scopeQuery(\"BUSY?\") median / p99"),
              micros(stackMedians.median()) + QStringLiteral(" / ") + micros(stackTails.median()));
    table.add(name, QStringLiteral("ratio stack / bare, median"), number(ratio, 3) + 'x',
              QStringLiteral("≤ 1.15x"), ratio <= 1.15);
    table.add(name, QStringLiteral("ratio stack / bare, p99"),
              number(stackTails.median() / bareTails.median(), 3) + 'x');
    table.add(QStringLiteral("7 Simulator cost"),
              QStringLiteral("CPU per BUSY? (share of bare round trip)"),
              micros(simCost) + QStringLiteral(" (") + percent(simCost / m_bareRoundTrip) + ')');
}

void Benchmarks::captureThroughput(ResultTable &table) {
    const int repetitions = m_quick ? 1 : 7;
    const int cycles = m_quick ? 30 : 300;
    // The naive script spends about 160 ms a cycle in delayed acknowledgements:
    // a few cycles, once, tell it.
    const int naiveCycles = m_quick ? 3 : 20;
    // A scope that triggers and saves at once and writes no files: the link
    // and the clients are all that is left to measure.
    SimulatorProcess sim(simArgs({"--trigger-mean", "0", "--save-time", "0", "--no-files"}),
                         SimulatorProcess::Log::On);
    BenchProgram program(sim);
    program.choose({.isf = true,
                    .csv = true,
                    .image = true,
                    .imageType = QStringLiteral("BMP"),
                    .limit = cycles});

    Samples mardock, mardockCpu, xCpu, noDelay, bare, overScript, overBare, messagesPerCycle,
        queriesPerCycle, simCost;
    const double naive = naiveCycles / pyvisaSeconds(sim.port(), naiveCycles, Script::Naive);
    int stem = 0;
    for (int repetition = 0; repetition < repetitions; ++repetition) {
        const qsizetype logBefore = sim.log().size();
        const double simBefore = sim.cpuSeconds();
        CpuShare cpu(m_xServer);
        cpu.start();
        const double mardockRate = cycles / program.run();
        mardock.add(mardockRate);
        cpu.stop();
        mardockCpu.add(cpu.programSeconds() / cycles);
        xCpu.add(cpu.xSeconds() / cycles);
        // From the first arming on: the run's preparation is no part of a cycle.
        QByteArray run = sim.log().mid(logBefore);
        run = run.mid(run.indexOf("\nACQ:STATE 1\n") + 1);
        const double messages = double(run.count('\n'));
        messagesPerCycle.add(messages / cycles);
        queriesPerCycle.add(double(run.count("?\n")) / cycles);
        simCost.add((sim.cpuSeconds() - simBefore) / messages);

        const double scriptRate = cycles / pyvisaSeconds(sim.port(), cycles, Script::NoDelay);
        noDelay.add(scriptRate);
        overScript.add(mardockRate / scriptRate);

        BareClient client("127.0.0.1", sim.port());
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < cycles; ++i)
            captureCycle(client, 100000 + ++stem);
        const double bareRate = cycles / since(timer);
        bare.add(bareRate);
        overBare.add(mardockRate / bareRate);
    }
    // Only a query waits for the scope; a write leaves at once. A cycle cannot
    // take less than its queries' bare round trips.
    const double limit = 1.0 / (queriesPerCycle.median() * m_bareRoundTrip);
    const QString name = QStringLiteral("2 Capture throughput");
    auto rate = [](const Samples &s) { return number(s.median(), 1) + QStringLiteral(" acq/s"); };
    // Ratios within each repetition, so that load on the machine that came and
    // went between repetitions cancels: median (lowest-highest).
    auto ratio = [](const Samples &s) {
        return number(s.median(), 2) +
               QStringLiteral("x (%1-%2)").arg(number(s.percentile(0.1), 2), number(s.max(), 2));
    };
    table.add(name, QStringLiteral("messages / queries per cycle (all three saves)"),
              number(messagesPerCycle.median(), 1) + QStringLiteral(" / ") +
                  number(queriesPerCycle.median(), 1));
    table.add(name, QStringLiteral("Mardock"), rate(mardock));
    table.add(name, QStringLiteral("PyVISA script with TCP_NODELAY (pyvisa-py)"), rate(noDelay));
    table.add(name, QStringLiteral("naive PyVISA script (Nagle on)"),
              number(naive, 1) + QStringLiteral(" acq/s"));
    table.add(name, QStringLiteral("bare client, same commands"), rate(bare));
    table.add(name, QStringLiteral("limit: 1 / (queries per cycle x bare round trip)"),
              number(limit, 1) + QStringLiteral(" acq/s"));
    table.add(name, QStringLiteral("Mardock / NODELAY script"), ratio(overScript),
              QStringLiteral("≥ 1.1x"), overScript.median() >= 1.1);
    table.add(name, QStringLiteral("Mardock / bare client"), ratio(overBare),
              QStringLiteral("≥ 0.9x"), overBare.median() >= 0.9);
    table.add(name, QStringLiteral("Mardock / naive script"),
              number(mardock.median() / naive, 1) + 'x');
    table.add(name, QStringLiteral("Mardock / limit, bare client / limit"),
              number(mardock.median() / limit, 2) + QStringLiteral(", ") +
                  number(bare.median() / limit, 2));
    table.add(name, QStringLiteral("CPU per cycle: Mardock + X server"),
              millis(mardockCpu.median()) + QStringLiteral(" + ") + millis(xCpu.median()));
    table.add(QStringLiteral("7 Simulator cost"),
              QStringLiteral("CPU per message during Mardock's run (saves included)"),
              micros(simCost.median()));
}

void Benchmarks::waitingCpu(ResultTable &table) {
    const QString name = QStringLiteral("3 CPU while waiting");
    {
        // Mean 10 minutes between triggers: the first (seed 1) comes long
        // after the sample; the log shows whether one came.
        const int sampleMs = m_quick ? 2000 : 10000;
        SimulatorProcess sim(simArgs({"--trigger-mean", "600"}),
                             SimulatorProcess::Log::Timestamped);
        BenchProgram program(sim);
        program.choose({});
        Sample sample(program, sim, m_xServer, Waiting, sampleMs, true);
        program.run();
        if (!sample.cpu.measured() || TimedLog(sim.log()).triggers() != 0)
            throw std::runtime_error("the rare trigger came during the sample");
        // The same wait from its start, so both pace alike.
        const PacedPolls floor = pacedPolls(sim.port(), sampleMs);
        const double overFloor = sample.cpu.total() / floor.cpuShare;
        table.add(name,
                  QStringLiteral("%1 s waiting for a rare trigger: Mardock + X server")
                      .arg(sampleMs / 1000),
                  sample.cpu.text(), QStringLiteral("≤ 1 %"), sample.cpu.total() <= 0.01);
        table.add(name, QStringLiteral("BUSY? polls per second in that wait"),
                  number(sample.pollRate, 0));
        table.add(name,
                  QStringLiteral("floor: a C client on one socket, BUSY? then asleep as "
                                 "Mardock's pacer says, CPU / polls per second"),
                  percent(floor.cpuShare) + QStringLiteral(" / ") + number(floor.pollRate, 0));
        table.add(name, QStringLiteral("waiting, Mardock + X server / floor"),
                  number(overFloor, 2) + 'x', QStringLiteral("≤ 1.2x"), overFloor <= 1.2);
    }
    {
        SimulatorProcess sim(simArgs({"--trigger-mean", "0", "--save-time", "2.5", "--no-files"}),
                             SimulatorProcess::Log::On);
        BenchProgram program(sim);
        program.choose({.limit = 4});
        // The save began just before its status, which the window may show up
        // to one repaint interval (200 ms) later; the sample ends well before
        // the save does.
        Sample sample(program, sim, m_xServer, SavingIsf, 1800, false);
        program.run();
        if (!sample.cpu.measured())
            throw std::runtime_error("the save was not seen");
        table.add(name, QStringLiteral("1.8 s of the fourth 2.5 s save: Mardock + X server"),
                  sample.cpu.text(), QStringLiteral("≤ 1 %"), sample.cpu.total() <= 0.01);
        table.add(name, QStringLiteral("BUSY? polls per second in that save"),
                  number(sample.pollRate, 0));
    }
    {
        const int delaySeconds = m_quick ? 2 : 5;
        SimulatorProcess sim(simArgs({"--trigger-mean", "0", "--save-time", "0"}));
        BenchProgram program(sim);
        program.choose({.limit = 1, .delaySeconds = delaySeconds});
        // The delay ends with the first other status; a status line repainted
        // at a bounded rate may never show the brief one that follows it.
        CpuShare cpu(m_xServer);
        bool delaying = false;
        onStatus(program.window(), Delaying, [&] {
            delaying = true;
            cpu.start();
        });
        QObject::connect(program.window().Text1, &QLineEdit::textChanged, [&](const QString &text) {
            if (delaying && !text.startsWith(Delaying)) {
                delaying = false;
                cpu.stop();
            }
        });
        program.run();
        if (delaying)
            cpu.stop();
        if (!cpu.measured())
            throw std::runtime_error("the delay was not seen");
        table.add(name,
                  QStringLiteral("%1 s post-trigger delay: Mardock + X server").arg(delaySeconds),
                  cpu.text(), QStringLiteral("≤ 1 %"), cpu.total() <= 0.01);
    }
}

void Benchmarks::latency(ResultTable &table) {
    const int cycles = m_quick ? 20 : 150;
    // Triggers 100 ms after arming on average, so most come after any first
    // burst of back-to-back polls; 50 ms saves, ISF only: each save ends in
    // a folder listing, then the scope is armed again.
    const QStringList args =
        simArgs({"--trigger-mean", "0.1", "--save-time", "0.05", "--no-files"});
    SimulatorProcess mardockSim(args, SimulatorProcess::Log::Timestamped);
    {
        BenchProgram program(mardockSim);
        program.choose({.limit = cycles});
        program.run();
    }
    SimulatorProcess scriptSim(args, SimulatorProcess::Log::Timestamped);
    pyvisaSeconds(scriptSim.port(), cycles, Script::NoDelay, true);
    const TimedLog mardock(mardockSim.log()), script(scriptSim.log());

    const QString name = QStringLiteral("4 Latency (p50 / p99)");
    const Samples trigger = mardock.triggerToCommand();
    const Samples dead = mardock.deadTime();
    if (trigger.count() < cycles || dead.count() < cycles - 1)
        throw std::runtime_error("the timestamped log misses cycles");
    table.add(name, QStringLiteral("trigger to first save command, Mardock"),
              medianAndTail(trigger), QStringLiteral("≤ 1.0 ms / ≤ 2.5 ms"),
              trigger.median() <= 0.001 && trigger.percentile(99) <= 0.0025);
    table.add(name, QStringLiteral("trigger to first save command, NODELAY script"),
              medianAndTail(script.triggerToCommand()));
    table.add(name, QStringLiteral("save done to next command, Mardock"),
              medianAndTail(mardock.saveDoneToCommand()));
    table.add(name, QStringLiteral("save done to next command, NODELAY script"),
              medianAndTail(script.saveDoneToCommand()));
    table.add(name, QStringLiteral("dead time beyond the scope's save time, Mardock"),
              medianAndTail(dead), QStringLiteral("≤ 1.5 ms / ≤ 3 ms"),
              dead.median() <= 0.0015 && dead.percentile(99) <= 0.003);
    const Samples scriptDead = script.deadTime();
    table.add(name, QStringLiteral("dead time beyond the scope's save time, NODELAY script"),
              medianAndTail(scriptDead));
    table.add(name, QStringLiteral("dead time p50, Mardock / script"),
              number(dead.median() / scriptDead.median(), 2) + 'x');
}

void Benchmarks::stopLatency(ResultTable &table) {
    const QString name = QStringLiteral("5 Stop and link faults");
    auto *random = QRandomGenerator::global();
    Samples responsive;
    {
        SimulatorProcess sim(simArgs({"--busy-forever"}));
        BenchProgram program(sim);
        program.choose({.restore = true});
        for (int repetition = 0; repetition < (m_quick ? 3 : 15); ++repetition) {
            StopClicker clicker(program.window());
            onStatus(program.window(), Waiting,
                     [&] { clicker.clickAfter(milliseconds(random->bounded(20, 60))); });
            program.run();
            if (!clicker.latency())
                throw std::runtime_error("Stop was not seen to end the run");
            responsive.add(*clicker.latency());
        }
    }
    table.add(name, QStringLiteral("Stop to idle, responsive scope, median / max"),
              millis(responsive.median()) + QStringLiteral(" / ") + millis(responsive.max()),
              QStringLiteral("≤ 100 ms"), responsive.max() <= StopBound);

    // Each fault on a fresh program: Stop clicked at a random moment while
    // the link is dead, the event loop probed from Start to idle.
    enum class Fault { Hung, Unreachable, SilentVxi11 };
    auto measure = [&](Fault fault, const QString &what) {
        Samples stops;
        double stall = 0;
        for (int repetition = 0; repetition < (m_quick ? 1 : 5); ++repetition) {
            // The scope answers start-up, the preparation and the first
            // polls, then nothing: the click lands while a call waits.
            QStringList args = simArgs({"--busy-forever", "--hang-after", "15"});
            if (fault == Fault::SilentVxi11)
                args << simArgs({"--vxi11-port", "0", "--no-portmapper"});
            SimulatorProcess sim(args);
            BenchProgram program(sim, fault == Fault::SilentVxi11 ? BenchProgram::Link::Vxi11
                                                                  : BenchProgram::Link::Socket);
            program.choose({.restore = true});
            std::optional<Blackhole> blackhole;
            if (fault == Fault::Unreachable) {
                blackhole.emplace();
                program.redirect(blackhole->descriptor());
            }
            StopClicker clicker(program.window());
            const auto delay = milliseconds(random->bounded(200, 700));
            if (fault == Fault::Unreachable)
                clicker.clickAfter(delay);
            else
                onStatus(program.window(), Waiting, [&] { clicker.clickAfter(delay); });
            {
                StallProbe probe(*program.window().Text1);
                program.run();
                stall = std::max(stall, probe.longestSeconds());
            }
            if (!clicker.latency())
                throw std::runtime_error("Stop was not seen to end a run with a dead link");
            stops.add(*clicker.latency());
        }
        table.add(name, QStringLiteral("Stop to idle, %1, median / max").arg(what),
                  millis(stops.median()) + QStringLiteral(" / ") + millis(stops.max()),
                  QStringLiteral("≤ 100 ms"), stops.max() <= StopBound);
        table.add(name, QStringLiteral("longest event-loop stall, %1").arg(what), millis(stall),
                  QStringLiteral("≤ 100 ms"), stall <= StopBound);
    };
    measure(Fault::Hung, QStringLiteral("hung scope"));
    measure(Fault::Unreachable, QStringLiteral("unreachable scope (SYN dropped)"));
    measure(Fault::SilentVxi11, QStringLiteral("silent VXI-11 scope"));
}

void Benchmarks::endurance(ResultTable &table) {
    const int early = 100;
    const int middle = m_quick ? 200 : 5000;
    const int total = m_quick ? 400 : 10000;
    const int span = m_quick ? 50 : 500;
    // The scope writes every file, so its folder listing after each ISF save
    // grows with the run; the connection is closed after every 6,000
    // messages, about 300 acquisitions, and the program reconnects.
    SimulatorProcess sim(
        simArgs({"--trigger-mean", "0", "--save-time", "0", "--close-after", "6000"}));
    BenchProgram program(sim);
    program.choose({.isf = true, .csv = true, .image = true, .imageType = "BMP", .limit = total});
    // Read from the text the run last posted: the status line repaints at a
    // bounded rate and skips most acquisitions.
    double earlyMiB = 0;
    double middleMiB = 0;
    std::optional<double> earlyFrom, earlyTo, lateFrom;
    QElapsedTimer clock;
    clock.start();
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        const int acquisition = program.window().statusText().section(u':', 0, 0).toInt();
        if (earlyMiB == 0 && acquisition > early)
            earlyMiB = ProcessUsage::ownResidentMiB();
        if (middleMiB == 0 && acquisition > middle)
            middleMiB = ProcessUsage::ownResidentMiB();
        if (!earlyFrom && acquisition > early)
            earlyFrom = since(clock);
        if (!earlyTo && acquisition > early + span)
            earlyTo = since(clock);
        if (!lateFrom && acquisition > total - span)
            lateFrom = since(clock);
    });
    sampler.start(1);
    program.run();
    const double end = since(clock);
    const double lateMiB = ProcessUsage::ownResidentMiB();
    if (earlyMiB == 0 || middleMiB == 0 || !earlyTo || !lateFrom)
        throw std::runtime_error("the endurance run ended early");
    const qsizetype files =
        QDir(sim.storageDir() + QStringLiteral("/E")).entryList(QDir::Files).size();

    const QString name = QStringLiteral("6 Endurance");
    table.add(name,
              QStringLiteral("resident memory after %1 / %2 / %3 acquisitions")
                  .arg(early)
                  .arg(middle)
                  .arg(total),
              number(earlyMiB, 2) + QStringLiteral(" / ") + number(middleMiB, 2) +
                  QStringLiteral(" / ") + number(lateMiB, 2) + QStringLiteral(" MiB"));
    const double toMiddle = middleMiB - earlyMiB;
    table.add(name, QStringLiteral("growth, %1 to %2 acquisitions").arg(early).arg(middle),
              number(toMiddle, 2) + QStringLiteral(" MiB"), QStringLiteral("< 2 MB"),
              toMiddle * 1.048576 < 2.0);
    const double growth = lateMiB - earlyMiB;
    table.add(name, QStringLiteral("growth, %1 to %2 acquisitions").arg(early).arg(total),
              number(growth, 2) + QStringLiteral(" MiB"), QStringLiteral("< 1 MB"),
              growth * 1.048576 < 1.0);
    const double earlyCycle = (*earlyTo - *earlyFrom) / span;
    const double lateCycle = (end - *lateFrom) / span;
    table.add(name,
              QStringLiteral("cycle (ISF, CSV, BMP), acquisitions %1-%2 / last %3, with %4 "
                             "files on the scope at the end")
                  .arg(early)
                  .arg(early + span)
                  .arg(span)
                  .arg(files),
              millis(earlyCycle) + QStringLiteral(" / ") + millis(lateCycle));
    table.add(name, QStringLiteral("cycle time, late / early"),
              number(lateCycle / earlyCycle, 2) + 'x');
}
