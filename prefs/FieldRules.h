#pragma once

#include <QChar>
#include <QString>

// The input rules of the preference boxes, free of any widget. A keystroke
// rule gets one typed character and returns the character to insert, or a
// null QChar to drop the keystroke.
namespace FieldRules {

QChar digitFilter(QChar typed);
QChar prefixFilter(QChar typed);
QChar slashTurn(QChar typed);

// Makes a non-empty path end in "\" and turns every "/" into "\".
QString normalizePath(const QString &text);

// The leading number of a text: blanks, tabs and line feeds are skipped
// anywhere, a text without digits is 0, an overflow gives the largest finite
// value with its sign.
double numericValue(const QString &text);

// Decimal form with one leading blank for a value that is not negative, no zero
// before the point, exponent form beyond 15 digits (" 10", " .5", "-3",
// " 1.11111111111111E+15").
QString plainNumberForm(double value);

// What the acquisition limit box holds after it loses the focus: its number in
// plain form, and never 0.
QString acqLimitFixUp(const QString &text);

QString delayDisplayText(int delay);

} // namespace FieldRules
