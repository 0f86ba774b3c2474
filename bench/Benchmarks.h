#pragma once

class ResultTable;

// Each benchmark starts its own simulated scopes and adds its rows to the
// table. Ratios are taken within one call, from interleaved repetitions.
class Benchmarks {
public:
    explicit Benchmarks(bool quick);

    void exchangeCost(ResultTable &table);
    // Uses the bare round trip that exchangeCost measured for its limit.
    void captureThroughput(ResultTable &table);
    void waitingCpu(ResultTable &table);
    void stopLatency(ResultTable &table);
    void endurance(ResultTable &table);

private:
    bool m_quick;
    double m_bareRoundTrip = 0.0;
};
