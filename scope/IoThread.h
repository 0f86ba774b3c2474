#pragma once

#include "IoExecutor.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

class Cancellation;
class QAbstractEventDispatcher;

// The thread that every call on the instrument runs on. When a job ends, the
// event loop of the thread that submitted it is woken, so a caller waiting
// for it in that loop learns at once. A job's blocking waits can be cut short
// with cancel(); Cancellation::current() is the job's token.
//
// Jobs still queued when it is destroyed run first: they may put the scope
// back in a state the user asked for.
class IoThread : public IoExecutor {
public:
    IoThread();
    ~IoThread() override;
    IoThread(const IoThread &) = delete;
    IoThread &operator=(const IoThread &) = delete;

    Ticket submit(Job job) override;
    bool finished(Ticket ticket) const override;
    bool waitFinished(Ticket ticket, std::chrono::milliseconds limit) override;
    void cancel(Ticket ticket) override;

private:
    struct Queued {
        Ticket ticket;
        Job job;
        QAbstractEventDispatcher *wake;
    };

    void serve();

    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<Queued> m_queue;
    Ticket m_running = 0;
    // Changed under the lock; read without it by a side that looks for the
    // other. Jobs finish in order: every ticket up to m_lastFinished has.
    std::atomic<Ticket> m_lastSubmitted{0};
    std::atomic<Ticket> m_lastFinished{0};
    bool m_quitting = false;
    Cancellation *m_token = nullptr;
    std::thread m_thread;
};
