#pragma once

#include <QString>

// A desktop notification through org.freedesktop.Notifications on the
// session bus. The call goes out without waiting for an answer: where no
// bus or no notification service runs, nothing happens and nothing waits.
class DesktopNotifier {
public:
    void notify(const QString &summary, const QString &body);
};
