#pragma once

#include <QFile>

// The file that records every message the scope receives, one per line,
// exactly as received. Each line reaches the disk before the message is
// answered, so a reader never misses a command that was already answered.
class CommandLog {
public:
    // An empty path keeps no log.
    explicit CommandLog(const QString &path);

    bool isOpen() const { return m_file.isOpen(); }
    QString errorString() const { return m_file.errorString(); }
    void append(QByteArrayView message);

private:
    QFile m_file;
    QByteArray m_line;
};
