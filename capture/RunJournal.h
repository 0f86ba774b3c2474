#pragma once

#include "JournalFile.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <mutex>

class Clock;

// What happened during the runs, one CSV line per event, in the journal
// file: time, run, acquisition, event, name, detail. The run is named by its
// start time. Writing it never holds a run up: a journal that cannot be
// written is skipped, and the failure is told once per run. Its members may
// be called from any thread; lines are written whole and in turn.
class RunJournal {
public:
    enum class Event {
        RunStarted,
        Acquired,
        Saved,
        Skipped,
        Refused,
        Unconfirmed,
        NotAnswering,
        AnsweringAgain,
        Reconnected,
        ScopeRestarted,
        RunEnded,
    };
    // No acquisition applies to the line.
    static constexpr qint64 NoAcquisition = 0;
    static constexpr char Header[] = "time,run,acquisition,event,name,detail\n";

    using FailureNotice = std::function<void(const QString &reason)>;
    // Hears of every event, whether or not the line could be written.
    using Observer = std::function<void(Event, const QString &detail)>;

    RunJournal(const QString &path, const Clock &clock);

    void setFailureNotice(FailureNotice notice) { m_failureNotice = std::move(notice); }
    void setObserver(Observer observer) { m_observer = std::move(observer); }

    // Opens the journal for a new run and records its start.
    void startRun(const QString &detail);
    void record(Event event, qint64 acquisition, const QString &name = {},
                const QString &detail = {});
    // Records the end and closes the journal until the next run.
    void endRun(qint64 acquisition, const QString &detail);

    static QString eventName(Event event);

private:
    // One CSV record: fields quoted where they hold a separator or a quote,
    // line breaks inside a field turned into blanks so a record is one line.
    static QByteArray csvLine(std::initializer_list<QByteArrayView> fields);
    void record(const QByteArray &time, Event event, qint64 acquisition, const QString &name,
                const QString &detail);
    void write(const QByteArray &line);

    std::mutex m_lock;
    JournalFile m_file;
    const Clock &m_clock;
    QByteArray m_run;
    bool m_failureTold = false;
    FailureNotice m_failureNotice;
    Observer m_observer;
};
