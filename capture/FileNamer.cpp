#include "FileNamer.h"

FileNamer::FileNamer(const Clock &clock, qint64 lastCounter)
    : m_clock(clock)
    , m_counter(lastCounter) {}

QString FileNamer::nextFileStem(bool useTimestamps) {
    if (!useTimestamps)
        return QString::number(++m_counter);
    // Date, time and milliseconds from one reading, so two acquisitions a
    // second apart can never share a stem.
    const QDateTime now = m_clock.now();
    return QString::number(now.date().year()) + now.toString(QStringLiteral("MMddhhmmsszzz"));
}
