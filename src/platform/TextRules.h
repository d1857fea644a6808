#pragma once

#include <QString>
#include <QtGlobal>

// The small text and number rules that the whole program shares.
namespace TextRules {

// The part of a text before its first NUL, or the whole text.
QString CutAtNul(const QString &text);
// Removes leading and trailing ASCII spaces (0x20) only; tabs and line breaks stay.
QString trimSpaces(const QString &text);
// The leading-number parse: leading blanks skipped, the longest leading decimal number
// (sign, digits, fraction, exponent) taken, 0 when there is none.
double leadingNumber(const QString &text);
// True when the text, apart from surrounding blanks, is a decimal number as a whole.
bool isWholeNumber(const QString &text);
// Rounds to the nearest integer with halves going to the even neighbour, kept within 16 bits.
qint16 roundHalfEvenToInt16(double value);
// The same, without the 16-bit limit.
qint64 roundHalfEven(double value);

} // namespace TextRules
