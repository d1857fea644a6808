#include "MimeCodecs.h"

#include <QMap>
#include <QRegularExpression>

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

QString htmlToText(const QString &html)
{
    QString t = html;
    t.remove(QRegularExpression(QStringLiteral("<(script|style|head)\\b.*?</\\1\\s*>"),
                                QRegularExpression::CaseInsensitiveOption
                                    | QRegularExpression::DotMatchesEverythingOption));
    t.remove(
        QRegularExpression(QStringLiteral("<!--.*?-->"), QRegularExpression::DotMatchesEverythingOption));
    t.replace(QRegularExpression(QStringLiteral("[\\r\\n]+")), QStringLiteral(" "));
    t.replace(QRegularExpression(QStringLiteral("<(br|/p|/div|/tr|/li|/h[1-6])\\b[^>]*>"),
                                 QRegularExpression::CaseInsensitiveOption),
              QStringLiteral("\n"));
    t.remove(QRegularExpression(QStringLiteral("<[^>]*>")));
    static const QMap<QString, QString> entities{
        {QStringLiteral("amp"), QStringLiteral("&")},  {QStringLiteral("lt"), QStringLiteral("<")},
        {QStringLiteral("gt"), QStringLiteral(">")},   {QStringLiteral("quot"), QStringLiteral("\"")},
        {QStringLiteral("apos"), QStringLiteral("'")}, {QStringLiteral("nbsp"), QStringLiteral(" ")}};
    QString out;
    static const QRegularExpression entity(QStringLiteral("&(#x[0-9a-fA-F]+|#[0-9]+|[a-zA-Z]+);"));
    int pos = 0;
    auto it = entity.globalMatch(t);
    while (it.hasNext()) {
        const auto m = it.next();
        out += t.mid(pos, m.capturedStart() - pos);
        const QString e = m.captured(1);
        bool ok = false;
        uint code = 0;
        if (e.startsWith(QStringLiteral("#x")) || e.startsWith(QStringLiteral("#X")))
            code = e.mid(2).toUInt(&ok, 16);
        else if (e.startsWith(QLatin1Char('#')))
            code = e.mid(1).toUInt(&ok, 10);
        if (ok && code > 0 && code < 0x110000)
            out += QString::fromUcs4(reinterpret_cast<const char32_t *>(&code), 1);
        else
            out += entities.value(e.toLower(), m.captured(0));
        pos = int(m.capturedEnd());
    }
    out += t.mid(pos);
    return out.trimmed();
}

} // namespace MimeCodecs
