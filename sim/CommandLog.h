#pragma once

#include <QFile>

// The file that records every message the scope receives, one per line,
// exactly as received. Each line reaches the disk before the message is
// answered, so a reader never misses a command that was already answered.
//
// With timestamps each line starts with the CLOCK_MONOTONIC time in
// microseconds and a kind: "<us> > <message>" for a received message,
// "<us> * <event>" for the scope's own events, which a plain log leaves out.
class CommandLog {
public:
    // An empty path keeps no log.
    explicit CommandLog(const QString &path, bool timestamps = false);

    bool isOpen() const { return m_file.isOpen(); }
    QString errorString() const { return m_file.errorString(); }
    void append(QByteArrayView message);
    // An event that happened at `atUs`, which may be before it is noticed.
    void appendEvent(QByteArrayView event, qint64 atUs);

private:
    void write(char kind, QByteArrayView text, qint64 atUs);

    QFile m_file;
    const bool m_timestamps;
    QByteArray m_line;
};
