#pragma once

#include <QString>

// The number a status text starts with (leading blanks skipped), in plain
// decimal; "0" when it has none. Run texts start with the acquisition number.
QString leadingNumber(const QString &status);

// `status` with `count` progress dots appended one at a time; whenever ten
// stand in a row the last nine characters go, so the row cycles from one to
// nine dots.
QString withProgressDots(QString status, int count);
