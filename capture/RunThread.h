#pragma once

#include <QString>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class Cancellation;

// The thread that owns the instrument: start-up's search, every run with its
// Stop, and Close's Stop run here as jobs, one at a time in the order they
// were posted, each calling the instrument directly. Its cancellation is
// installed for the thread, so a Stop ends any wait of the link as well as
// the run's own pauses.
//
// A job that throws does not end the thread or the program: `failed` is told
// what went wrong and the next job runs. Jobs still queued when it is
// destroyed run first, since they may put the scope back in a state the user
// asked for.
class RunThread {
public:
    using Job = std::function<void()>;

    RunThread(Cancellation &cancellation, std::function<void(const QString &what)> failed);
    ~RunThread();
    RunThread(const RunThread &) = delete;
    RunThread &operator=(const RunThread &) = delete;

    void post(Job job);

private:
    void serve();

    Cancellation &m_cancellation;
    std::function<void(const QString &)> m_failed;
    std::mutex m_lock;
    std::condition_variable m_posted;
    std::deque<Job> m_queue;
    bool m_quitting = false;
    std::thread m_thread;
};
