#include "StopClicker.h"

#include "frmMain.h"

#include <QEvent>
#include <QPushButton>
#include <QTest>

StopClicker::StopClicker(frmMain &window)
    : m_window(window) {
    m_window.cbStart->installEventFilter(this);
}

StopClicker::~StopClicker() {
    if (m_thread.joinable())
        m_thread.join();
    m_window.cbStart->removeEventFilter(this);
}

void StopClicker::clickAfter(std::chrono::milliseconds delay) {
    m_thread = std::thread([this, delay] {
        std::this_thread::sleep_for(delay);
        m_clickedAt = Clock::now().time_since_epoch().count();
        QPushButton *stop = m_window.cbStop;
        QMetaObject::invokeMethod(
            stop, [stop] { QTest::mouseClick(stop, Qt::LeftButton); }, Qt::QueuedConnection);
    });
}

std::optional<double> StopClicker::latency() const {
    const Clock::rep clicked = m_clickedAt;
    if (clicked == 0 || m_idleAt < clicked)
        return std::nullopt;
    return std::chrono::duration<double>(Clock::duration(m_idleAt - clicked)).count();
}

bool StopClicker::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::EnabledChange && m_window.cbStart->isEnabled() && m_idleAt == 0)
        m_idleAt = Clock::now().time_since_epoch().count();
    return QObject::eventFilter(watched, event);
}
