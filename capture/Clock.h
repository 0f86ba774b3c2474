#pragma once

#include <QDateTime>

// Wall clock behind an interface so that midnight and millisecond cases are
// tested without waiting for them.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;

    // Seconds since local midnight in single precision, 0 up to 86400.
    float secondsSinceMidnight() const {
        return static_cast<float>(now().time().msecsSinceStartOfDay()) / 1000.0f;
    }
};

class SystemClock : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};
