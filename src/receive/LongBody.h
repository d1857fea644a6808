#pragma once

#include <QString>
#include <QStringList>

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

// The parts of fit(), for a caller that names and places the file itself.

// Whether `body` is too long for the field.
bool needsFile(const QString &body);
// The `n`th name for a file written now: "受信本文_<date>_<time>.txt", then "..._2.txt", ...
QString fileName(const QString &stamp, qint64 n);
QString stampNow();
// The stored body when the whole text is in `fileName`: its beginning and the note.
QString shortened(const QString &body, const QString &fileName);
// Writes the whole text as a new file (never replacing one); false with the reason in `error`.
bool writeText(const QString &path, const QString &body, QString *error);

// The file a stored body names in its note; empty when it names none. Only a plain name of the
// form fit() gives is taken, never a path.
QString namedFile(const QString &storedBody);
// The files the records of a history file name, read from the ends of their bodies.
QStringList namedFiles(const QString &historyFile);

} // namespace LongBody
