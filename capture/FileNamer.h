#pragma once

#include "Clock.h"

#include <QString>

// Hands out the stem that all files of one acquisition share: a running
// counter, or a 17-digit timestamp of the moment the stem is taken.
class FileNamer {
public:
    // lastCounter is the counter value before the first counter stem.
    explicit FileNamer(const Clock &clock, qint64 lastCounter = 0);

    QString nextFileStem(bool useTimestamps);

private:
    const Clock &m_clock;
    // 64 bits so that the numbering never wraps onto earlier files.
    qint64 m_counter;
};
