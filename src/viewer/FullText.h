#pragma once

#include <QString>

class HistoryRecord;

// What the history window shows of a record. A record holds only what code page 932 can, in
// fields of a fixed width; where a field lost characters (it reads "〓" for them) or was cut, the
// text comes from the mail's original, whole. Records without an original show as stored.
namespace FullText {

struct Shown
{
    QString subject, address, date, body; // trimmed, as the boxes show them
};

// The fields of record `n` of history `history` (1 received, 2 sent). A record read with only
// its heading gives an empty body.
Shown shown(int history, int n, const HistoryRecord &record);

// The text a field stands for, given the mail's own text: each "〓" of `stored` becomes the
// character it replaced, a field that was cut (`cut`) goes on to the end of `original`, and
// what the field holds after the mail's text (the program's notes) is kept. `stored` itself when
// the two do not match.
QString restore(const QString &stored, bool cut, const QString &original);

} // namespace FullText
