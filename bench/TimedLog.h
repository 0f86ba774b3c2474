#pragma once

#include "Samples.h"

#include <QByteArray>
#include <QList>

// The simulator's timestamped command log ("<us> > message", "<us> * event"),
// read back for the latencies a user feels, all in seconds on one clock.
class TimedLog {
public:
    explicit TimedLog(const QByteArray &log);

    // From each trigger to the first command after it that is not a poll.
    Samples triggerToCommand() const;
    // From each finished save to the first command after it that is not a poll.
    Samples saveDoneToCommand() const;
    // From each trigger to the command that arms the scope again, less the
    // time the scope itself spent saving in between: what the client adds.
    Samples deadTime() const;
    int triggers() const;

private:
    struct Line {
        qint64 us;
        bool event;
        QByteArray text;
    };

    Samples toNextCommand(const QByteArray &event) const;

    QList<Line> m_lines;
};
