#pragma once

#include <QString>

#include <optional>

// A received mail text longer than the history record's body field is not cut silently: the
// whole text is kept as a file in the attachment folder and the stored body names that file.
namespace LongBody {

// Bytes of the body field of a history record.
constexpr int FieldBytes = 32000;

struct Fitted
{
    QString body;         // what goes into the record; fits the field
    QString fullTextFile; // the file that holds the whole text, empty when none was needed
};

// `body` as it can be stored. When its code page 932 form does not fit the field, the whole
// text is written in UTF-8 to a new file in `folder` (an existing file is never
// replaced) and the stored body is the text's beginning followed by a note naming the file.
// Nothing, with the reason in `error`, when that file cannot be written.
std::optional<Fitted> fit(const QString &body, const QString &folder, QString *error);

// The note that ends a shortened body.
QString note(const QString &fileName);

} // namespace LongBody
