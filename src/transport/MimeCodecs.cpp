#include "MimeCodecs.h"


#include <array>

namespace MimeCodecs {

// VMime's decoder writes byte by byte through a stream, and stops at the first padding.
bool decodeBase64(const char *text, size_t size, QByteArray &out)
{
    enum : signed char { Other = -1, Blank = -2, Pad = -3 };
    static const std::array<signed char, 256> value = [] {
        std::array<signed char, 256> t;
        t.fill(Other);
        const char *alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        for (int i = 0; i < 64; ++i)
            t[uchar(alphabet[i])] = static_cast<signed char>(i);
        for (const char c : {' ', '\t', '\r', '\n'})
            t[uchar(c)] = Blank;
        t[uchar('=')] = Pad;
        return t;
    }();
    out.resize(qsizetype(size / 4 * 3 + 3));
    char *dst = out.data();
    quint32 acc = 0;
    int n = 0;
    int pad = 0;
    const uchar *p = reinterpret_cast<const uchar *>(text);
    for (size_t i = 0; i < size; ++i) {
        // Whole groups of four between line ends go at once.
        while (n == 0 && !pad && i + 4 <= size) {
            const int a = value[p[i]], b = value[p[i + 1]], c = value[p[i + 2]], d = value[p[i + 3]];
            if ((a | b | c | d) < 0)
                break;
            const quint32 group = (quint32(a) << 18) | (quint32(b) << 12) | (quint32(c) << 6) | quint32(d);
            *dst++ = char(group >> 16);
            *dst++ = char(group >> 8);
            *dst++ = char(group);
            i += 4;
        }
        if (i >= size)
            break;
        const int v = value[p[i]];
        if (v < 0 || pad) {
            if (v == Blank)
                continue;
            if (v == Pad && ++pad <= 2)
                continue;
            return false; // another byte, data after the padding, or too much padding
        }
        acc = (acc << 6) | quint32(v);
        if (++n == 4) {
            *dst++ = char(acc >> 16);
            *dst++ = char(acc >> 8);
            *dst++ = char(acc);
            acc = 0;
            n = 0;
        }
    }
    // A last group without its padding is read as if padded: VMime drops it, and with it the
    // last one or two bytes of the file.
    if ((pad == 1 || pad == 0) && n == 3) {
        acc <<= 6;
        *dst++ = char(acc >> 16);
        *dst++ = char(acc >> 8);
    } else if ((pad == 2 || pad == 0) && n == 2) {
        acc <<= 12;
        *dst++ = char(acc >> 16);
    } else if (pad != 0 || n != 0) {
        return false;
    }
    out.resize(dst - out.data());
    return true;
}

QByteArray base64Lines(const QByteArray &data)
{
    QByteArray out;
    appendBase64Lines(out, data);
    return out;
}

void appendBase64Lines(QByteArray &out, const QByteArray &data)
{
    const qsizetype encoded = (data.size() + 2) / 3 * 4;
    out.reserve(out.size() + encoded + (encoded + 75) / 76 * 2);
    // 57 bytes make one line of 76 characters.
    for (qsizetype i = 0; i < data.size(); i += 57) {
        out += QByteArray::fromRawData(data.constData() + i, qMin<qsizetype>(57, data.size() - i)).toBase64();
        out += "\r\n";
    }
}

QByteArray decodeQuotedPrintable(const QByteArray &in)
{
    QByteArray out;
    out.reserve(in.size());
    const int n = int(in.size());
    for (int i = 0; i < n; ++i) {
        const char c = in[i];
        if (c != '=') {
            out += c;
            continue;
        }
        if (i + 1 < n && (in[i + 1] == '\r' || in[i + 1] == '\n')) { // soft line break
            i += (in[i + 1] == '\r' && i + 2 < n && in[i + 2] == '\n') ? 2 : 1;
            continue;
        }
        bool ok = false;
        const int byte = i + 2 < n ? in.mid(i + 1, 2).toInt(&ok, 16) : 0;
        if (ok) {
            out += char(byte);
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}


QByteArray toCrlf(const QByteArray &in)
{
    QByteArray out;
    out.reserve(in.size() + in.size() / 32);
    const char *p = in.constData();
    const qsizetype n = in.size();
    qsizetype run = 0; // start of the bytes not yet copied
    for (qsizetype i = 0; i < n; ++i) {
        const char c = p[i];
        if (c == '\r') {
            if (i + 1 < n && p[i + 1] == '\n') {
                ++i;
                continue;
            }
        } else if (c != '\n') {
            continue;
        }
        out.append(p + run, i - run);
        out.append("\r\n", 2);
        run = i + 1;
    }
    out.append(p + run, n - run);
    return out;
}

QString crlfLines(const QString &text)
{
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    t.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return t;
}

namespace {

bool wordChar(QChar c) { return c.isLetterOrNumber() || c == QLatin1Char('_'); }

bool blank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n')
           || c == QLatin1Char('\f') || c == QLatin1Char('\v');
}

// Whether `text` at `pos` starts with the ASCII word `word` (lower case), letter case ignored.
bool startsWithWord(QStringView text, qsizetype pos, QLatin1StringView word)
{
    if (pos + word.size() > text.size())
        return false;
    for (qsizetype i = 0; i < word.size(); ++i)
        if (text[pos + i].toLower() != QLatin1Char(word[i]))
            return false;
    return true;
}

// Whether the text of a tag (what lies between '<' and '>') is the tag `name`.
bool isTag(QStringView tag, QLatin1StringView name)
{
    return startsWithWord(tag, 0, name) && (tag.size() == name.size() || !wordChar(tag[name.size()]));
}

bool isTagOf(QStringView tag, std::initializer_list<const char *> names)
{
    for (const char *name : names)
        if (isTag(tag, QLatin1StringView(name)))
            return true;
    return false;
}

// Tags whose end is a line end.
bool breaksLine(QStringView tag)
{
    return isTagOf(tag, {"br", "/p", "/div", "/tr", "/li", "/h1", "/h2", "/h3", "/h4", "/h5", "/h6", "/table"});
}

QString entity(QStringView name)
{
    if (name.startsWith(QLatin1Char('#'))) {
        bool ok = false;
        const bool hex = name.size() > 1 && (name[1] == QLatin1Char('x') || name[1] == QLatin1Char('X'));
        const uint code = hex ? name.mid(2).toUInt(&ok, 16) : name.mid(1).toUInt(&ok, 10);
        if (ok && code > 0 && code < 0x110000) {
            const char32_t c = (code >= 0xD800 && code < 0xE000) ? 0xFFFD : code;
            return QString::fromUcs4(&c, 1);
        }
        return QString();
    }
    static const struct
    {
        const char *name;
        const char *text;
    } named[] = {{"amp", "&"}, {"lt", "<"}, {"gt", ">"}, {"quot", "\""}, {"apos", "'"}, {"nbsp", " "}};
    for (const auto &e : named)
        if (name.compare(QLatin1StringView(e.name), Qt::CaseInsensitive) == 0)
            return QString::fromLatin1(e.text);
    return QString();
}

QString decodedEntities(QStringView text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype end = text[i] == QLatin1Char('&') ? text.indexOf(QLatin1Char(';'), i) : -1;
        const QString decoded = end > i ? entity(text.mid(i + 1, end - i - 1)) : QString();
        if (decoded.isNull()) {
            out += text[i];
            continue;
        }
        out += decoded;
        i = end;
    }
    return out;
}

// The target of a link tag ("a href=..."), entities decoded; empty when it leads nowhere the
// reader could go (none, an anchor of the page itself, a script).
QString linkTarget(QStringView tag)
{
    for (qsizetype at = 1; at + 4 <= tag.size(); ++at) {
        if (!blank(tag[at - 1]) || !startsWithWord(tag, at, QLatin1StringView("href")))
            continue;
        qsizetype k = at + 4;
        while (k < tag.size() && blank(tag[k]))
            ++k;
        if (k >= tag.size() || tag[k] != QLatin1Char('='))
            continue;
        ++k;
        while (k < tag.size() && blank(tag[k]))
            ++k;
        qsizetype end = k;
        if (k < tag.size() && (tag[k] == QLatin1Char('"') || tag[k] == QLatin1Char('\''))) {
            end = tag.indexOf(tag[k], k + 1);
            ++k;
            if (end < 0)
                end = tag.size();
        } else {
            while (end < tag.size() && !blank(tag[end]))
                ++end;
        }
        const QString target = decodedEntities(tag.mid(k, end - k)).trimmed();
        if (target.startsWith(QLatin1Char('#')) || target.startsWith(QLatin1String("javascript:"), Qt::CaseInsensitive))
            return QString();
        return target;
    }
    return QString();
}

void chopBlanks(QString &out)
{
    while (out.endsWith(QLatin1Char(' ')))
        out.chop(1);
}

bool atLineStart(const QString &out)
{
    return out.isEmpty() || out.endsWith(QLatin1Char('\n'));
}

} // namespace

// One pass over the text: every search that fails is remembered, so no byte is looked at more
// than a few times whatever the markup (an unclosed <script> or a run of '<' without '>' would
// otherwise be searched to the end again and again).
QString htmlToText(const QString &html)
{
    const QStringView t(html);
    const qsizetype n = t.size();
    QString out;
    out.reserve(n);
    QString link;           // the target of the link whose text is being read
    qsizetype linkStart = 0; // where its text begins in `out`
    qsizetype noGreater = n + 1; // no '>' at or after this position
    qsizetype noCommentEnd = n + 1;
    qsizetype noClose[3] = {n + 1, n + 1, n + 1}; // no "</script", "</style", "</head" from here
    static const QLatin1StringView blocks[3] = {QLatin1StringView("script"), QLatin1StringView("style"),
                                                QLatin1StringView("head")};
    const auto findGreater = [&](qsizetype from) -> qsizetype {
        if (from >= noGreater)
            return -1;
        const qsizetype at = t.indexOf(QLatin1Char('>'), from);
        if (at < 0)
            noGreater = from;
        return at;
    };
    qsizetype i = 0;
    while (i < n) {
        const QChar c = t[i];
        if (c == QLatin1Char('<')) {
            // A comment.
            if (t.mid(i, 4) == QLatin1StringView("<!--") && i + 4 < noCommentEnd) {
                const qsizetype close = t.indexOf(QLatin1StringView("-->"), i + 4);
                if (close >= 0) {
                    i = close + 3;
                    continue;
                }
                noCommentEnd = i + 4;
            }
            // A script, style or head block goes with its content.
            bool skipped = false;
            for (int b = 0; b < 3 && !skipped; ++b) {
                const QLatin1StringView name = blocks[b];
                if (!startsWithWord(t, i + 1, name) || (i + 1 + name.size() < n && wordChar(t[i + 1 + name.size()])))
                    continue;
                for (qsizetype from = i + 1 + name.size(); from < noClose[b];) {
                    const qsizetype close = t.indexOf(QLatin1StringView("</"), from);
                    if (close < 0) {
                        noClose[b] = i;
                        break;
                    }
                    from = close + 2;
                    if (!startsWithWord(t, close + 2, name))
                        continue;
                    qsizetype k = close + 2 + name.size();
                    while (k < n && blank(t[k]))
                        ++k;
                    if (k < n && t[k] == QLatin1Char('>')) {
                        i = k + 1;
                        skipped = true;
                        break;
                    }
                }
            }
            if (skipped)
                continue;
            // Any other tag disappears; some end a line, part table cells or carry a link.
            const qsizetype close = findGreater(i + 1);
            if (close >= 0) {
                const QStringView tag = t.mid(i + 1, close - i - 1);
                if (breaksLine(tag) || (isTagOf(tag, {"tr", "table"}) && !atLineStart(out))) {
                    chopBlanks(out);
                    out += QLatin1Char('\n');
                } else if (isTagOf(tag, {"td", "th"}) && !atLineStart(out)) {
                    chopBlanks(out);
                    out += QLatin1Char('\t');
                } else if (isTag(tag, QLatin1StringView("a"))) {
                    link = linkTarget(tag);
                    linkStart = out.size();
                } else if (isTag(tag, QLatin1StringView("/a")) && !link.isEmpty()) {
                    // The target after its text, unless the text says it already.
                    const QString text = out.mid(linkStart).trimmed();
                    QString shown = link;
                    if (shown.startsWith(QLatin1String("mailto:"), Qt::CaseInsensitive))
                        shown = shown.mid(7);
                    if (text.compare(link, Qt::CaseInsensitive) != 0 && text.compare(shown, Qt::CaseInsensitive) != 0) {
                        chopBlanks(out);
                        out += (atLineStart(out) ? QStringLiteral("<") : QStringLiteral(" <")) + shown + QLatin1Char('>');
                    }
                    link.clear();
                }
                i = close + 1;
                continue;
            }
            out += c;
            ++i;
        } else if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            // Line ends in the source are blanks; only the markup makes lines.
            while (i < n && (t[i] == QLatin1Char('\r') || t[i] == QLatin1Char('\n')))
                ++i;
            if (!atLineStart(out) && !out.endsWith(QLatin1Char('\t')))
                out += QLatin1Char(' ');
        } else if (c == QLatin1Char('&')) {
            qsizetype k = i + 1;
            if (k < n && t[k] == QLatin1Char('#')) {
                ++k;
                const bool hex = k < n && (t[k] == QLatin1Char('x') || t[k] == QLatin1Char('X'));
                if (hex)
                    ++k;
                const auto digit = [hex](QChar ch) {
                    const ushort u = ch.unicode();
                    return (u >= '0' && u <= '9') || (hex && ((u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F')));
                };
                const qsizetype digits = k;
                while (k < n && digit(t[k]))
                    ++k;
                if (k == digits)
                    k = -1;
            } else {
                const qsizetype letters = k;
                while (k < n && ((t[k].unicode() | 0x20) >= 'a' && (t[k].unicode() | 0x20) <= 'z'))
                    ++k;
                if (k == letters)
                    k = -1;
            }
            if (k > 0 && k < n && t[k] == QLatin1Char(';')) {
                const QString decoded = entity(t.mid(i + 1, k - i - 1));
                out += decoded.isNull() ? t.mid(i, k + 1 - i).toString() : decoded;
                i = k + 1;
            } else {
                out += c;
                ++i;
            }
        } else {
            out += c;
            ++i;
        }
    }
    return out.trimmed();
}

} // namespace MimeCodecs
