#include "RunJournal.h"

#include "Clock.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace {

// ISO 8601 local time with milliseconds and the offset from UTC, built by
// hand: this runs once per event on the run's own thread.
QByteArray isoTime(const QDateTime &time) {
    const QDate date = time.date();
    const QTime clock = time.time();
    const int offset = time.offsetFromUtc() / 60;
    char text[40];
    const int length = std::snprintf(
        text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d", date.year(),
        date.month(), date.day(), clock.hour(), clock.minute(), clock.second(), clock.msec(),
        offset < 0 ? '-' : '+', std::abs(offset) / 60, std::abs(offset) % 60);
    return QByteArray(text, length);
}

void appendField(QByteArray &line, QByteArrayView field) {
    bool quote = false;
    for (const char c : field)
        quote = quote || c == ',' || c == '"' || c == '\n' || c == '\r';
    if (!quote) {
        line += field;
        return;
    }
    line += '"';
    for (const char c : field) {
        if (c == '"')
            line += "\"\"";
        else
            line += (c == '\n' || c == '\r') ? ' ' : c;
    }
    line += '"';
}

} // namespace

RunJournal::RunJournal(const QString &path, const Clock &clock)
    : m_file(path)
    , m_clock(clock) {}

QString RunJournal::eventName(Event event) {
    switch (event) {
    case Event::RunStarted:
        return QStringLiteral("run-started");
    case Event::Acquired:
        return QStringLiteral("acquired");
    case Event::Saved:
        return QStringLiteral("saved");
    case Event::Skipped:
        return QStringLiteral("skipped");
    case Event::Refused:
        return QStringLiteral("refused");
    case Event::Unconfirmed:
        return QStringLiteral("unconfirmed");
    case Event::NotAnswering:
        return QStringLiteral("not-answering");
    case Event::AnsweringAgain:
        return QStringLiteral("answering-again");
    case Event::Reconnected:
        return QStringLiteral("reconnected");
    case Event::ScopeRestarted:
        return QStringLiteral("scope-restarted");
    case Event::RunEnded:
        return QStringLiteral("run-ended");
    }
    return QString();
}

QByteArray RunJournal::csvLine(std::initializer_list<QByteArrayView> fields) {
    QByteArray line;
    line.reserve(160);
    bool first = true;
    for (const QByteArrayView field : fields) {
        if (!std::exchange(first, false))
            line += ',';
        appendField(line, field);
    }
    line += '\n';
    return line;
}

void RunJournal::startRun(const QString &detail) {
    const std::lock_guard lock(m_lock);
    m_run = isoTime(m_clock.now());
    m_failureTold = false;
    if (!m_file.open(Header) && m_failureNotice) {
        m_failureTold = true;
        m_failureNotice(m_file.errorString());
    }
    // The first line's time is the run's name.
    record(m_run, Event::RunStarted, NoAcquisition, {}, detail);
}

void RunJournal::record(Event event, qint64 acquisition, const QString &name,
                        const QString &detail) {
    const std::lock_guard lock(m_lock);
    record(isoTime(m_clock.now()), event, acquisition, name, detail);
}

void RunJournal::record(const QByteArray &time, Event event, qint64 acquisition,
                        const QString &name, const QString &detail) {
    if (m_file.isOpen()) {
        const QByteArray number =
            acquisition == NoAcquisition ? QByteArray() : QByteArray::number(acquisition);
        write(csvLine(
            {time, m_run, number, eventName(event).toLatin1(), name.toUtf8(), detail.toUtf8()}));
    }
    if (m_observer)
        m_observer(event, detail);
}

void RunJournal::write(const QByteArray &line) {
    if (m_file.append(line) || m_failureTold)
        return;
    m_failureTold = true;
    if (m_failureNotice)
        m_failureNotice(m_file.errorString());
}

void RunJournal::endRun(qint64 acquisition, const QString &detail) {
    const std::lock_guard lock(m_lock);
    record(isoTime(m_clock.now()), Event::RunEnded, acquisition, {}, detail);
    m_file.close();
    m_run.clear();
}
