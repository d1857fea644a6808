#pragma once

#include <QByteArray>
#include <QString>

// The work file through which a received mail goes to the attachment decoding: the header line
// and the body, written in code page 932 and read back as one mail text.
namespace WorkFile {

// Creates or replaces the file with the header and the body, each followed by CR LF. False, with
// the reason in `error`, when the file cannot be written completely.
bool write(const QString &path, const QByteArray &header, const QByteArray &body, QString *error);

// The file's lines (a line ends at CR or at CR LF; a lone LF stays inside its line), each
// followed by CR LF, and one NUL at the end. A missing file gives just the NUL.
QByteArray readMailText(const QString &path);

// The same rule applied to bytes in memory.
QByteArray joinLines(const QByteArray &bytes);

} // namespace WorkFile
