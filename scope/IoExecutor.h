#pragma once

#include <QtGlobal>
#include <chrono>
#include <functional>

// Where calls on the instrument run: on a thread of their own in the program
// (IoThread), so the window stays alive while the instrument takes its time.
// Jobs run one at a time in the order they were submitted, so two calls never
// share the wire.
class IoExecutor {
public:
    using Job = std::function<void()>;
    using Ticket = quint64;

    virtual ~IoExecutor() = default;

    virtual Ticket submit(Job job) = 0;
    // The job has run to its end.
    virtual bool finished(Ticket ticket) const = 0;
    // Blocks until the job has finished or `limit` has passed; true if it has.
    virtual bool waitFinished(Ticket ticket, std::chrono::milliseconds limit) = 0;
    // Cuts the job short if it is running: its waits on the instrument end as
    // failures. A job that has not started yet, or has ended, is left alone.
    virtual void cancel(Ticket ticket) = 0;
};
