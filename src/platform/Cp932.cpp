#include "Cp932.h"

#include <iconv.h>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <cerrno>
#include <cstring>
#include <memory>

namespace {

class Converter
{
public:
    Converter(const char *to, const char *from) : m_cd(iconv_open(to, from)) {}
    ~Converter()
    {
        if (m_cd != reinterpret_cast<iconv_t>(-1))
            iconv_close(m_cd);
    }
    Converter(const Converter &) = delete;
    Converter &operator=(const Converter &) = delete;

    bool valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    // Converts as much as it can; returns false at an input sequence it cannot handle and leaves
    // `in`/`inLeft` pointing at it.
    bool run(char *&in, size_t &inLeft, QByteArray &out)
    {
        char buffer[4096];
        while (inLeft > 0) {
            char *dst = buffer;
            size_t dstLeft = sizeof buffer;
            size_t rc = iconv(m_cd, &in, &inLeft, &dst, &dstLeft);
            out.append(buffer, int(sizeof buffer - dstLeft));
            if (rc == size_t(-1) && errno != E2BIG)
                return false;
        }
        return true;
    }

    void reset() { iconv(m_cd, nullptr, nullptr, nullptr, nullptr); }

    // Writes what returns the output to its initial shift state (ISO-2022-JP ends in ASCII).
    void flush(QByteArray &out)
    {
        char buffer[64];
        char *dst = buffer;
        size_t dstLeft = sizeof buffer;
        iconv(m_cd, nullptr, nullptr, &dst, &dstLeft);
        out.append(buffer, int(sizeof buffer - dstLeft));
    }

private:
    iconv_t m_cd;
};

Converter &toCp932()
{
    static thread_local Converter c("CP932", "UTF-16LE");
    return c;
}

// The geta mark 〓 (U+3013).
const QByteArray kGeta("\x81\xAC", 2);

// Length in bytes of the code page 932 character that starts with `lead`.
int charLength(unsigned char lead)
{
    return ((lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC)) ? 2 : 1;
}

bool isTrailByte(unsigned char c)
{
    return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC);
}

// iconv is slow on long texts (history bodies are 32000 bytes), so decoding goes through a table
// of every character that is built from iconv once; encoding passes ASCII through directly.
struct DecodeTable
{
    char16_t single[256] = {};
    bool singleValid[256] = {}; // false for lead bytes and bytes that are no character
    char16_t pairs[128 * 256] = {}; // by (lead - 0x80) * 256 + trail; 0 where undefined
    bool asciiIdentity = false;     // 0x00..0x7F are U+0000..U+007F
};

const DecodeTable &decodeTable()
{
    static const std::unique_ptr<DecodeTable> table = [] {
        auto t = std::make_unique<DecodeTable>();
        Converter c("UTF-16LE", "CP932");
        auto decodeOne = [&c](const char *bytes, size_t length, char16_t &unit) {
            c.reset();
            char *in = const_cast<char *>(bytes);
            size_t inLeft = length;
            QByteArray out;
            if (!c.valid() || !c.run(in, inLeft, out) || out.size() != 2)
                return false;
            unit = char16_t(uchar(out[0]) | (uchar(out[1]) << 8));
            return true;
        };
        for (int b = 0; b < 256; ++b) {
            if (charLength(uchar(b)) == 2)
                continue;
            const char byte = char(b);
            t->singleValid[b] = decodeOne(&byte, 1, t->single[b]);
        }
        t->asciiIdentity = true;
        for (int b = 0; b < 0x80; ++b)
            t->asciiIdentity = t->asciiIdentity && t->singleValid[b] && t->single[b] == b;
        for (int lead = 0x80; lead < 0x100; ++lead) {
            if (charLength(uchar(lead)) != 2)
                continue;
            for (int trail = 0x40; trail <= 0xFC; ++trail) {
                if (!isTrailByte(uchar(trail)))
                    continue;
                const char pair[2] = {char(lead), char(trail)};
                char16_t unit = 0;
                if (decodeOne(pair, 2, unit))
                    t->pairs[(lead - 0x80) * 256 + trail] = unit;
            }
        }
        return t;
    }();
    return *table;
}

// Converts a run of characters that are all outside ASCII.
void encodeRun(const char16_t *text, size_t length, QByteArray &out)
{
    Converter &c = toCp932();
    c.reset();
    char *in = reinterpret_cast<char *>(const_cast<char16_t *>(text));
    size_t inLeft = length * 2;
    while (!c.run(in, inLeft, out)) {
        // Skip one character (a surrogate pair counts as one) and put the geta mark for it.
        const char16_t unit = char16_t(uchar(in[0]) | (uchar(in[1]) << 8));
        const char16_t next = inLeft >= 4 ? char16_t(uchar(in[2]) | (uchar(in[3]) << 8)) : 0;
        const size_t skip = QChar::isHighSurrogate(unit) && QChar::isLowSurrogate(next) ? 4 : 2;
        in += skip;
        inLeft -= skip;
        out.append(kGeta);
        c.reset();
    }
}

} // namespace

namespace Cp932 {

QByteArray fromUnicode(const QString &text)
{
    QByteArray out;
    out.reserve(text.size() * 2);
    const auto *units = reinterpret_cast<const char16_t *>(text.utf16());
    const qsizetype size = text.size();
    qsizetype i = 0;
    while (i < size) {
        if (units[i] < 0x80) {
            out.append(char(units[i++]));
            continue;
        }
        qsizetype j = i + 1;
        while (j < size && units[j] >= 0x80)
            ++j;
        encodeRun(units + i, size_t(j - i), out);
        i = j;
    }
    return out;
}

QString toUnicode(const QByteArray &bytes)
{
    const DecodeTable &table = decodeTable();
    const auto *in = reinterpret_cast<const uchar *>(bytes.constData());
    const qsizetype size = bytes.size();
    QString out(size, Qt::Uninitialized);
    char16_t *dst = reinterpret_cast<char16_t *>(out.data());
    char16_t *const begin = dst;
    qsizetype i = 0;
    while (i < size) {
        if (table.asciiIdentity) {
            // Most of a history body is ASCII (its fill spaces at least): widen it 16 bytes at once.
#ifdef __SSE2__
            const __m128i zero = _mm_setzero_si128();
            while (i + 16 <= size) {
                const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + i));
                if (_mm_movemask_epi8(chunk) != 0)
                    break;
                _mm_storeu_si128(reinterpret_cast<__m128i *>(dst), _mm_unpacklo_epi8(chunk, zero));
                _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + 8), _mm_unpackhi_epi8(chunk, zero));
                dst += 16;
                i += 16;
            }
#endif
            while (i < size && in[i] < 0x80)
                *dst++ = in[i++];
            if (i == size)
                break;
        }
        const uchar b = in[i];
        if (charLength(b) == 1) {
            *dst++ = table.singleValid[b] ? table.single[b] : char16_t(0xFFFD);
            ++i;
        } else if (i + 1 < size && isTrailByte(in[i + 1])) {
            // An undefined pair is one bad character; a bad trail byte may start the next
            // character (a line feed, say) and is kept.
            const char16_t unit = table.pairs[(b - 0x80) * 256 + in[i + 1]];
            *dst++ = unit ? unit : char16_t(0xFFFD);
            i += 2;
        } else {
            *dst++ = 0xFFFD;
            ++i;
        }
    }
    out.truncate(dst - begin);
    return out;
}

QByteArray fixedField(const QString &text, int width)
{
    QByteArray bytes = fromUnicode(text);
    if (bytes.size() > width) {
        int end = 0;
        while (end < bytes.size()) {
            int next = end + charLength(uchar(bytes[end]));
            if (next > width)
                break;
            end = next;
        }
        bytes.truncate(end);
    }
    bytes.append(QByteArray(width - bytes.size(), ' '));
    return bytes;
}

QString readField(const char *data, int width)
{
    const void *nul = std::memchr(data, 0, size_t(width));
    int length = nul ? int(static_cast<const char *>(nul) - data) : width;
    return toUnicode(QByteArray(data, length));
}

} // namespace Cp932

namespace Iconv {

QString toUnicode(const QByteArray &bytes, const char *charset, bool *clean)
{
    if (clean)
        *clean = false;
    Converter c("UTF-16LE", charset);
    if (!c.valid())
        return {};
    QByteArray out;
    QByteArray input = bytes;
    char *in = input.data();
    size_t inLeft = size_t(input.size());
    bool whole = true;
    while (!c.run(in, inLeft, out)) {
        whole = false;
        out.append("\xFD\xFF", 2); // U+FFFD for the byte that did not convert
        ++in;
        --inLeft;
    }
    c.flush(out);
    if (clean)
        *clean = whole;
    return QString(reinterpret_cast<const QChar *>(out.constData()), out.size() / 2);
}

bool fromUnicode(const QString &text, const char *charset, QByteArray &out)
{
    out.clear();
    Converter c(charset, "UTF-16LE");
    if (!c.valid())
        return false;
    QByteArray input(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
    char *in = input.data();
    size_t inLeft = size_t(input.size());
    if (!c.run(in, inLeft, out)) {
        out.clear();
        return false;
    }
    c.flush(out);
    return true;
}

} // namespace Iconv
