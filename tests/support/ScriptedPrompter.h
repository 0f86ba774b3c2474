#pragma once

#include "Prompter.h"

#include <QList>
#include <QStringList>
#include <functional>

// Answers message boxes from a queue and records what was asked. An empty
// queue answers with the first button (OK or Yes).
class ScriptedPrompter : public Prompter {
public:
    Answer ask(const QString &text, Buttons buttons, Icon icon = Icon::None) override {
        asked << text;
        icons << icon;
        if (onAsk)
            onAsk(text);
        if (!answers.isEmpty())
            return answers.takeFirst();
        return (buttons == Buttons::YesNo || buttons == Buttons::YesNoCancel) ? Answer::Yes
                                                                              : Answer::Ok;
    }

    QList<Answer> answers;
    QStringList asked;
    QList<Icon> icons;
    std::function<void(const QString &)> onAsk;
};
