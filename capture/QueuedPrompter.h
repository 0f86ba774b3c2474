#pragma once

#include "Cancellation.h"
#include "Prompter.h"

class QObject;

// Message boxes asked from the run thread: `window` asks on the thread of
// `context` (the window's), while the run thread sleeps until the answer
// comes. A Stop meanwhile ends the sleep at once and counts as Cancel; the
// answer given later is then dropped. Once closed (the window is going), a
// question is answered Cancel at once.
class QueuedPrompter : public Prompter {
public:
    QueuedPrompter(QObject &context, Prompter &window, const Cancellation &stop);

    Answer ask(const QString &text, Buttons buttons, Icon icon = Icon::None) override;
    // From the window's thread, before it stops taking events.
    void close();

private:
    QObject &m_context;
    Prompter &m_window;
    const Cancellation &m_stop;
    Cancellation m_closed;
};
