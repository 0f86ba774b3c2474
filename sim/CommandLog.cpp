#include "CommandLog.h"

#include <QDir>
#include <QFileInfo>

CommandLog::CommandLog(const QString &path)
    : m_file(path) {
    if (!path.isEmpty() && QDir().mkpath(QFileInfo(path).absolutePath()))
        m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered);
}

void CommandLog::append(QByteArrayView message) {
    if (!m_file.isOpen())
        return;
    // One write per line, so lines of a restarted simulator never interleave.
    m_line.resize(0);
    m_line.append(message).append('\n');
    m_file.write(m_line);
}
