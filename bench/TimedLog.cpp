#include "TimedLog.h"

#include <algorithm>

namespace {

const QByteArray Poll = "BUSY?";
const QByteArray Arm = "ACQ:STATE 1";
const QByteArray Triggered = "triggered";
const QByteArray Saved = "saved";

bool isSave(const QByteArray &text) {
    return text.startsWith("SAV:WAVE ") || text.startsWith("SAV:IMAG ");
}

double seconds(qint64 us) {
    return double(us) / 1e6;
}

} // namespace

TimedLog::TimedLog(const QByteArray &log) {
    qint64 armedAt = 0;
    for (const QByteArray &line : log.split('\n')) {
        const qsizetype first = line.indexOf(' ');
        if (first < 0 || line.size() < first + 3 || line[first + 2] != ' ')
            continue;
        const char kind = line[first + 1];
        if (kind != '>' && kind != '*')
            continue;
        Line entry{line.left(first).toLongLong(), kind == '*', line.mid(first + 3)};
        if (!entry.event && entry.text == Arm)
            armedAt = entry.us;
        // The scope's millisecond clock can place a trigger that comes at
        // once a little before the arming; the client cannot see it earlier.
        if (entry.event && entry.text == Triggered)
            entry.us = std::max(entry.us, armedAt);
        m_lines.append(entry);
    }
    // An event is written when a message notices it, stamped with when it
    // happened: earlier than the line before it.
    std::stable_sort(m_lines.begin(), m_lines.end(),
                     [](const Line &a, const Line &b) { return a.us < b.us; });
}

Samples TimedLog::triggerToCommand() const {
    return toNextCommand(Triggered);
}

Samples TimedLog::saveDoneToCommand() const {
    return toNextCommand(Saved);
}

Samples TimedLog::deadTime() const {
    Samples samples;
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        if (!m_lines[i].event || m_lines[i].text != Triggered)
            continue;
        qint64 saving = 0, saveStarted = -1;
        for (qsizetype j = i + 1; j < m_lines.size(); ++j) {
            const Line &line = m_lines[j];
            if (!line.event && isSave(line.text) && saveStarted < 0) {
                saveStarted = line.us;
            } else if (line.event && line.text == Saved && saveStarted >= 0) {
                saving += line.us - saveStarted;
                saveStarted = -1;
            } else if (!line.event && line.text == Arm) {
                samples.add(seconds(line.us - m_lines[i].us - saving));
                break;
            }
        }
    }
    return samples;
}

int TimedLog::triggers() const {
    return int(std::count_if(m_lines.begin(), m_lines.end(), [](const Line &line) {
        return line.event && line.text == Triggered;
    }));
}

Samples TimedLog::toNextCommand(const QByteArray &event) const {
    Samples samples;
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        if (!m_lines[i].event || m_lines[i].text != event)
            continue;
        const auto next =
            std::find_if(m_lines.begin() + i + 1, m_lines.end(),
                         [](const Line &line) { return !line.event && line.text != Poll; });
        if (next != m_lines.end())
            samples.add(seconds(next->us - m_lines[i].us));
    }
    return samples;
}
