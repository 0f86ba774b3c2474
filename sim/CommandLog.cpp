#include "CommandLog.h"

#include "ElapsedClock.h"

#include <QDir>
#include <QFileInfo>

CommandLog::CommandLog(const QString &path, bool timestamps)
    : m_file(path)
    , m_timestamps(timestamps) {
    if (!path.isEmpty() && QDir().mkpath(QFileInfo(path).absolutePath()))
        m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered);
}

void CommandLog::append(QByteArrayView message) {
    write('>', message, m_timestamps ? ElapsedClock::monotonicUs() : 0);
}

void CommandLog::appendEvent(QByteArrayView event, qint64 atUs) {
    if (m_timestamps)
        write('*', event, atUs);
}

void CommandLog::write(char kind, QByteArrayView text, qint64 atUs) {
    if (!m_file.isOpen())
        return;
    // One write per line, so lines of a restarted simulator never interleave.
    m_line.resize(0);
    if (m_timestamps)
        m_line.append(QByteArray::number(atUs)).append(' ').append(kind).append(' ');
    m_line.append(text).append('\n');
    m_file.write(m_line);
}
