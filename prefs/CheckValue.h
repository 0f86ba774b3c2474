#pragma once

class QCheckBox;

// Check boxes hold 0 (unchecked), 1 (checked) or 2 (greyed). Greyed comes only
// from the settings store; a click on a greyed box checks it, and after that
// the box toggles between the two plain states again.
int checkValue(const QCheckBox *box);
void setCheckValue(QCheckBox *box, int value);
