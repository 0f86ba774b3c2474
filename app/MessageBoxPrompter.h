#pragma once

#include "Prompter.h"

// Message boxes shown to the user: the program's title, the text, the
// buttons asked for and, when asked for, a warning icon.
class MessageBoxPrompter : public Prompter {
public:
    Answer ask(const QString &text, Buttons buttons, Icon icon = Icon::None) override;
};
