#include "WindowFont.h"

QFont windowFont(QFont base) {
    base.setPointSize(8);
    // Qt narrows a face that has no condensed cut of its own, so this
    // holds also where only the regular face is installed.
    base.setStretch(QFont::Condensed);
    return base;
}
