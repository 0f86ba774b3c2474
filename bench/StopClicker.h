#pragma once

#include <QObject>
#include <atomic>
#include <chrono>
#include <optional>
#include <thread>

class frmMain;

// A user pressing Stop while a run is busy: the click is queued from another
// thread at a known moment, as the window system would deliver it, and the
// moment Start is enabled again is noted.
class StopClicker : public QObject {
public:
    explicit StopClicker(frmMain &window);
    ~StopClicker() override;

    // Queues a click on Stop this long from now.
    void clickAfter(std::chrono::milliseconds delay);
    bool armed() const { return m_thread.joinable(); }
    // Seconds from the click to idle buttons; nullopt until both happened.
    std::optional<double> latency() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    using Clock = std::chrono::steady_clock;

    frmMain &m_window;
    std::thread m_thread;
    std::atomic<Clock::rep> m_clickedAt{0};
    Clock::rep m_idleAt = 0;
};
