#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// Everything the simulated scope can be told at start, faults included.
struct SimOptions {
    quint16 port = 4000;
    // Where every port is served: loopback, unless inside a private network
    // namespace made for a test.
    QString address = QStringLiteral("127.0.0.1");
    // Answer mDNS one-shot queries for the ports served at `address`.
    bool mdns = false;
    QString storage = QStringLiteral("scope-storage");
    QByteArray idn = "MARDOCK,KXA5104-SIM,000001,1.0.0";
    double triggerMeanSeconds = 1.0;
    double saveSeconds = 0.2;
    QString logPath;
    // Log lines carry the monotonic time and the scope's triggers and saves.
    bool logTimestamps = false;
    // Saves keep the scope busy as usual but write nothing.
    bool noFiles = false;
    int recordLength = 10000;
    quint64 seed = 1;
    // Replies carry their headers until "HEAD 0", as after power-on.
    bool headers = false;
    // VXI-11 core channel on 127.0.0.1 (0 picks a free port); none if unset.
    std::optional<quint16> vxi11Port;
    // Register the VXI-11 port with the local portmapper when one runs.
    bool portmapper = true;
    // VXI-11 links that may be live at once; create_link past them is
    // refused with error 9.
    int linkLimit = 64;
    // A VXI-11 link stays live when its connection closes, until
    // destroy_link from any connection, as on some scopes.
    bool linksOutliveConnection = false;

    // Faults. Message counts start at 1; nothing is injected by default.
    int closeAfter = 0;
    std::optional<int> hangAfter;
    int hangMs = -1; // -1: a hang never ends
    bool garbage = false;
    bool unterminated = false;
    bool oversize = false;
    bool busyForever = false;
    int replyDelayMs = 0;
    int firstReplyDelayMs = 0;
    // Every save fails with -250 and writes nothing, as with no USB stick or
    // a full one.
    enum class DriveFault { None, Missing, Full };
    DriveFault driveFault = DriveFault::None;
    // Power goes off after the N-th save command and comes back powerOffMs
    // later in the power-on state; 0 never.
    int powerCycleAfter = 0;
    int powerOffMs = 2000;
};
