#include "JournalFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Records are one physical line each, so the torn one lies within this
// much of the end.
constexpr qint64 TailBytes = 64 * 1024;

QString systemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

JournalFile::JournalFile(QString path)
    : m_path(std::move(path)) {}

JournalFile::~JournalFile() {
    close();
}

bool JournalFile::fail(const QString &what) {
    m_error =
        QStringLiteral("%1 %2: %3").arg(what, QDir::toNativeSeparators(m_path), systemError());
    return false;
}

QString JournalFile::olderFile(int number) const {
    QString name = m_path;
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return name.insert(dot < 0 ? name.size() : dot, QLatin1Char('.') + QString::number(number));
}

void JournalFile::rotate() const {
    QFile::remove(olderFile(KeptOlder));
    for (int number = KeptOlder - 1; number >= 1; --number)
        QFile::rename(olderFile(number), olderFile(number + 1));
    QFile::rename(m_path, olderFile(1));
}

bool JournalFile::open(QByteArrayView header) {
    close();
    if (!QDir().mkpath(QFileInfo(m_path).absolutePath()))
        return fail(QStringLiteral("cannot make the folder of"));
    const int fields = int(header.count(',')) + 1;
    const qint64 size = QFileInfo(m_path).size();
    // An older file is ended too before it moves aside.
    if (size > 0 && !(openForAppending() && endTornLine(fields)))
        return false;
    if (size > 0 && size <= RotateBytes)
        return true;
    if (size > 0) {
        close();
        rotate();
    }
    return openForAppending() && append(header);
}

bool JournalFile::openForAppending() {
    if (m_fd >= 0)
        return true;
    m_fd = ::open(QFile::encodeName(m_path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC,
                  0644);
    return m_fd >= 0 || fail(QStringLiteral("cannot open"));
}

bool JournalFile::endTornLine(int fields) {
    const int reader = ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_CLOEXEC);
    if (reader < 0)
        return fail(QStringLiteral("cannot read"));
    const off_t size = ::lseek(reader, 0, SEEK_END);
    const off_t from = std::max<off_t>(0, size - TailBytes);
    QByteArray tail(qsizetype(size - from), '\0');
    const ssize_t got = ::pread(reader, tail.data(), size_t(tail.size()), from);
    ::close(reader);
    if (got != ssize_t(tail.size()))
        return fail(QStringLiteral("cannot read"));
    if (tail.endsWith('\n'))
        return true;
    return append(endingFor(QByteArrayView(tail).sliced(tail.lastIndexOf('\n') + 1), fields));
}

QByteArray JournalFile::endingFor(QByteArrayView tornLine, int fields) {
    bool quoted = false;
    int separators = 0;
    for (const char c : tornLine) {
        if (c == '"')
            quoted = !quoted;
        else if (c == ',' && !quoted)
            ++separators;
    }
    QByteArray ending;
    if (quoted)
        ending += '"';
    ending += QByteArray(std::max(0, fields - 1 - separators), ',');
    ending += '\n';
    return ending;
}

bool JournalFile::append(QByteArrayView line) {
    if (m_fd < 0)
        return false;
    ssize_t written;
    do
        written = ::write(m_fd, line.data(), size_t(line.size()));
    while (written < 0 && errno == EINTR);
    if (written == ssize_t(line.size()))
        return true;
    // A short write (a full disk) leaves a torn line, which the next start ends.
    if (written >= 0)
        errno = ENOSPC;
    return fail(QStringLiteral("cannot write to"));
}

void JournalFile::close() {
    if (m_fd >= 0)
        ::close(std::exchange(m_fd, -1));
}
