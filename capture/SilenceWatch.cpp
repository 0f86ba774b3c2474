#include "SilenceWatch.h"

#include "Run.h"
#include "StatusText.h"

using namespace std::chrono;

SilenceWatch::SilenceWatch(Run &run, const MonotonicClock &clock)
    : m_run(run)
    , m_clock(clock)
    , m_alarm([this] { watch(); }) {}

SilenceWatch::~SilenceWatch() {
    {
        const std::lock_guard lock(m_lock);
        m_quitting = true;
    }
    m_armed.notify_one();
    m_alarm.join();
}

void SilenceWatch::attempting() {
    const std::lock_guard lock(m_lock);
    if (!m_unansweredSince)
        m_unansweredSince = m_clock.now();
}

void SilenceWatch::answered() {
    const std::lock_guard lock(m_lock);
    if (!m_textBeforeSilence.isNull()) {
        m_run.setStatus(std::exchange(m_textBeforeSilence, QString()));
        tell(true);
    }
    m_unansweredSince.reset();
    m_alarmArmed = false;
}

void SilenceWatch::forget() {
    const std::lock_guard lock(m_lock);
    m_unansweredSince.reset();
    m_alarmArmed = false;
    m_textBeforeSilence = QString();
}

void SilenceWatch::watchWith(Watcher watcher) {
    const std::lock_guard lock(m_lock);
    m_watcher = std::move(watcher);
}

// Under the lock, while the silence is still timed.
void SilenceWatch::tell(bool answering) {
    if (m_watcher && m_unansweredSince)
        m_watcher(answering, duration_cast<milliseconds>(m_clock.now() - *m_unansweredSince));
}

void SilenceWatch::check() {
    {
        const std::lock_guard lock(m_lock);
        if (showIfDue() || !m_unansweredSince || m_alarmArmed)
            return;
        m_alarmArmed = true;
    }
    m_armed.notify_one();
}

// Under the lock: true once the text stands.
bool SilenceWatch::showIfDue() {
    if (!m_textBeforeSilence.isNull())
        return true;
    if (!m_unansweredSince || m_clock.now() - *m_unansweredSince < NotAnswering)
        return false;
    m_textBeforeSilence = m_run.status();
    m_run.setStatus(leadingNumber(m_textBeforeSilence) + QStringLiteral(": Scope not answering"));
    tell(false);
    return true;
}

void SilenceWatch::watch() {
    std::unique_lock lock(m_lock);
    for (;;) {
        m_armed.wait(lock, [this] { return m_quitting || m_alarmArmed; });
        if (m_quitting)
            return;
        // An alarm left armed by a retry that Stop cut short finds the run
        // over: the stopped text stays.
        if (!m_unansweredSince || m_run.stopped() || showIfDue()) {
            m_alarmArmed = false;
            continue;
        }
        // Sleeps until the text is due by the run's clock, or until an
        // answer or the end disarms it.
        const auto left = *m_unansweredSince + NotAnswering - m_clock.now();
        m_armed.wait_for(lock, std::max<steady_clock::duration>(left, milliseconds(1)),
                         [this] { return m_quitting || !m_alarmArmed; });
    }
}
