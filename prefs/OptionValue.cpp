#include "OptionValue.h"

#include <QRadioButton>

void setOptionValue(QRadioButton *button, bool selected) {
    if (selected) {
        button->setChecked(true);
        return;
    }
    // An auto-exclusive button refuses to be cleared while it is the selected
    // one of its pair.
    const bool exclusive = button->autoExclusive();
    button->setAutoExclusive(false);
    button->setChecked(false);
    button->setAutoExclusive(exclusive);
}
