#include "MailCharset.h"

#include "platform/Cp932.h"

#include <utility>
#include <vector>

namespace {

bool isAscii(const QByteArray &bytes)
{
    for (char c : bytes)
        if (uchar(c) >= 0x80)
            return false;
    return true;
}

bool validUtf8(const QByteArray &bytes)
{
    const int n = int(bytes.size());
    for (int i = 0; i < n;) {
        const uchar c = uchar(bytes[i]);
        int extra;
        if (c < 0x80)
            extra = 0;
        else if (c >= 0xC2 && c <= 0xDF)
            extra = 1;
        else if ((c & 0xF0) == 0xE0)
            extra = 2;
        else if (c >= 0xF0 && c <= 0xF4)
            extra = 3;
        else
            return false;
        if (i + extra >= n && extra > 0)
            return false;
        for (int k = 1; k <= extra; ++k)
            if ((uchar(bytes[i + k]) & 0xC0) != 0x80)
                return false;
        i += extra + 1;
    }
    return true;
}

bool validCp932(const QByteArray &bytes)
{
    const int n = int(bytes.size());
    for (int i = 0; i < n; ++i) {
        const uchar c = uchar(bytes[i]);
        if (c < 0x80 || (c >= 0xA1 && c <= 0xDF))
            continue;
        if ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) {
            if (i + 1 >= n)
                return false;
            const uchar t = uchar(bytes[++i]);
            if (t < 0x40 || t == 0x7F || t > 0xFC)
                return false;
            continue;
        }
        return false;
    }
    return true;
}

bool validEucJp(const QByteArray &bytes)
{
    const int n = int(bytes.size());
    for (int i = 0; i < n; ++i) {
        const uchar c = uchar(bytes[i]);
        if (c < 0x80)
            continue;
        const int len = c == 0x8F ? 3 : 2;
        if (!(c == 0x8E || c == 0x8F || (c >= 0xA1 && c <= 0xFE)) || i + len > n)
            return false;
        for (int k = 1; k < len; ++k)
            if (uchar(bytes[i + k]) < 0xA1 || uchar(bytes[i + k]) > 0xFE)
                return false;
        i += len - 1;
    }
    return true;
}

// JIS X 0208 row/cell bytes (0x21..0x7E each) to the Shift_JIS pair.
void jisToSjis(uchar j1, uchar j2, QByteArray &out)
{
    const uchar s1 = uchar(((j1 + 1) >> 1) + (j1 <= 0x5E ? 0x70 : 0xB0));
    uchar s2;
    if (j1 & 1)
        s2 = uchar(j2 + (j2 <= 0x5F ? 0x1F : 0x20));
    else
        s2 = uchar(j2 + 0x7E);
    out.append(char(s1));
    out.append(char(s2));
}

// ISO-2022-JP (with the NEC and IBM rows of Windows mailers, and JIS X 0201 kana) straight to
// Shift_JIS bytes, which code page 932 reads as the same characters.
QByteArray iso2022JpToCp932(const QByteArray &in)
{
    enum Mode { Ascii, Kanji, Kana };
    Mode mode = Ascii;
    QByteArray out;
    out.reserve(in.size());
    const int n = int(in.size());
    for (int i = 0; i < n; ++i) {
        const uchar c = uchar(in[i]);
        if (c == 0x1B && i + 2 < n) {
            const QByteArray seq = in.mid(i + 1, 2);
            if (seq == "$B" || seq == "$@") {
                mode = Kanji;
                i += 2;
                continue;
            }
            if (seq == "(B" || seq == "(J" || seq == "(H") {
                mode = Ascii;
                i += 2;
                continue;
            }
            if (seq == "(I") {
                mode = Kana;
                i += 2;
                continue;
            }
            if (seq == "$(" && i + 3 < n) { // ESC $ ( D and the like: read as kanji
                mode = Kanji;
                i += 3;
                continue;
            }
        }
        if (c == 0x0E) { // SO/SI kana shift of some mailers
            mode = Kana;
            continue;
        }
        if (c == 0x0F) {
            mode = Ascii;
            continue;
        }
        if (c == '\r' || c == '\n') { // a line end always returns to ASCII
            mode = Ascii;
            out.append(char(c));
            continue;
        }
        if (mode == Kanji && c >= 0x21 && c <= 0x7E && i + 1 < n && uchar(in[i + 1]) >= 0x21
            && uchar(in[i + 1]) <= 0x7E) {
            jisToSjis(c, uchar(in[i + 1]), out);
            ++i;
        } else if (mode == Kana && c >= 0x21 && c <= 0x5F) {
            out.append(char(c + 0x80));
        } else if (c >= 0x80) {
            out.append("\x81\xAC", 2); // a stray 8-bit byte becomes the geta mark
        } else {
            out.append(char(c));
        }
    }
    return out;
}

// Unicode characters that code page 932 spells differently from JIS-based converters.
// Characters that mail writes one way and code page 932 another: {mail spelling, cp932 spelling}.
constexpr std::pair<char16_t, char16_t> kSpellings[] = {
    {0x301C, 0xFF5E}, // wave dash
    {0x2016, 0x2225}, // double vertical line
    {0x2212, 0xFF0D}, // minus
    {0x00A2, 0xFFE0}, // cent
    {0x00A3, 0xFFE1}, // pound
    {0x00AC, 0xFFE2}, // not
    {0x2014, 0x2015}, // em dash
};

char16_t cp932Spelling(char16_t u)
{
    for (const auto &[mail, cp932] : kSpellings)
        if (u == mail)
            return cp932;
    return u;
}

QString toCp932Spelling(QString text)
{
    for (QChar &ch : text)
        ch = QChar(cp932Spelling(ch.unicode()));
    return text;
}

// Cp932::fromUnicode(toCp932Spelling(text)) with the code of each character remembered: the
// converter goes through iconv once per run of non-ASCII text, and Japanese mail alternates
// runs every few characters. iconv is stateless here, so a character converts alike alone.
QByteArray encodeCp932(const QString &text, bool spelling)
{
    static thread_local std::vector<quint32> known(0x10000, 0); // 0 unknown, else length << 16 | code
    const qsizetype n = text.size();
    QByteArray out(n * 2, Qt::Uninitialized);
    char *dst = out.data();
    const char16_t *units = reinterpret_cast<const char16_t *>(text.utf16());
    for (qsizetype i = 0; i < n; ++i) {
        char16_t u = units[i];
        if (u < 0x80) {
            *dst++ = char(u);
            continue;
        }
        if (QChar::isSurrogate(u)) // rare: the converter itself pairs them up
            return Cp932::fromUnicode(spelling ? toCp932Spelling(text) : text);
        if (spelling)
            u = cp932Spelling(u);
        quint32 &entry = known[u];
        if (entry == 0) {
            const QByteArray code = Cp932::fromUnicode(QString(QChar(u)));
            if (code.size() == 1)
                entry = (1u << 16) | uchar(code[0]);
            else if (code.size() == 2)
                entry = (2u << 16) | (quint32(uchar(code[0])) << 8) | uchar(code[1]);
            else
                return Cp932::fromUnicode(spelling ? toCp932Spelling(text) : text);
        }
        if ((entry >> 16) == 1) {
            *dst++ = char(entry & 0xFF);
        } else {
            *dst++ = char((entry >> 8) & 0xFF);
            *dst++ = char(entry & 0xFF);
        }
    }
    out.truncate(dst - out.constData());
    return out;
}

QString fromCp932Spelling(QString text)
{
    for (QChar &ch : text) {
        for (const auto &[mail, cp932] : kSpellings) {
            if (ch.unicode() == cp932) {
                ch = QChar(mail);
                break;
            }
        }
    }
    return text;
}

QByteArray normalName(QByteArray charset)
{
    charset = charset.trimmed().toLower();
    if (charset.startsWith('"') && charset.endsWith('"') && charset.size() >= 2)
        charset = charset.mid(1, charset.size() - 2);
    return charset;
}

bool isIso2022Jp(const QByteArray &cs)
{
    return cs.startsWith("iso-2022-jp") || cs == "csiso2022jp" || cs == "cp50220" || cs == "cp50221"
           || cs == "cp50222" || cs == "jis";
}

bool isShiftJis(const QByteArray &cs)
{
    return cs == "shift_jis" || cs == "shift-jis" || cs == "sjis" || cs == "x-sjis" || cs == "cp932"
           || cs == "windows-31j" || cs == "ms_kanji" || cs == "csshiftjis" || cs == "ms932"
           || cs == "x-ms-cp932" || cs == "shift_jisx0213";
}

// The charset to read `bytes` in: the label, unless it is missing, vague or plainly wrong.
QByteArray charsetFor(const QByteArray &bytes, const QByteArray &charsetName)
{
    QByteArray cs = normalName(charsetName);
    if (cs.isEmpty() || cs == "us-ascii" || cs == "ascii" || cs == "unknown-8bit" || cs == "x-unknown"
        || cs == "default") {
        if (isAscii(bytes) && !bytes.contains('\x1B'))
            return "us-ascii";
        cs = MailCharset::guess(bytes);
    }
    if (isIso2022Jp(cs) && !isAscii(bytes) && !bytes.contains('\x1B'))
        cs = MailCharset::guess(bytes); // labelled ISO-2022-JP but really 8-bit text
    if (cs == "euc-jp" || cs == "x-euc-jp" || cs == "eucjp" || cs == "cseucpkdfmtjapanese")
        cs = "EUC-JP-MS";
    return cs;
}

} // namespace

namespace MailCharset {

QByteArray guess(const QByteArray &bytes)
{
    if (bytes.contains("\x1B$B") || bytes.contains("\x1B$@") || bytes.contains("\x1B(I"))
        return "iso-2022-jp";
    if (isAscii(bytes))
        return "us-ascii";
    if (validUtf8(bytes))
        return "utf-8";
    if (validCp932(bytes))
        return "shift_jis";
    if (validEucJp(bytes))
        return "euc-jp";
    return "shift_jis";
}

QString toUnicode(const QByteArray &bytes, const QByteArray &charsetName)
{
    return Cp932::toUnicode(toCp932(bytes, charsetName));
}

QString decode(const QByteArray &bytes, const QByteArray &charsetName)
{
    const QByteArray cs = charsetFor(bytes, charsetName);
    if (cs == "us-ascii")
        return QString::fromLatin1(bytes);
    if (isIso2022Jp(cs))
        return fromCp932Spelling(Cp932::toUnicode(iso2022JpToCp932(bytes)));
    if (isShiftJis(cs))
        return Cp932::toUnicode(bytes);
    if (cs == "utf-8" || cs == "utf8")
        return QString::fromUtf8(bytes);
    const QString text = Iconv::toUnicode(bytes, cs.toUpper().constData());
    if (text.isNull() && !bytes.isEmpty()) // a charset iconv does not know: guess
        return decode(bytes, guess(bytes));
    return text;
}

QByteArray toCp932(const QByteArray &bytes, const QByteArray &charsetName)
{
    QByteArray cs = charsetFor(bytes, charsetName);
    if (cs == "us-ascii")
        return bytes;
    if (isIso2022Jp(cs))
        return iso2022JpToCp932(bytes);
    if (isShiftJis(cs)) {
        if (validCp932(bytes))
            return bytes;
        return encodeCp932(Cp932::toUnicode(bytes), false);
    }
    if (cs == "utf-8" || cs == "utf8")
        return encodeCp932(QString::fromUtf8(bytes), true);
    const QString text = Iconv::toUnicode(bytes, cs.toUpper().constData());
    if (text.isNull() && !bytes.isEmpty()) // a charset iconv does not know: guess
        return toCp932(bytes, guess(bytes));
    return encodeCp932(text, true);
}

QByteArray toStoredCp932(const QString &text) { return encodeCp932(text, true); }

bool toIso2022Jp(const QString &text, QByteArray &out)
{
    // ESC, SO and SI are the shift codes themselves: passed through, they switch the reader's
    // character set and the text reads back as something else.
    for (QChar c : text) {
        if (c.unicode() == 0x1B || c.unicode() == 0x0E || c.unicode() == 0x0F) {
            out.clear();
            return false;
        }
    }
    // ISO-2022-JP in glibc also takes JIS X 0201 Roman; mail readers expect plain JIS X 0208.
    if (Iconv::fromUnicode(fromCp932Spelling(text), "ISO-2022-JP", out) && !out.contains("\x1B(J"))
        return true;
    out.clear();
    return false;
}

} // namespace MailCharset
