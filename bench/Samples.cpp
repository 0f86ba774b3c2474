#include "Samples.h"

#include <algorithm>
#include <cmath>

double Samples::percentile(double p) const {
    if (m_values.empty())
        return 0.0;
    std::vector<double> sorted = m_values;
    const auto rank = std::clamp<std::size_t>(
        std::size_t(std::ceil(p / 100.0 * double(sorted.size()))), 1, sorted.size());
    std::nth_element(sorted.begin(), sorted.begin() + long(rank - 1), sorted.end());
    return sorted[rank - 1];
}
