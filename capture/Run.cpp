#include "Run.h"

#include "Cancellation.h"
#include "RunView.h"
#include "StatusText.h"

Run::Run(RunView &view, Cancellation &stop)
    : m_view(view)
    , m_stop(stop) {}

Run::Number Run::requestStart() {
    Number run = 0;
    {
        const std::lock_guard lock(m_lock);
        run = ++m_requested;
    }
    m_view.showRunState();
    return run;
}

void Run::requestStop(const QString &reason) {
    {
        const std::lock_guard lock(m_lock);
        if (m_stoppedUpTo == m_requested)
            return;
        m_stopReason = reason;
        // Under the lock, so the cancel cannot reach a run entered after it.
        if (!stoppedLocked())
            m_stop.cancel();
        m_stoppedUpTo = m_requested;
    }
    m_view.showRunState();
}

void Run::stopCurrent() {
    {
        const std::lock_guard lock(m_lock);
        if (stoppedLocked())
            return;
        m_stoppedUpTo = m_current;
    }
    m_view.showRunState();
}

QString Run::stopReason() const {
    const std::lock_guard lock(m_lock);
    return m_stopReason;
}

bool Run::running() const {
    const std::lock_guard lock(m_lock);
    return m_requested > m_stoppedUpTo;
}

void Run::enter(Number run) {
    const std::lock_guard lock(m_lock);
    m_current = run;
    m_acquisition = 0;
    m_stop.reset();
}

void Run::leave() {
    const std::lock_guard lock(m_lock);
    m_current = 0;
}

bool Run::stopped() const {
    const std::lock_guard lock(m_lock);
    return stoppedLocked();
}

bool Run::inRun() const {
    const std::lock_guard lock(m_lock);
    return m_current != 0;
}

void Run::clearCancellation() {
    const std::lock_guard lock(m_lock);
    // No Stop cancels a stopped run again, so nothing is lost here.
    if (stoppedLocked())
        m_stop.reset();
}

qint64 Run::acquisition() const {
    const std::lock_guard lock(m_lock);
    return m_acquisition;
}

void Run::setAcquisition(qint64 acquisition) {
    const std::lock_guard lock(m_lock);
    m_acquisition = acquisition;
}

QString Run::status() const {
    const std::lock_guard lock(m_lock);
    return m_status;
}

void Run::setStatus(const QString &text) {
    {
        const std::lock_guard lock(m_lock);
        m_status = text;
    }
    m_view.showStatus(text);
}

void Run::addProgressDots(int count) {
    if (count <= 0)
        return;
    QString text;
    {
        const std::lock_guard lock(m_lock);
        m_status = withProgressDots(m_status, count);
        text = m_status;
    }
    m_view.showStatus(text);
}
