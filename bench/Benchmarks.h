#pragma once

class ResultTable;
class XServer;

// Each benchmark starts its own simulated scopes and adds its rows to the
// table. Ratios are taken within one call, from interleaved repetitions.
// The program's CPU time is this process's; the X server's is added to it.
class Benchmarks {
public:
    Benchmarks(bool quick, const XServer &xServer);

    void exchangeCost(ResultTable &table);
    // Uses the bare round trip that exchangeCost measured for its limit.
    void captureThroughput(ResultTable &table);
    void waitingCpu(ResultTable &table);
    void latency(ResultTable &table);
    void stopLatency(ResultTable &table);
    void endurance(ResultTable &table);

private:
    bool m_quick;
    const XServer &m_xServer;
    double m_bareRoundTrip = 0.0;
};
