#pragma once

#include <QString>

// The number a status text starts with (leading blanks skipped), in plain
// decimal; "0" when it has none. Run texts start with the acquisition number.
QString leadingNumber(const QString &status);
