#include "SimCommandLine.h"

#include <QHostAddress>

#include <limits>

namespace {

const QString description = QStringLiteral(
    "A simulated oscilloscope for trying Mardock without an instrument.\n"
    "It serves the scope's raw socket protocol (and VXI-11 with --vxi11-port) on 127.0.0.1 only\n"
    "and writes the files the scope is told to save under the storage folder: drive E: is\n"
    "<storage>/E/.\n"
    "  SAV:WAVE ALL with FILEF INTERNAL: <name>_CH1.isf and <name>_CH2.isf\n"
    "  SAV:WAVE ALL with FILEF SPREADS:  <name>_CH1.csv and <name>_CH2.csv\n"
    "  SAV:IMAG <name>:                  <name> exactly, as BMP, PNG or TIFF (SAV:IMAG:FILEF)\n"
    "Fault switches (--close-after and below) make it misbehave the ways a real link can.");

struct Number {
    const char *name;
    double low;
    double high;
};

} // namespace

SimCommandLine::SimCommandLine() {
    m_parser.setApplicationDescription(description);
    m_parser.addHelpOption();
    m_parser.addVersionOption();
    m_parser.addOptions({
        {"port", "TCP port on 127.0.0.1 (default 4000; 0 picks a free port).", "N", "4000"},
        {"address",
         "Serve on this IPv4 address instead of 127.0.0.1: only inside a private network "
         "namespace, as the discovery tests make.",
         "IPV4", "127.0.0.1"},
        {"mdns",
         "Answer mDNS one-shot queries (from a port other than 5353) for _scpi-raw._tcp, and "
         "for _vxi-11._tcp with --vxi11-port, with the address and ports served. Only with "
         "--address inside a private network namespace."},
        {"storage", "Folder that stands for the scope's drives (default ./scope-storage).", "DIR",
         "scope-storage"},
        {"idn", "Reply to *IDN?.", "TEXT", QString::fromLatin1(SimOptions().idn)},
        {"trigger-mean", "Mean seconds from arming to trigger (default 1.0; 0 = at once).", "S",
         "1.0"},
        {"save-time", "Seconds a save keeps the scope busy (default 0.2; 0 = instant).", "S",
         "0.2"},
        {"log", "Command log: every received message, one per line, as received.", "FILE"},
        {"log-timestamps",
         "Start each log line with the CLOCK_MONOTONIC time in microseconds and a kind: '>' "
         "a received message, '*' the scope's own event ('triggered', 'saved'), stamped with "
         "when it happened."},
        {"no-files", "Acknowledge saves (busy for --save-time) without writing any file."},
        {"record-length", "Samples per waveform (default 10000).", "N", "10000"},
        {"seed", "Random seed for triggers and waveforms (default 1).", "N", "1"},
        {"headers", "Start with reply headers on, as a scope is after power-on, until HEAD 0."},
        {"vxi11-port",
         "Also serve VXI-11 (TCPIP::127.0.0.1::INSTR) on this TCP port of 127.0.0.1 (0 picks a "
         "free port), registered with the local portmapper when one runs.",
         "N"},
        {"no-portmapper", "Do not register the VXI-11 port with the local portmapper."},
        {"link-limit",
         "VXI-11 links that may be live at once (default 64); create_link past them is refused "
         "with error 9, out of resources.",
         "N", "64"},
        {"links-outlive-connection",
         "A VXI-11 link stays live when its connection closes, until destroy_link from any "
         "connection ends it, as on some scopes."},
        {"close-after",
         "Fault: close the connection after the N-th message received, and again "
         "after every N more.",
         "N"},
        {"hang-after",
         "Fault: after the N-th message, read but neither carry out nor answer "
         "anything for --hang-ms.",
         "N"},
        {"hang-ms", "How long a hang lasts (default: forever).", "MS"},
        {"garbage", "Fault: answer every query with random bytes, then a line feed."},
        {"unterminated", "Fault: answer queries with text that never ends in a line feed."},
        {"oversize", "Fault: answer queries with a block header announcing 200000000 bytes, then "
                     "send filler slowly and never all of it."},
        {"busy-forever", "Fault: BUSY? always answers 1."},
        {"reply-delay", "Fault: delay every reply by MS milliseconds (replies stay in order).",
         "MS"},
        {"first-reply-delay",
         "Fault: delay the first reply on each connection by MS milliseconds, as a scope "
         "waking up does.",
         "MS"},
        {"drive-missing",
         "Fault: every save fails with -250 (drive not found); nothing is written."},
        {"drive-full", "Fault: every save fails with -250 (drive full); nothing is written."},
        {"power-cycle-after",
         "Fault: power goes off once, right after the N-th save command (SAV:WAVE or SAV:IMAG): "
         "connections drop and are refused until the scope is back, after --power-off-ms, in "
         "its power-on state.",
         "N"},
        {"power-off-ms", "How long the power stays off (default 2000).", "MS", "2000"},
    });
}

std::optional<SimOptions> SimCommandLine::parse(const QStringList &arguments) {
    m_parser.process(arguments);
    m_error.clear();

    auto number = [this](const Number &n) -> double {
        if (!m_parser.isSet(n.name) && m_parser.value(n.name).isEmpty())
            return n.low;
        bool ok = false;
        const double value = m_parser.value(n.name).toDouble(&ok);
        if (!ok || value < n.low || value > n.high) {
            m_error = QStringLiteral("--%1 must be a number from %2 to %3")
                          .arg(QLatin1String(n.name))
                          .arg(n.low)
                          .arg(n.high, 0, 'f', 0);
            return n.low;
        }
        return value;
    };
    constexpr double maxInt = std::numeric_limits<int>::max();

    SimOptions options;
    options.port = static_cast<quint16>(number({"port", 0, 65535}));
    options.address = m_parser.value("address");
    if (QHostAddress(options.address).protocol() != QAbstractSocket::IPv4Protocol)
        m_error = QStringLiteral("--address must be an IPv4 address");
    options.mdns = m_parser.isSet("mdns");
    options.storage = m_parser.value("storage");
    options.idn = m_parser.value("idn").toUtf8();
    options.triggerMeanSeconds = number({"trigger-mean", 0, 86400});
    options.saveSeconds = number({"save-time", 0, 86400});
    options.logPath = m_parser.value("log");
    options.logTimestamps = m_parser.isSet("log-timestamps");
    options.noFiles = m_parser.isSet("no-files");
    options.recordLength = static_cast<int>(number({"record-length", 2, 50'000'000}));
    options.seed = static_cast<quint64>(number({"seed", 0, 9.0e15}));
    options.headers = m_parser.isSet("headers");
    if (m_parser.isSet("vxi11-port"))
        options.vxi11Port = static_cast<quint16>(number({"vxi11-port", 0, 65535}));
    options.portmapper = !m_parser.isSet("no-portmapper");
    options.linkLimit = static_cast<int>(number({"link-limit", 1, 1'000'000}));
    options.linksOutliveConnection = m_parser.isSet("links-outlive-connection");
    options.closeAfter = static_cast<int>(number({"close-after", 0, maxInt}));
    if (m_parser.isSet("hang-after"))
        options.hangAfter = static_cast<int>(number({"hang-after", 0, maxInt}));
    if (m_parser.isSet("hang-ms"))
        options.hangMs = static_cast<int>(number({"hang-ms", 0, maxInt}));
    options.garbage = m_parser.isSet("garbage");
    options.unterminated = m_parser.isSet("unterminated");
    options.oversize = m_parser.isSet("oversize");
    options.busyForever = m_parser.isSet("busy-forever");
    options.replyDelayMs = static_cast<int>(number({"reply-delay", 0, maxInt}));
    options.firstReplyDelayMs = static_cast<int>(number({"first-reply-delay", 0, maxInt}));
    if (m_parser.isSet("drive-full"))
        options.driveFault = SimOptions::DriveFault::Full;
    if (m_parser.isSet("drive-missing"))
        options.driveFault = SimOptions::DriveFault::Missing;
    options.powerCycleAfter = static_cast<int>(number({"power-cycle-after", 0, maxInt}));
    options.powerOffMs = static_cast<int>(number({"power-off-ms", 0, maxInt}));
    if (!m_parser.positionalArguments().isEmpty())
        m_error =
            QStringLiteral("unexpected argument: %1").arg(m_parser.positionalArguments().front());
    if (!m_error.isEmpty())
        return std::nullopt;
    return options;
}
