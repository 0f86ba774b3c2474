#include "IoThread.h"

#include "Cancellation.h"

#include <QAbstractEventDispatcher>
#include <QThread>

IoThread::IoThread() {
    std::unique_lock lock(m_lock);
    m_thread = std::thread([this] { serve(); });
    m_changed.wait(lock, [this] { return m_token != nullptr; });
}

IoThread::~IoThread() {
    {
        const std::lock_guard lock(m_lock);
        m_quitting = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

IoExecutor::Ticket IoThread::submit(Job job) {
    Ticket ticket = 0;
    {
        const std::lock_guard lock(m_lock);
        ticket = ++m_lastSubmitted;
        m_queue.push_back({ticket, std::move(job), QThread::currentThread()->eventDispatcher()});
    }
    m_changed.notify_all();
    return ticket;
}

bool IoThread::finished(Ticket ticket) const {
    const std::lock_guard lock(m_lock);
    return ticket <= m_lastFinished;
}

bool IoThread::waitFinished(Ticket ticket, std::chrono::milliseconds limit) {
    std::unique_lock lock(m_lock);
    return m_changed.wait_for(lock, limit, [&] { return ticket <= m_lastFinished; });
}

void IoThread::cancel(Ticket ticket) {
    const std::lock_guard lock(m_lock);
    // Under the lock, so the cancel cannot reach the job after this one.
    if (m_running == ticket)
        m_token->cancel();
}

void IoThread::serve() {
    Cancellation token;
    token.install();
    std::unique_lock lock(m_lock);
    m_token = &token;
    m_changed.notify_all();
    for (;;) {
        m_changed.wait(lock, [this] { return m_quitting || !m_queue.empty(); });
        if (m_queue.empty())
            break;
        Queued next = std::move(m_queue.front());
        m_queue.pop_front();
        token.reset();
        m_running = next.ticket;
        lock.unlock();
        next.job();
        next.job = nullptr;
        lock.lock();
        m_running = 0;
        m_lastFinished = next.ticket;
        m_changed.notify_all();
        if (next.wake)
            next.wake->wakeUp();
    }
    m_token = nullptr;
}
