#include "IoThread.h"

#include "Cancellation.h"

#include <QAbstractEventDispatcher>
#include <QThread>

using namespace std::chrono;

namespace {

// Handing a call to a sleeping thread and back costs two wake-ups, which on a
// virtual machine take tens of microseconds each, more than a call on a quick
// link. Both sides therefore look for the other for this long before they
// sleep: the caller for the end of a quick call, the I/O thread for the next
// call of a run that sends them back to back.
constexpr microseconds SpinFor{100};

template <typename Done> bool spinUntil(Done done) {
    const auto end = steady_clock::now() + SpinFor;
    while (!done()) {
        if (steady_clock::now() >= end)
            return false;
        std::this_thread::yield();
    }
    return true;
}

} // namespace

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
    return ticket <= m_lastFinished.load(std::memory_order_acquire);
}

bool IoThread::waitFinished(Ticket ticket, std::chrono::milliseconds limit) {
    if (spinUntil([&] { return finished(ticket); }))
        return true;
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
        if (m_queue.empty() && !m_quitting) {
            const Ticket last = m_lastFinished;
            lock.unlock();
            spinUntil([&] { return m_lastSubmitted.load(std::memory_order_acquire) > last; });
            lock.lock();
        }
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
        m_lastFinished.store(next.ticket, std::memory_order_release);
        m_changed.notify_all();
        if (next.wake)
            next.wake->wakeUp();
    }
    m_token = nullptr;
}
