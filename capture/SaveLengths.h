#pragma once

#include <QList>
#include <array>
#include <chrono>
#include <optional>

// How long the scope's saves of each kind took lately: the median of the
// last few, so one slow save (a folder that had to grow) does not move it.
class SaveLengths {
public:
    enum class Kind { Isf, Csv, Screen };
    using Duration = std::chrono::steady_clock::duration;

    void record(Kind kind, Duration length);
    // Nothing until a few saves of the kind have been timed.
    std::optional<Duration> usual(Kind kind) const;

private:
    static constexpr int Kept = 5;
    static constexpr int Needed = 3;
    std::array<QList<Duration>, 3> m_recent;
};
