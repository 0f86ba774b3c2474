#pragma once

#include "RunView.h"

#include <QStringList>
#include <functional>

// The window as the run sees it: records every status text posted and lets a
// test act on a text, as a user watching the status line would.
class FakeRunView : public RunView {
public:
    void showStatus(const QString &text) override {
        texts << text;
        if (onStatus)
            onStatus(text);
    }
    void showRunState() override {}

    QStringList texts;
    std::function<void(const QString &)> onStatus;
};
