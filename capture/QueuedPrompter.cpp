#include "QueuedPrompter.h"

#include <QMetaObject>
#include <QObject>
#include <memory>
#include <mutex>
#include <optional>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

// Where the window's thread leaves the answer; its descriptor becomes
// readable once it is there. Shared, so an answer that comes after a Stop
// has somewhere to go.
class AnswerSlot {
public:
    AnswerSlot()
        : m_ready(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~AnswerSlot() { ::close(m_ready); }
    AnswerSlot(const AnswerSlot &) = delete;
    AnswerSlot &operator=(const AnswerSlot &) = delete;

    void give(Prompter::Answer answer) {
        {
            const std::lock_guard lock(m_lock);
            m_answer = answer;
        }
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(m_ready, &one, sizeof one);
    }
    std::optional<Prompter::Answer> answer() const {
        const std::lock_guard lock(m_lock);
        return m_answer;
    }
    int descriptor() const { return m_ready; }

private:
    int m_ready;
    mutable std::mutex m_lock;
    std::optional<Prompter::Answer> m_answer;
};

} // namespace

QueuedPrompter::QueuedPrompter(QObject &context, Prompter &window, const Cancellation &stop)
    : m_context(context)
    , m_window(window)
    , m_stop(stop) {}

void QueuedPrompter::close() {
    m_closed.cancel();
}

Prompter::Answer QueuedPrompter::ask(const QString &text, Buttons buttons, Icon icon) {
    auto slot = std::make_shared<AnswerSlot>();
    Prompter &window = m_window;
    QMetaObject::invokeMethod(
        &m_context,
        [slot, &window, text, buttons, icon] { slot->give(window.ask(text, buttons, icon)); },
        Qt::QueuedConnection);
    for (;;) {
        if (const auto answer = slot->answer())
            return *answer;
        if (m_stop.cancelled() || m_closed.cancelled())
            return Answer::Cancel;
        pollfd watched[3] = {{slot->descriptor(), POLLIN, 0},
                             {m_stop.descriptor(), POLLIN, 0},
                             {m_closed.descriptor(), POLLIN, 0}};
        ::poll(watched, 3, -1);
    }
}
