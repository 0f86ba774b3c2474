#pragma once

#include <atomic>
#include <mutex>

// Lets another thread cut short the instrument call that a thread is blocked
// in. Waits on a descriptor also watch the token's own descriptor, which
// becomes readable once cancelled; a socket lent with Watch is shut down,
// which ends a call that blocks inside a library (an RPC). A cancelled token
// stays cancelled until its thread resets it.
//
// The thread that runs instrument calls installs its token; every other
// thread has none, so their waits cannot be cancelled and run as before.
class Cancellation {
public:
    Cancellation();
    ~Cancellation();
    Cancellation(const Cancellation &) = delete;
    Cancellation &operator=(const Cancellation &) = delete;

    // The calling thread's token, or nullptr.
    static Cancellation *current();
    // Makes this the calling thread's token, for as long as it lives.
    void install();

    // From any thread.
    void cancel();
    bool cancelled() const { return m_cancelled.load(std::memory_order_acquire); }
    // From the owning thread, between calls.
    void reset();
    // Readable once cancelled.
    int descriptor() const { return m_event; }

    // While it lives, a cancel shuts `socket` down.
    class Watch {
    public:
        explicit Watch(int socket);
        ~Watch();
        Watch(const Watch &) = delete;
        Watch &operator=(const Watch &) = delete;

    private:
        Cancellation *m_token;
    };

private:
    int m_event = -1;
    std::atomic<bool> m_cancelled{false};
    // Guards the flag and the descriptor's count as one, and the socket.
    std::mutex m_lock;
    int m_socket = -1;
};
