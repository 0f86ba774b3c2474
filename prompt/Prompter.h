#pragma once

#include <QString>

// Message boxes, the program's only way to tell the user something. Behind an
// interface so tests answer them without a person.
class Prompter {
public:
    enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel };
    enum class Icon { None, Warning };
    enum class Answer { Ok, Cancel, Yes, No };

    virtual ~Prompter() = default;
    virtual Answer ask(const QString &text, Buttons buttons, Icon icon = Icon::None) = 0;
};
