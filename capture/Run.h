#pragma once

#include <QString>
#include <QtGlobal>
#include <mutex>

class Cancellation;
class RunView;

// The run's state in one place: which runs were started and which stopped,
// the acquisition number and the status text last posted. The window starts
// and stops runs and shows running() on its buttons; the run thread enters a
// run, checks stopped() and posts the status. Every member may be called
// from either thread.
//
// Runs are numbered in the order they were started. A Stop stops every run
// started so far, the one in progress and any queued behind it, so a Start
// clicked while an earlier run is still ending never revives that run.
class Run {
public:
    using Number = quint64;

    Run(RunView &view, Cancellation &stop);

    // A Start was accepted: the new run's number, for the run thread to enter.
    Number requestStart();
    // The window's Stop: ends the run in progress at its next check point,
    // and cuts its current wait short through the cancellation. `reason`
    // names it for the journal: "Stopped", or "Closed" for Close's.
    void requestStop(const QString &reason = QStringLiteral("Stopped"));
    // The reason given by the window's Stop that last stopped a run.
    QString stopReason() const;
    // The run thread's own Stop (Cancel, the limit, an error): ends the run
    // in progress only, never one started after it.
    void stopCurrent();
    // What the buttons show: a run was started and not stopped yet.
    bool running() const;

    // The run thread begins and ends a run; entering clears a cancellation
    // left over from an earlier one.
    void enter(Number run);
    void leave();
    // The run in progress was stopped, or none is in progress.
    bool stopped() const;
    // A run is in progress (stopped or not): Stop's commands then get more
    // than one attempt.
    bool inRun() const;
    // Once the run has seen its Stop: Stop's own commands may wait again.
    void clearCancellation();

    qint64 acquisition() const;
    void setAcquisition(qint64 acquisition);
    QString status() const;
    void setStatus(const QString &text);
    void addProgressDots(int count);

private:
    bool stoppedLocked() const { return m_current == 0 || m_current <= m_stoppedUpTo; }

    RunView &m_view;
    Cancellation &m_stop;
    mutable std::mutex m_lock;
    Number m_requested = 0;
    Number m_stoppedUpTo = 0;
    Number m_current = 0;
    qint64 m_acquisition = 0;
    QString m_status;
    QString m_stopReason;
};
