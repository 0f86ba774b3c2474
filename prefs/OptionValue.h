#pragma once

class QRadioButton;

// Selects or clears one option button. Clearing works also on the selected
// button of an exclusive pair, so a stored set can leave a pair with neither.
void setOptionValue(QRadioButton *button, bool selected);
