#include "Benchmarks.h"

#include "BareClient.h"
#include "BenchProgram.h"
#include "CommandExchange.h"
#include "FakeHost.h"
#include "InstrumentControl.h"
#include "IoThread.h"
#include "ProcessUsage.h"
#include "ResultTable.h"
#include "Samples.h"
#include "SimulatorProcess.h"
#include "StopClicker.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTimer>

#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>

using namespace std::chrono;

namespace {

const QString Waiting = QStringLiteral("1: Waiting for Acquisition");
const QString Delaying = QStringLiteral("Delay after trigger");
// Messages a run sends before its first cycle.
constexpr int RunPreparation = 2;
// The I/O timeout the program sets at start-up, and the pause before a failed
// exchange is tried again.
constexpr double ExchangeBound = 0.3;
constexpr double RetryPause = 0.1;

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

double since(const QElapsedTimer &timer) {
    return double(timer.nsecsElapsed()) / 1e9;
}

void waitUntilIdle(BareClient &client) {
    while (client.query("BUSY?") != "0") {
    }
}

// One cycle as the program sends it with all three saves, default names,
// counter stems and BMP images; the PyVISA script sends the same.
void captureCycle(BareClient &client, int stem) {
    const std::string n = std::to_string(stem);
    client.write("ACQ:STATE 1");
    waitUntilIdle(client);
    client.write("SAV:WAVE:FILEF INTERNAL");
    client.write("SAV:WAVE ALL, \"E:\\my_ISFs_" + n + "\"");
    waitUntilIdle(client);
    client.query("FILES:DIR?");
    client.write("SAV:WAVE:FILEF SPREADS");
    client.write("SAV:WAVE:GATI NON");
    client.write("SAV:WAVE ALL, \"E:\\my_CSVs_" + n + "\"");
    waitUntilIdle(client);
    client.write("SAV:IMAG:FILEF BMP");
    client.write("SAV:IMAG:LAY LAN");
    client.write("SAV:IMAG:INKS ON");
    client.write("SAV:IMAG \"E:\\my_Images_" + n + ".BMP\"");
    waitUntilIdle(client);
}

double pyvisaSeconds(quint16 port, int cycles) {
    QProcess script;
    script.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    script.start(
        QStringLiteral("/usr/bin/python3"),
        {QStringLiteral(MARDOCK_PYVISA_SCRIPT), QString::number(port), QString::number(cycles)});
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

} // namespace

Benchmarks::Benchmarks(bool quick)
    : m_quick(quick) {}

void Benchmarks::exchangeCost(ResultTable &table) {
    const int repetitions = m_quick ? 3 : 7;
    const int queries = m_quick ? 500 : 5000;
    const int warmUp = 200;
    SimulatorProcess sim({});
    InstrumentControl plexor({});
    plexor.setDescriptor(sim.descriptor());
    FakeHost host;
    SystemClock clock;
    IoThread io;
    CommandExchange exchange(plexor, host, clock, io);

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
    table.add(QStringLiteral("6 Simulator cost"),
              QStringLiteral("CPU per BUSY? (share of bare round trip)"),
              micros(simCost) + QStringLiteral(" (") + percent(simCost / m_bareRoundTrip) + ')');
}

void Benchmarks::captureThroughput(ResultTable &table) {
    const int repetitions = m_quick ? 1 : 3;
    const int cycles = m_quick ? 20 : 200;
    // Short records and uncompressed images keep the simulated scope's file
    // writing cheap: PNG compression alone took 79 % of its time.
    SimulatorProcess sim({QStringLiteral("--trigger-mean"), QStringLiteral("0"),
                          QStringLiteral("--save-time"), QStringLiteral("0"),
                          QStringLiteral("--record-length"), QStringLiteral("500")},
                         SimulatorProcess::Log::On);
    BenchProgram program(sim);
    program.choose({.isf = true,
                    .csv = true,
                    .image = true,
                    .imageType = QStringLiteral("BMP"),
                    .limit = cycles});

    Samples mardock, mardockCpu, script, bare, messagesPerCycle, simCost;
    int stem = 0;
    for (int repetition = 0; repetition < repetitions; ++repetition) {
        sim.clearStorage();
        const qint64 messagesBefore = sim.loggedMessages();
        const double simBefore = sim.cpuSeconds();
        const double cpuBefore = ProcessUsage::ownCpuSeconds();
        mardock.add(cycles / program.run());
        mardockCpu.add((ProcessUsage::ownCpuSeconds() - cpuBefore) / cycles);
        const double messages = double(sim.loggedMessages() - messagesBefore - RunPreparation);
        messagesPerCycle.add(messages / cycles);
        simCost.add((sim.cpuSeconds() - simBefore) / messages);

        sim.clearStorage();
        script.add(cycles / pyvisaSeconds(sim.port(), cycles));

        sim.clearStorage();
        BareClient client("127.0.0.1", sim.port());
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < cycles; ++i)
            captureCycle(client, 100000 + ++stem);
        bare.add(cycles / since(timer));
    }
    const double perCycle = messagesPerCycle.median();
    const double limit = 1.0 / (perCycle * m_bareRoundTrip);
    const QString name = QStringLiteral("2 Capture throughput");
    table.add(name, QStringLiteral("exchanges per cycle (all three saves)"), number(perCycle, 1));
    table.add(name, QStringLiteral("Mardock"),
              number(mardock.median(), 1) + QStringLiteral(" acq/s"));
    table.add(name, QStringLiteral("PyVISA script (pyvisa-py)"),
              number(script.median(), 1) + QStringLiteral(" acq/s"));
    table.add(name, QStringLiteral("bare client, same commands"),
              number(bare.median(), 1) + QStringLiteral(" acq/s"));
    table.add(name, QStringLiteral("limit: 1 / (exchanges x bare round trip)"),
              number(limit, 1) + QStringLiteral(" acq/s"));
    const double overScript = mardock.median() / script.median();
    table.add(name, QStringLiteral("Mardock / script"), number(overScript, 2) + 'x',
              QStringLiteral("≥ 3x"), overScript >= 3.0);
    const double ofLimit = mardock.median() / limit;
    table.add(name, QStringLiteral("Mardock / limit"), number(ofLimit, 2), QStringLiteral("≥ 0.8"),
              ofLimit >= 0.8);
    table.add(name, QStringLiteral("Mardock / bare client, same commands"),
              number(mardock.median() / bare.median(), 2));
    table.add(name, QStringLiteral("Mardock's own CPU per cycle"), millis(mardockCpu.median()));
    table.add(QStringLiteral("6 Simulator cost"),
              QStringLiteral("CPU per message during Mardock's run (saves included)"),
              micros(simCost.median()));
}

void Benchmarks::waitingCpu(ResultTable &table) {
    const int waitSeconds = m_quick ? 2 : 5;
    const QString name = QStringLiteral("3 CPU while waiting");
    {
        SimulatorProcess sim({QStringLiteral("--trigger-mean"), QStringLiteral("0"),
                              QStringLiteral("--save-time"), QStringLiteral("0")});
        BenchProgram program(sim);
        program.choose({.limit = 1, .delaySeconds = waitSeconds});
        double cpuStart = 0, cpuEnd = 0;
        QElapsedTimer wall;
        qint64 wallNs = 0;
        onStatus(program.window(), Delaying, [&] {
            cpuStart = ProcessUsage::ownCpuSeconds();
            wall.start();
        });
        onStatus(program.window(), QStringLiteral("1: Save ISF"), [&] {
            cpuEnd = ProcessUsage::ownCpuSeconds();
            wallNs = wall.nsecsElapsed();
        });
        program.run();
        if (wallNs == 0)
            throw std::runtime_error("the delay was not seen");
        const double share = (cpuEnd - cpuStart) / (double(wallNs) / 1e9);
        table.add(name, QStringLiteral("%1 s post-trigger delay (CPU / wall)").arg(waitSeconds),
                  percent(share), QStringLiteral("< 2 %"), share < 0.02);
    }
    {
        SimulatorProcess sim({QStringLiteral("--busy-forever")}, SimulatorProcess::Log::On);
        BenchProgram program(sim);
        program.choose({});
        double cpuStart = 0, share = 0, pollRate = 0;
        qint64 messagesStart = 0;
        QElapsedTimer wall;
        onStatus(program.window(), Waiting, [&] {
            cpuStart = ProcessUsage::ownCpuSeconds();
            messagesStart = sim.loggedMessages();
            wall.start();
            QTimer::singleShot(waitSeconds * 1000, program.window().cbStop, [&] {
                const double seconds = since(wall);
                share = (ProcessUsage::ownCpuSeconds() - cpuStart) / seconds;
                pollRate = double(sim.loggedMessages() - messagesStart) / seconds;
                program.window().cbStop->click();
            });
        });
        program.run();
        table.add(name,
                  QStringLiteral("%1 s acquisition wait, no trigger (CPU / wall)").arg(waitSeconds),
                  percent(share));
        table.add(name, QStringLiteral("BUSY? polls per second in that wait"), number(pollRate, 0));
    }
}

void Benchmarks::stopLatency(ResultTable &table) {
    const QString name = QStringLiteral("4 Stop latency");
    auto *random = QRandomGenerator::global();
    Samples responsive;
    {
        SimulatorProcess sim({QStringLiteral("--busy-forever")});
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
    table.add(name, QStringLiteral("responsive scope, median / max"),
              millis(responsive.median()) + QStringLiteral(" / ") + millis(responsive.max()),
              QStringLiteral("median < 20 ms"), responsive.median() < 0.020);

    // The scope answers the start-up, the preparation and the first polls,
    // then nothing: the click lands while a query waits for its timeout.
    Samples hung;
    for (int repetition = 0; repetition < (m_quick ? 2 : 7); ++repetition) {
        SimulatorProcess sim({QStringLiteral("--busy-forever"), QStringLiteral("--hang-after"),
                              QStringLiteral("15")});
        BenchProgram program(sim);
        program.choose({.restore = true});
        StopClicker clicker(program.window());
        onStatus(program.window(), Waiting,
                 [&] { clicker.clickAfter(milliseconds(random->bounded(50, 500))); });
        program.run();
        if (!clicker.latency())
            throw std::runtime_error("Stop was not seen to end the hung run");
        hung.add(*clicker.latency());
    }
    const double bound = ExchangeBound + RetryPause;
    table.add(name, QStringLiteral("hung scope, median / max"),
              millis(hung.median()) + QStringLiteral(" / ") + millis(hung.max()),
              QStringLiteral("max ≤ %1 ms (I/O timeout + 0.1 s)").arg(bound * 1000, 0, 'f', 0),
              hung.max() <= bound);
}

void Benchmarks::endurance(ResultTable &table) {
    const int early = m_quick ? 20 : 100;
    const int total = m_quick ? 200 : 5000;
    SimulatorProcess sim({QStringLiteral("--trigger-mean"), QStringLiteral("0"),
                          QStringLiteral("--save-time"), QStringLiteral("0"),
                          QStringLiteral("--record-length"), QStringLiteral("100")});
    BenchProgram program(sim);
    program.choose({.isf = true, .csv = true, .limit = total});
    // Every ISF save lists the scope's folder; left to grow, that listing
    // makes the run quadratic and its reply buffer pass for a leak.
    QObject::connect(program.window().Text1, &QLineEdit::textChanged, [&](const QString &text) {
        if (text.endsWith(QStringLiteral("00: Waiting for Acquisition")))
            sim.clearStorage();
    });
    double earlyMiB = 0;
    onStatus(program.window(), QStringLiteral("%1: Waiting for Acquisition").arg(early + 1),
             [&] { earlyMiB = ProcessUsage::ownResidentMiB(); });
    program.run();
    const double lateMiB = ProcessUsage::ownResidentMiB();
    const QString name = QStringLiteral("5 Endurance");
    table.add(
        name, QStringLiteral("resident memory after %1 / %2 acquisitions").arg(early).arg(total),
        number(earlyMiB, 2) + QStringLiteral(" / ") + number(lateMiB, 2) + QStringLiteral(" MiB"));
    const double growth = lateMiB - earlyMiB;
    table.add(name, QStringLiteral("growth"), number(growth, 2) + QStringLiteral(" MiB"),
              QStringLiteral("< 2 MB"), growth * 1.048576 < 2.0);
}
