#include "Cp932.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>

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

private:
    iconv_t m_cd;
};

Converter &toCp932()
{
    static thread_local Converter c("CP932", "UTF-16LE");
    return c;
}

Converter &fromCp932()
{
    static thread_local Converter c("UTF-16LE", "CP932");
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

} // namespace

namespace Cp932 {

QByteArray fromUnicode(const QString &text)
{
    QByteArray out;
    out.reserve(text.size() * 2);
    Converter &c = toCp932();
    c.reset();
    QByteArray utf16(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
    char *in = utf16.data();
    size_t inLeft = size_t(utf16.size());
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
    return out;
}

QString toUnicode(const QByteArray &bytes)
{
    QByteArray out;
    out.reserve(bytes.size() * 2);
    Converter &c = fromCp932();
    c.reset();
    QByteArray copy = bytes;
    char *in = copy.data();
    size_t inLeft = size_t(copy.size());
    while (!c.run(in, inLeft, out)) {
        // A bad trail byte may be the start of the next character (a line feed, say): keep it.
        const bool pair = inLeft >= 2 && charLength(uchar(in[0])) == 2 && isTrailByte(uchar(in[1]));
        const size_t skip = pair ? 2 : 1;
        in += skip;
        inLeft -= skip;
        out.append("\xFD\xFF", 2);
        c.reset();
    }
    return QString(reinterpret_cast<const QChar *>(out.constData()), out.size() / 2);
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
