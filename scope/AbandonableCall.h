#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

// Runs a call into code that may never return (a vendor's library) on a
// thread of its own, and waits for it no longer than `limit`. A call still
// running then is abandoned: its thread runs on, detached, so the call must
// own everything it touches. A result that comes after it was given up on is
// handed to `discard`, so that what it holds can be released.
template <typename Result>
std::optional<Result> abandonableCall(std::chrono::milliseconds limit, std::function<Result()> call,
                                      std::function<void(Result &)> discard = {}) {
    struct Handoff {
        std::mutex mutex;
        std::condition_variable finished;
        std::optional<Result> result;
        bool abandoned = false;
    };
    const auto handoff = std::make_shared<Handoff>();
    std::thread([handoff, call = std::move(call), discard = std::move(discard)] {
        Result result = call();
        std::unique_lock lock(handoff->mutex);
        if (!handoff->abandoned) {
            handoff->result = std::move(result);
            handoff->finished.notify_one();
        } else if (discard) {
            lock.unlock();
            discard(result);
        }
    }).detach();
    std::unique_lock lock(handoff->mutex);
    if (!handoff->finished.wait_for(lock, limit, [&] { return handoff->result.has_value(); })) {
        handoff->abandoned = true;
        return std::nullopt;
    }
    return std::move(handoff->result);
}
