#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>

// The transfer encodings and text forms of mail, free of any MIME parser.
namespace MimeCodecs {

// Plain base64 (the alphabet, line ends and blanks, padding only at the end) decoded in one
// pass. False for anything else, which callers leave to a more forgiving decoder. A last group
// without its padding is read as if padded.
bool decodeBase64(const char *text, size_t size, QByteArray &out);
// Base64 in lines of 76 characters, each ended by CRLF; appended to `out` without a copy of
// the whole encoding in between (attachments can be large).
QByteArray base64Lines(const QByteArray &data);
void appendBase64Lines(QByteArray &out, const QByteArray &data);

// Quoted-printable decoded; soft line breaks removed, a malformed "=" kept as it is.
QByteArray decodeQuotedPrintable(const QByteArray &in);

// Line ends (CR, LF or CRLF) made CRLF. Always a copy of its own: `in` may be a view into a mail.
QByteArray toCrlf(const QByteArray &in);
QString crlfLines(const QString &text);

// The readable text of an HTML part: no scripts, styles or comments; block ends become line
// ends; a link's target follows its text as " <target>"; table cells are parted by a tab and rows
// by a line end; entities decoded.
QString htmlToText(const QString &html);

} // namespace MimeCodecs
