#include "SaveLengths.h"

#include <algorithm>

void SaveLengths::record(Kind kind, Duration length) {
    QList<Duration> &recent = m_recent[static_cast<size_t>(kind)];
    recent.append(length);
    if (recent.size() > Kept)
        recent.removeFirst();
}

std::optional<SaveLengths::Duration> SaveLengths::usual(Kind kind) const {
    QList<Duration> recent = m_recent[static_cast<size_t>(kind)];
    if (recent.size() < Needed)
        return std::nullopt;
    const auto middle = recent.begin() + recent.size() / 2;
    std::nth_element(recent.begin(), middle, recent.end());
    return *middle;
}
