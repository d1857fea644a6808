#pragma once

#include <QByteArray>
#include <QString>

// Code page 932 (Shift-JIS with the NEC and IBM extensions), the encoding of every file and of
// every text handed to the mail transport.
namespace Cp932 {

// A character without a code page 932 form becomes the geta mark 〓 U+3013 (0x81 0xAC).
QByteArray fromUnicode(const QString &text);
// Invalid byte sequences become U+FFFD; nothing is dropped silently.
QString toUnicode(const QByteArray &bytes);

// The value of a fixed-width field: the text in code page 932, cut at a character boundary so
// that it fits, then filled with spaces to exactly `width` bytes.
QByteArray fixedField(const QString &text, int width);
// The text of a fixed-width field: its bytes up to the first NUL, decoded. Fill spaces stay.
QString readField(const char *data, int width);

} // namespace Cp932

// Every character set conversion of the program goes through iconv here, code page 932 above and
// the charsets of mail below. `charset` is an iconv name ("EUC-JP-MS", "ISO-2022-JP", ...).
namespace Iconv {

// `bytes` in `charset` as Unicode. A byte that does not convert becomes U+FFFD and clears
// `clean`; a null string when iconv does not know the charset.
QString toUnicode(const QByteArray &bytes, const char *charset, bool *clean = nullptr);
// `text` in `charset`, ending in its initial shift state. False (and `out` empty) when a
// character has no form in it or the charset is unknown.
bool fromUnicode(const QString &text, const char *charset, QByteArray &out);

} // namespace Iconv
