#pragma once

#include <QByteArray>
#include <QString>

// The run journal's file. Each line goes out in one write(2) on a descriptor
// opened for appending, with nothing held back in this process, so a crash
// loses at most the line being written and lines never interleave.
//
// At a run's start the file is made ready: a line a crash left torn is ended
// so the file stays valid CSV, a file grown past RotateBytes moves to
// journal.1.csv (older ones shift up, KeptOlder are kept), and a new file
// starts with the header.
class JournalFile {
public:
    static constexpr qint64 RotateBytes = 10'000'000;
    static constexpr int KeptOlder = 3;

    explicit JournalFile(QString path);
    ~JournalFile();
    JournalFile(const JournalFile &) = delete;
    JournalFile &operator=(const JournalFile &) = delete;

    // False when the file cannot be written; errorString() says why.
    bool open(QByteArrayView header);
    bool append(QByteArrayView line);
    void close();
    bool isOpen() const { return m_fd >= 0; }
    QString errorString() const { return m_error; }

private:
    // What ends a torn last line of a file whose records have `fields`
    // fields: a quote if it stops inside a quoted field, the missing
    // separators, and the line feed.
    static QByteArray endingFor(QByteArrayView tornLine, int fields);

    bool fail(const QString &what);
    bool openForAppending();
    bool endTornLine(int fields);
    void rotate() const;
    QString olderFile(int number) const;

    QString m_path;
    int m_fd = -1;
    QString m_error;
};
