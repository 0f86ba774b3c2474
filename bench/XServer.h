#pragma once

#include <QString>
#include <sys/types.h>

// A virtual X server started for the benchmarks, so the real window is drawn
// through the xcb platform and the server's CPU time counts with the
// program's. It listens on a local socket only, never on TCP.
class XServer {
public:
    // Starts Xvfb on a free display; throws when it cannot.
    XServer();
    ~XServer();
    XServer(const XServer &) = delete;
    XServer &operator=(const XServer &) = delete;

    // ":N", for DISPLAY.
    QString display() const { return m_display; }
    double cpuSeconds() const;

private:
    void stop();

    pid_t m_pid = -1;
    QString m_display;
};
