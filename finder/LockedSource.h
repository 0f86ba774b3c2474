#pragma once

#include "ResourceSource.h"

#include <memory>
#include <mutex>

// A source whose listing and opening take turns with those of every other
// source sharing the lock: the survey asks from several threads, and a
// vendor library's bookkeeping is not made for that.
class LockedSource : public ResourceSource {
public:
    LockedSource(std::shared_ptr<ResourceSource> source, std::shared_ptr<std::mutex> lock)
        : m_source(std::move(source))
        , m_lock(std::move(lock)) {}

    std::optional<QStringList> descriptors() override {
        const std::lock_guard hold(*m_lock);
        return m_source->descriptors();
    }

    std::unique_ptr<Transport> open(const QString &descriptor) override {
        const std::lock_guard hold(*m_lock);
        return m_source->open(descriptor);
    }

private:
    std::shared_ptr<ResourceSource> m_source;
    std::shared_ptr<std::mutex> m_lock;
};
