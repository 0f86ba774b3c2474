#pragma once

#include <vector>

// Measured values of one kind, for order statistics.
class Samples {
public:
    void add(double value) { m_values.push_back(value); }
    bool isEmpty() const { return m_values.empty(); }
    int count() const { return int(m_values.size()); }

    double median() const { return percentile(50.0); }
    // Nearest-rank percentile, 0 < p <= 100; 0 when there are no values.
    double percentile(double p) const;
    double max() const { return percentile(100.0); }

private:
    std::vector<double> m_values;
};
