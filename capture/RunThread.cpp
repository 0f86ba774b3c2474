#include "RunThread.h"

#include "Cancellation.h"
#include "ExceptionText.h"

RunThread::RunThread(Cancellation &cancellation, std::function<void(const QString &what)> failed)
    : m_cancellation(cancellation)
    , m_failed(std::move(failed))
    , m_thread([this] { serve(); }) {}

RunThread::~RunThread() {
    {
        const std::lock_guard lock(m_lock);
        m_quitting = true;
    }
    m_posted.notify_one();
    m_thread.join();
}

void RunThread::post(Job job) {
    {
        const std::lock_guard lock(m_lock);
        m_queue.push_back(std::move(job));
    }
    m_posted.notify_one();
}

void RunThread::serve() {
    m_cancellation.install();
    std::unique_lock lock(m_lock);
    for (;;) {
        m_posted.wait(lock, [this] { return m_quitting || !m_queue.empty(); });
        if (m_queue.empty())
            return;
        Job job = std::move(m_queue.front());
        m_queue.pop_front();
        lock.unlock();
        try {
            job();
        } catch (...) {
            m_failed(describeCurrentException());
        }
        job = nullptr;
        lock.lock();
    }
}
