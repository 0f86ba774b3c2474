#pragma once

#include "IoExecutor.h"

// Runs each job at once on the caller's thread, so a test that scripts the
// instrument sees every call in order, without threads.
class InlineExecutor : public IoExecutor {
public:
    Ticket submit(Job job) override {
        job();
        return ++m_jobs;
    }
    bool finished(Ticket) const override { return true; }
    bool waitFinished(Ticket, std::chrono::milliseconds) override { return true; }
    void cancel(Ticket) override {}

private:
    Ticket m_jobs = 0;
};
