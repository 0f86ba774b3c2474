#include "StallProbe.h"

#include <algorithm>
#include <chrono>
#include <future>
#include <memory>

using namespace std::chrono;

namespace {

long long nowNs() {
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

StallProbe::StallProbe(QObject &target)
    : m_target(target)
    , m_thread([this] { run(); }) {}

StallProbe::~StallProbe() {
    m_stop = true;
    m_thread.join();
}

double StallProbe::longestSeconds() const {
    const long long pending = m_pendingSinceNs;
    const long long waiting = pending == 0 ? 0 : nowNs() - pending;
    return double(std::max<long long>(m_longestNs, waiting)) / 1e9;
}

void StallProbe::run() {
    while (!m_stop) {
        auto ran = std::make_shared<std::promise<void>>();
        std::future<void> done = ran->get_future();
        const long long posted = nowNs();
        m_pendingSinceNs = posted;
        QMetaObject::invokeMethod(
            &m_target, [ran] { ran->set_value(); }, Qt::QueuedConnection);
        while (!m_stop && done.wait_for(milliseconds(5)) != std::future_status::ready) {
        }
        if (m_stop)
            return;
        m_pendingSinceNs = 0;
        const long long waited = nowNs() - posted;
        m_longestNs = std::max<long long>(m_longestNs, waited);
        std::this_thread::sleep_for(milliseconds(2));
    }
}
