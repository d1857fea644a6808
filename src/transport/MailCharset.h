#pragma once

#include <QByteArray>
#include <QString>

// Character sets of mail, to and from code page 932.
namespace MailCharset {

// `bytes` in the named MIME charset, as code page 932. ISO-2022-JP (also with the NEC and IBM
// rows that Windows mailers put into it) and Shift_JIS/CP932 are converted byte for byte, so
// ① stays 87 40; everything else goes through Unicode, and a character without a code page 932
// form becomes the geta mark. An unknown or missing charset is guessed from the bytes.
QByteArray toCp932(const QByteArray &bytes, const QByteArray &charset);
// The same, to Unicode (so only what code page 932 holds).
QString toUnicode(const QByteArray &bytes, const QByteArray &charset);
// `bytes` in the named charset as the Unicode text it is, every character kept (emoji, 𠮷).
QString decode(const QByteArray &bytes, const QByteArray &charset);

// Unicode text in code page 932 as the received history stores it: the mail's spellings of the
// characters code page 932 has in another form (the wave dash, say) take that form.
QByteArray toStoredCp932(const QString &text);

// Guesses the charset of unlabelled 8-bit text: "iso-2022-jp", "utf-8", "shift_jis",
// "euc-jp" or "us-ascii".
QByteArray guess(const QByteArray &bytes);

// `text` as ISO-2022-JP (ending in ASCII) when every character is ASCII or JIS X 0208;
// false otherwise (half-width katakana, NEC/IBM extensions, other scripts, and the shift codes
// ESC, SO and SI, which would change how the rest reads).
bool toIso2022Jp(const QString &text, QByteArray &out);

} // namespace MailCharset
