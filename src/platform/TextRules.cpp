#include "TextRules.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace TextRules {

QString CutAtNul(const QString &text)
{
    const qsizetype nul = text.indexOf(QChar(0));
    return nul < 0 ? text : text.left(nul);
}

QString trimSpaces(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ')
        ++begin;
    while (end > begin && text[end - 1] == u' ')
        --end;
    return text.mid(begin, end - begin);
}

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

// Length of the number at `pos`, or 0 when none starts there.
qsizetype numberLength(const QString &text, qsizetype pos)
{
    qsizetype i = pos;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    qsizetype digits = 0;
    while (i < text.size() && text[i].isDigit() && text[i].unicode() < 128) {
        ++i;
        ++digits;
    }
    if (i < text.size() && text[i] == u'.') {
        qsizetype j = i + 1;
        qsizetype fraction = 0;
        while (j < text.size() && text[j].unicode() >= '0' && text[j].unicode() <= '9') {
            ++j;
            ++fraction;
        }
        if (digits + fraction > 0) {
            i = j;
            digits += fraction;
        }
    }
    if (digits == 0)
        return 0;
    if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
        qsizetype j = i + 1;
        if (j < text.size() && (text[j] == u'+' || text[j] == u'-'))
            ++j;
        qsizetype exponent = 0;
        while (j < text.size() && text[j].unicode() >= '0' && text[j].unicode() <= '9') {
            ++j;
            ++exponent;
        }
        if (exponent > 0)
            i = j;
    }
    return i - pos;
}

} // namespace

double leadingNumber(const QString &text)
{
    qsizetype pos = 0;
    while (pos < text.size() && isBlank(text[pos]))
        ++pos;
    const qsizetype length = numberLength(text, pos);
    if (length == 0)
        return 0.0;
    bool ok = false;
    const double value = text.mid(pos, length).toDouble(&ok);
    return ok ? value : 0.0;
}

bool isWholeNumber(const QString &text)
{
    qsizetype pos = 0;
    while (pos < text.size() && isBlank(text[pos]))
        ++pos;
    qsizetype end = pos + numberLength(text, pos);
    if (end == pos)
        return false;
    while (end < text.size() && isBlank(text[end]))
        ++end;
    return end == text.size();
}

qint64 roundHalfEven(double value)
{
    if (std::isnan(value))
        return 0;
    constexpr double limit = 9.0e18;
    if (value > limit)
        return qint64(limit);
    if (value < -limit)
        return -qint64(limit);
    return qint64(std::nearbyint(value)); // the default rounding mode rounds halves to even
}

qint16 roundHalfEvenToInt16(double value)
{
    const qint64 rounded = roundHalfEven(value);
    return qint16(std::clamp<qint64>(rounded, std::numeric_limits<qint16>::min(),
                                     std::numeric_limits<qint16>::max()));
}

} // namespace TextRules
