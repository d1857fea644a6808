#include "MimeReader.h"

#include "MailCharset.h"
#include "platform/Cp932.h"

#include <QByteArrayMatcher>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMap>
#include <QSet>
#include <QRegularExpression>

#include <array>
#include <cstring>
#include <optional>

#include <dirent.h>

#include <vmime/contentTypeField.hpp>
#include <vmime/vmime.hpp>

namespace {

// Header fields of a raw header block, unfolded, names lower-cased.
QList<QPair<QByteArray, QByteArray>> headerFields(const QByteArray &block)
{
    QList<QPair<QByteArray, QByteArray>> fields;
    for (const QByteArray &rawLine : block.split('\n')) {
        QByteArray line = rawLine;
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty())
            continue;
        if ((line[0] == ' ' || line[0] == '\t') && !fields.isEmpty()) {
            fields.last().second += line;
            continue;
        }
        const int colon = int(line.indexOf(':'));
        if (colon <= 0)
            continue;
        fields.append({line.left(colon).trimmed().toLower(), line.mid(colon + 1)});
    }
    return fields;
}

using Fields = QList<QPair<QByteArray, QByteArray>>;

QByteArray fieldValue(const Fields &fields, const QByteArray &name)
{
    for (const auto &f : fields)
        if (f.first == name)
            return f.second.trimmed();
    return {};
}

// Where the header of `raw` ends: at the first "\r\n\r\n" or "\n\n", whichever comes first.
// `end` is where the blank line starts, `body` where the body starts; -1 when there is none.
// One pass: looking for "\n\n" on its own would read through the whole of a CRLF mail.
void headerEnd(const QByteArray &raw, qsizetype &end, qsizetype &body)
{
    const char *p = raw.constData();
    const qsizetype n = raw.size();
    end = body = -1;
    for (qsizetype i = 0; i < n;) {
        const char *lf = static_cast<const char *>(memchr(p + i, '\n', size_t(n - i)));
        if (!lf)
            return;
        const qsizetype at = lf - p;
        if (at + 1 < n && p[at + 1] == '\n') {
            end = at;
            body = at + 2;
            return;
        }
        if (at >= 1 && p[at - 1] == '\r' && at + 2 < n && p[at + 1] == '\r' && p[at + 2] == '\n') {
            end = at - 1;
            body = at + 3;
            return;
        }
        i = at + 1;
    }
}

// Words of a vmime text (each in its own charset) joined in code page 932. Neighbouring words
// of one charset are converted together: mailers split encoded words inside a character.
QByteArray textToCp932(const vmime::text &text)
{
    QByteArray out;
    QByteArray pending;
    QByteArray pendingCharset;
    for (size_t i = 0; i < text.getWordCount(); ++i) {
        const auto w = text.getWordAt(i);
        const std::string &buf = w->getBuffer();
        const QByteArray charset = QByteArray::fromStdString(w->getCharset().getName()).toLower();
        if (charset != pendingCharset) {
            out += MailCharset::toCp932(pending, pendingCharset);
            pending.clear();
            pendingCharset = charset;
        }
        pending += QByteArray(buf.data(), qsizetype(buf.size()));
    }
    out += MailCharset::toCp932(pending, pendingCharset);
    return out;
}

// An unstructured header value with RFC 2047 words, decoded into code page 932.
QByteArray decodeHeaderText(const QByteArray &value)
{
    try {
        const auto text = vmime::text::decodeAndUnfold(value.toStdString());
        return textToCp932(*text);
    } catch (...) {
        return MailCharset::toCp932(value, QByteArray());
    }
}

// Line ends made CRLF. Always a copy of its own: `in` may be a view into a mail.
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

QByteArray parseFrom(const QByteArray &raw);

// A mailbox mostly comes from a few senders: the parser's reading of each sender's From value
// is remembered (it depends on nothing but the value).
QByteArray decodeFrom(const QByteArray &raw)
{
    static thread_local QHash<QByteArray, QByteArray> known;
    if (const auto it = known.constFind(raw); it != known.cend())
        return it.value();
    if (known.size() >= 256)
        known.clear();
    const QByteArray decoded = parseFrom(raw);
    known.insert(raw, decoded);
    return decoded;
}

QByteArray parseFrom(const QByteArray &raw)
{
    if (raw.isEmpty())
        return {};
    try {
        vmime::mailbox mbox;
        mbox.parse(raw.toStdString());
        const QByteArray email = QByteArray::fromStdString(mbox.getEmail().toString());
        if (!email.isEmpty() && email.contains('@')) {
            const QByteArray name = textToCp932(mbox.getName()).trimmed();
            return name.isEmpty() ? email : name + " <" + email + ">";
        }
    } catch (...) {
    }
    return decodeHeaderText(raw).trimmed();
}

std::string partHeaderText(const vmime::shared_ptr<const vmime::header> &header, const char *field)
{
    try {
        if (header->hasField(field))
            return header->findField(field)->getValue()->generate();
    } catch (...) {
    }
    return {};
}

QByteArray lowerType(const vmime::shared_ptr<const vmime::bodyPart> &part)
{
    try {
        const auto type = part->getBody()->getContentType();
        return QByteArray::fromStdString(type.getType() + "/" + type.getSubType()).toLower();
    } catch (...) {
        return "text/plain";
    }
}

QByteArray parameterText(const vmime::shared_ptr<const vmime::header> &header, const char *field,
                         const char *name, bool *present = nullptr)
{
    if (present)
        *present = false;
    try {
        if (!header->hasField(field))
            return {};
        auto phf = vmime::dynamicCast<const vmime::parameterizedHeaderField>(header->findField(field));
        if (!phf || !phf->hasParameter(name))
            return {};
        if (present)
            *present = true;
        const vmime::word &w = phf->findParameter(name)->getValue();
        const QByteArray buf = QByteArray::fromStdString(w.getBuffer());
        if (buf.contains("=?")) // RFC 2047 inside a parameter, as many mailers write it
            return decodeHeaderText(buf);
        return MailCharset::toCp932(buf, QByteArray::fromStdString(w.getCharset().getName()));
    } catch (...) {
        return {};
    }
}

QByteArray disposition(const vmime::shared_ptr<const vmime::header> &header)
{
    QByteArray d = QByteArray::fromStdString(partHeaderText(header, "Content-Disposition"));
    const int semi = int(d.indexOf(';'));
    if (semi >= 0)
        d.truncate(semi);
    return d.trimmed().toLower();
}

QByteArray fileName(const vmime::shared_ptr<const vmime::header> &header)
{
    bool present = false;
    QByteArray name = parameterText(header, "Content-Disposition", "filename", &present);
    if (name.isEmpty())
        name = parameterText(header, "Content-Type", "name", &present);
    return name;
}

// Plain base64 (the alphabet, line ends and blanks, padding only at the end) decoded in one
// pass; VMime's decoder writes byte by byte through a stream. False for anything else, which
// is left to VMime's decoder and its own reading (it stops at the first padding, for one).
bool decodePlainBase64(const char *text, size_t size, QByteArray &out)
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

QByteArray decodedContent(const vmime::shared_ptr<const vmime::bodyPart> &part)
{
    try {
        const auto contents = part->getBody()->getContents();
        if (contents->isEncoded()
            && QByteArray::fromStdString(contents->getEncoding().getName()).toLower() == "base64") {
            std::string encoded;
            vmime::utility::outputStreamStringAdapter raw(encoded);
            contents->extractRaw(raw);
            QByteArray decoded;
            if (decodePlainBase64(encoded.data(), encoded.size(), decoded))
                return decoded;
        }
    } catch (...) {
    }
    std::string out;
    vmime::utility::outputStreamStringAdapter os(out);
    try {
        part->getBody()->getContents()->extract(os);
    } catch (...) {
        try { // an unknown transfer encoding: the bytes as they are
            out.clear();
            part->getBody()->getContents()->extractRaw(os);
        } catch (...) {
        }
    }
    return QByteArray(out.data(), qsizetype(out.size()));
}

QByteArray rawContent(const vmime::shared_ptr<const vmime::bodyPart> &part)
{
    std::string out;
    vmime::utility::outputStreamStringAdapter os(out);
    try {
        part->getBody()->getContents()->extractRaw(os);
    } catch (...) {
    }
    return QByteArray(out.data(), qsizetype(out.size()));
}

QByteArray partCharset(const vmime::shared_ptr<const vmime::bodyPart> &part)
{
    return parameterText(part->getHeader(), "Content-Type", "charset").trimmed();
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

struct Leaf
{
    vmime::shared_ptr<const vmime::bodyPart> part;
    QByteArray type;
    QByteArray disposition;
    QByteArray name;
};

void collectLeaves(const vmime::shared_ptr<const vmime::bodyPart> &part, QList<Leaf> &leaves, int depth)
{
    const auto body = part->getBody();
    const QByteArray type = lowerType(part);
    if (type.startsWith("multipart/") && body->getPartCount() > 0 && depth < 50) {
        for (size_t i = 0; i < body->getPartCount(); ++i)
            collectLeaves(body->getPartAt(i), leaves, depth + 1);
        return;
    }
    leaves.append({part, type, disposition(part->getHeader()), fileName(part->getHeader())});
}

// VMime looks for part boundaries a byte at a time through its stream adapters, which costs
// most of the time of a mail with a file. A regular multipart mail (CRLF line ends, the boundary
// text only on delimiter lines, a closing delimiter) is split here with the same result and
// only its leaf parts go through the MIME parser; anything less regular is left to VMime whole.
namespace fast {

bool strictCrlf(const QByteArray &raw)
{
    const char *p = raw.constData();
    const qsizetype n = raw.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char *cr = static_cast<const char *>(memchr(p + i, '\r', size_t(n - i)));
        const qsizetype upTo = cr ? cr - p : n;
        if (memchr(p + i, '\n', size_t(upTo - i)))
            return false; // a line end without CR
        if (!cr)
            return true;
        if (upTo + 1 >= n || p[upTo + 1] != '\n')
            return false; // a CR without LF
        i = upTo + 1;
    }
    return true;
}

// The start of the body of the part at [start, end): after its header's blank line.
bool bodyStart(const QByteArray &raw, qsizetype start, qsizetype end, qsizetype &body)
{
    const qsizetype blank = raw.indexOf("\r\n\r\n", start);
    if (blank < start || blank + 4 > end)
        return false;
    // A line of blanks alone is read differently by header parsers: leave it to VMime.
    for (qsizetype line = start; line < blank + 2;) {
        qsizetype eol = raw.indexOf("\r\n", line);
        qsizetype k = line;
        while (k < eol && (raw[k] == ' ' || raw[k] == '\t'))
            ++k;
        if (k == eol)
            return false;
        line = eol + 2;
    }
    body = blank + 4;
    return true;
}

enum Kind { Unsure, Single, Multi };

// The Content-Type field lines of a header of plain shape (each line a field with a token name
// or a continuation line); false for any other shape. The MIME parser reads them alone much
// sooner than the whole header, and a field is read the same without its neighbours.
bool contentTypeLines(const QByteArray &raw, qsizetype start, qsizetype body, std::string &out)
{
    const char *p = raw.constData();
    bool inType = false;
    for (qsizetype line = start; line < body - 2;) {
        const qsizetype eol = raw.indexOf("\r\n", line);
        if (p[line] == ' ' || p[line] == '\t') {
            if (line == start)
                return false;
        } else {
            qsizetype k = line;
            while (k < eol && uchar(p[k]) > 32 && uchar(p[k]) < 127 && p[k] != ':')
                ++k;
            if (k == line || k >= eol || p[k] != ':')
                return false;
            inType = k - line == 12 && qstrnicmp(p + line, "content-type", 12) == 0;
        }
        if (inType)
            out.append(p + line, size_t(eol + 2 - line));
        line = eol + 2;
    }
    return true;
}

Kind kindOf(const QByteArray &raw, qsizetype start, qsizetype body, std::string &boundary)
{
    // Without the word no parser reads the part as multipart; a part taken as Single goes
    // through VMime whole, so a wrong guess here could only cost time.
    static const QByteArrayMatcher word("multipart");
    const QByteArray head = QByteArray::fromRawData(raw.constData() + start, body - start).toLower();
    if (word.indexIn(head) < 0)
        return Single;
    try {
        vmime::header header;
        std::string typeLines;
        if (contentTypeLines(raw, start, body, typeLines))
            header.parse(typeLines);
        else
            header.parse(std::string(raw.constData() + start, size_t(body - 2 - start)));
        if (!header.hasField("Content-Type"))
            return Single;
        auto ctf = header.findField<vmime::contentTypeField>("Content-Type");
        const auto type = ctf ? ctf->getValue<vmime::mediaType>() : nullptr;
        if (!type)
            return Unsure;
        const QByteArray lower = QByteArray::fromStdString(type->getType()).toLower();
        if (type->getType() != "multipart")
            return lower == "multipart" ? Unsure : Single;
        if (QByteArray::fromStdString(type->getSubType()).toLower() == "digest" || !ctf->hasBoundary())
            return Unsure;
        boundary = ctf->getBoundary();
        return boundary.empty() ? Unsure : Multi;
    } catch (...) {
        return Unsure;
    }
}

struct Span
{
    qsizetype start;
    qsizetype end;
};

// The parts between the delimiter lines of a multipart body at [start, end).
bool splitParts(const QByteArray &raw, qsizetype start, qsizetype end, const std::string &boundaryText,
                QList<Span> &parts)
{
    const QByteArray boundary = QByteArray::fromStdString(boundaryText);
    qsizetype partStart = -1;
    bool closed = false;
    // memmem: far quicker than QByteArray::indexOf for the short boundaries many mailers use.
    auto find = [&](qsizetype from) -> qsizetype {
        const void *hit = memmem(raw.constData() + from, size_t(raw.size() - from), boundary.constData(),
                                 size_t(boundary.size()));
        return hit ? static_cast<const char *>(hit) - raw.constData() : -1;
    };
    for (qsizetype pos = find(start); pos >= 0 && pos < end; pos = find(pos + boundary.size())) {
        const char before = pos > start ? raw[pos - 1] : '\n';
        if (before != '-' && before != ' ' && before != '\t')
            continue; // inside a line (in base64, say): not a delimiter to any reader
        if (closed || pos - 2 < start || pos < 4 || raw.mid(pos - 4, 4) != "\r\n--")
            return false; // boundary text after dashes or blanks off a delimiter line
        const qsizetype after = pos + boundary.size();
        if (after + 2 > end)
            return false;
        const bool last = raw[after] == '-' && raw[after + 1] == '-';
        if (!last && !(raw[after] == '\r' && raw[after + 1] == '\n'))
            return false;
        if (partStart >= 0) {
            if (pos - 4 < partStart)
                return false;
            parts.append({partStart, pos - 4});
        } else if (last) {
            return false;
        }
        partStart = after + 2;
        closed = last;
    }
    return closed && !parts.isEmpty();
}

bool collect(const QByteArray &raw, qsizetype start, qsizetype end, const std::string &boundary,
             QList<Leaf> &leaves, int depth)
{
    QList<Span> parts;
    if (!splitParts(raw, start, end, boundary, parts))
        return false;
    for (const Span &span : parts) {
        qsizetype body = 0;
        std::string inner;
        const Kind kind = bodyStart(raw, span.start, span.end, body)
                              ? kindOf(raw, span.start, body, inner)
                              : Unsure;
        if (kind == Unsure)
            return false;
        if (kind == Multi && depth < 50) {
            if (!collect(raw, body, span.end, inner, leaves, depth + 1))
                return false;
            continue;
        }
        auto part = vmime::make_shared<vmime::bodyPart>();
        if (kind == Single) {
            // VMime would copy the content through its stream adapters twice; its reading of
            // a single part is its header plus the content as it stands, in the transfer
            // encoding the header names (7bit when none).
            part->getHeader()->parse(std::string(raw.constData() + span.start, size_t(body - span.start)));
            vmime::encoding encoding(vmime::encodingTypes::SEVEN_BIT);
            if (part->getHeader()->hasField("Content-Transfer-Encoding"))
                encoding = *part->getHeader()->findField("Content-Transfer-Encoding")->getValue<vmime::encoding>();
            part->getBody()->setContents(vmime::make_shared<vmime::stringContentHandler>(
                std::string(raw.constData() + body, size_t(span.end - body)), encoding));
        } else {
            part->parse(std::string(raw.constData() + span.start, size_t(span.end - span.start)));
        }
        collectLeaves(part, leaves, depth);
    }
    return true;
}

// The leaves of a regular multipart mail; false when VMime must read the mail.
bool leaves(const QByteArray &raw, QList<Leaf> &out)
{
    out.clear();
    qsizetype body = 0;
    std::string boundary;
    if (raw.startsWith("\r\n") || !strictCrlf(raw) || !bodyStart(raw, 0, raw.size(), body)
        || kindOf(raw, 0, body, boundary) != Multi)
        return false;
    try {
        if (collect(raw, body, raw.size(), boundary, out, 1))
            return true;
    } catch (...) {
    }
    out.clear();
    return false;
}

} // namespace fast

bool isExplicitAttachment(const Leaf &leaf)
{
    return leaf.disposition == "attachment" || !leaf.name.isEmpty();
}

// The index of the leaf that is the mail's text: the first text/plain that is not an attached
// file, else the first such text/html.
int bodyLeaf(const QList<Leaf> &leaves)
{
    for (const char *type : {"text/plain", "text/html"})
        for (int i = 0; i < leaves.size(); ++i)
            if (leaves[i].type == type && !isExplicitAttachment(leaves[i]))
                return i;
    return -1;
}

QByteArray leafText(const Leaf &leaf)
{
    const QByteArray content = decodedContent(leaf.part);
    QByteArray charset = partCharset(leaf.part);
    if (leaf.type == "text/html") {
        const QString text = htmlToText(MailCharset::toUnicode(content, charset));
        return toCrlf(Cp932::fromUnicode(text));
    }
    return toCrlf(MailCharset::toCp932(content, charset));
}

// A parameter of a simple header value ("type/sub; name=value; name=\"value\"").
QByteArray simpleParameter(const QByteArray &value, const QByteArray &name)
{
    for (const QByteArray &piece : value.split(';')) {
        const int eq = int(piece.indexOf('='));
        if (eq <= 0 || piece.left(eq).trimmed().toLower() != name)
            continue;
        QByteArray v = piece.mid(eq + 1).trimmed();
        if (v.size() >= 2 && v.startsWith('"') && v.endsWith('"'))
            v = v.mid(1, v.size() - 2);
        return v;
    }
    return {};
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

// Most mail is one text part: read without the MIME parser, which costs most of the time.
// Returns false for anything else (multipart, files, dispositions, encoded parameters).
bool readSimpleText(const QByteArray &raw, const Fields &header, QByteArray &body)
{
    const QByteArray type = fieldValue(header, "content-type");
    const QByteArray mediaType = type.split(';').first().trimmed().toLower();
    if (!(mediaType.isEmpty() || mediaType == "text/plain" || mediaType == "text/html") || type.contains("*=")
        || type.contains("name=") || !fieldValue(header, "content-disposition").isEmpty())
        return false;
    const QByteArray encoding = fieldValue(header, "content-transfer-encoding").trimmed().toLower();
    if (!(encoding.isEmpty() || encoding == "7bit" || encoding == "8bit" || encoding == "binary"
          || encoding == "base64" || encoding == "quoted-printable"))
        return false;
    qsizetype end = -1, start = -1;
    headerEnd(raw, end, start);
    if (start < 0)
        start = raw.size();
    // The body as it stands in `raw`, not copied: decoding makes the copy.
    QByteArray content = QByteArray::fromRawData(raw.constData() + start, raw.size() - start);
    if (encoding == "base64") {
        // Plain base64 reads the same either way; anything else keeps Qt's reading.
        QByteArray decoded;
        content = decodePlainBase64(content.constData(), size_t(content.size()), decoded)
                      ? decoded
                      : QByteArray::fromBase64(content);
    } else if (encoding == "quoted-printable") {
        content = decodeQuotedPrintable(content);
    }
    const QByteArray charset = simpleParameter(type, "charset").trimmed();
    if (mediaType == "text/html")
        body = toCrlf(Cp932::fromUnicode(htmlToText(MailCharset::toUnicode(content, charset))));
    else
        body = toCrlf(MailCharset::toCp932(content, charset));
    return true;
}

bool parseMessage(const QByteArray &raw, vmime::shared_ptr<vmime::message> &msg)
{
    try {
        msg = vmime::make_shared<vmime::message>();
        msg->parse(raw.toStdString());
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace

namespace MimeReader {

QByteArray headerBlock(const QByteArray &raw)
{
    qsizetype end = -1, body = -1;
    headerEnd(raw, end, body);
    QByteArray block = end < 0 ? raw : raw.left(end);
    if (raw.startsWith("\r\n") || raw.startsWith("\n"))
        block.clear();
    return toCrlf(block);
}

QString safeFileName(const QString &name)
{
    QString base = name;
    base.replace(QLatin1Char('\\'), QLatin1Char('/'));
    base = base.section(QLatin1Char('/'), -1);
    QString clean;
    for (QChar ch : base) {
        const ushort u = ch.unicode();
        if (u < 0x20 || u == 0x7F || (u >= 0x80 && u < 0xA0) || u == 0xFFFD)
            continue;
        if (QStringLiteral(":*?\"<>|").contains(ch))
            clean += QLatin1Char('_');
        else
            clean += ch;
    }
    clean = clean.trimmed();
    while (clean.endsWith(QLatin1Char('.')))
        clean.chop(1);
    while (clean.startsWith(QLatin1Char('.')))
        clean.remove(0, 1);
    if (clean.isEmpty())
        clean = QStringLiteral("attachment");
    // Keep the extension when the name is too long for the file system.
    while (clean.toUtf8().size() > 200) {
        const int dot = int(clean.lastIndexOf(QLatin1Char('.')));
        const QString ext = (dot > 0 && clean.size() - dot <= 16) ? clean.mid(dot) : QString();
        QString stem = clean.left(clean.size() - ext.size());
        stem.chop(1);
        if (stem.isEmpty())
            return QStringLiteral("attachment") + ext;
        clean = stem + ext;
    }
    return clean;
}

namespace {

// Opens a new file in `folder` named `name`, or "stem (2).ext", "stem (3).ext", ... when taken.
bool createUnique(const QString &folder, const QString &name, QFile &file)
{
    const QDir dir(folder);
    const int dot = int(name.lastIndexOf(QLatin1Char('.')));
    const QString stem = dot > 0 ? name.left(dot) : name;
    const QString ext = dot > 0 ? name.mid(dot) : QString();
    // After a few clashes the names in use are read once from the folder instead of being
    // tried one by one: the same file name arriving in many mails would cost a square number
    // of tries. The first free number is taken either way.
    QSet<QByteArray> taken; // names as the file system has them: no decoding per entry
    bool listed = false;
    for (int n = 1; n < 10000; ++n) {
        const QString candidate = n == 1 ? name : QStringLiteral("%1 (%2)%3").arg(stem).arg(n).arg(ext);
        if (listed && taken.contains(QFile::encodeName(candidate)))
            continue;
        file.setFileName(dir.filePath(candidate));
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return true;
        if (!QFileInfo::exists(file.fileName()))
            return false; // not a name clash: the folder cannot be written
        if (n >= 4 && !listed) {
            listed = true;
            if (DIR *d = opendir(QFile::encodeName(folder).constData())) {
                while (const dirent *e = readdir(d))
                    taken.insert(QByteArray(e->d_name));
                closedir(d);
            }
        }
    }
    return false;
}

QString defaultName(const QByteArray &type, int index)
{
    QString ext = QStringLiteral(".bin");
    if (type == "message/rfc822")
        ext = QStringLiteral(".eml");
    else if (type.startsWith("text/"))
        ext = type == "text/html" ? QStringLiteral(".html") : QStringLiteral(".txt");
    else if (type == "image/jpeg")
        ext = QStringLiteral(".jpg");
    else if (type == "image/png")
        ext = QStringLiteral(".png");
    else if (type == "image/gif")
        ext = QStringLiteral(".gif");
    else if (type == "application/pdf")
        ext = QStringLiteral(".pdf");
    return QStringLiteral("attachment%1%2").arg(index).arg(ext);
}

struct Piece
{
    int number = 0;
    int total = 0;
    QByteArray content;
};

// The parts of split mails (message/partial) held in this mail, by id; a complete set is joined.
bool joinPartials(const QList<Leaf> &leaves, QList<QByteArray> &joined)
{
    QMap<QByteArray, QList<Piece>> byId;
    for (const Leaf &leaf : leaves) {
        if (leaf.type != "message/partial")
            continue;
        Piece p;
        const auto header = leaf.part->getHeader();
        const QByteArray id = parameterText(header, "Content-Type", "id");
        p.number = parameterText(header, "Content-Type", "number").trimmed().toInt();
        p.total = parameterText(header, "Content-Type", "total").trimmed().toInt();
        p.content = rawContent(leaf.part);
        byId[id].append(p);
    }
    for (auto it = byId.begin(); it != byId.end(); ++it) {
        int total = 0;
        QMap<int, QByteArray> pieces;
        for (const Piece &p : it.value()) {
            total = std::max(total, p.total);
            pieces.insert(p.number, p.content);
        }
        if (total <= 0 || pieces.size() != total || pieces.firstKey() != 1 || pieces.lastKey() != total)
            return false;
        QByteArray whole;
        for (const QByteArray &c : pieces)
            whole += c;
        // The first part's enclosed header starts the message; drop the outer one.
        joined.append(whole);
    }
    return true;
}

int saveLeaves(const QList<Leaf> &leaves, int skip, const QString &folder, QStringList *written, int depth);

int saveMessage(const QByteArray &raw, const QString &folder, QStringList *written, int depth)
{
    QList<Leaf> leaves;
    if (!fast::leaves(raw, leaves)) {
        vmime::shared_ptr<vmime::message> msg;
        if (!parseMessage(raw, msg))
            return NoAttachment;
        try {
            collectLeaves(msg, leaves, 0);
        } catch (...) {
            return NoAttachment;
        }
    }
    return saveLeaves(leaves, bodyLeaf(leaves), folder, written, depth);
}

int saveLeaves(const QList<Leaf> &leaves, int skip, const QString &folder, QStringList *written, int depth)
{
    int result = NoAttachment;
    bool partial = false;
    int index = 0;
    for (int i = 0; i < leaves.size(); ++i) {
        const Leaf &leaf = leaves[i];
        if (i == skip)
            continue;
        if (leaf.type == "message/partial") {
            partial = true;
            continue;
        }
        // Alternative and inline text renderings of the body are not files.
        if ((leaf.type == "text/plain" || leaf.type == "text/html") && !isExplicitAttachment(leaf))
            continue;
        ++index;
        const QString name = leaf.name.isEmpty() ? defaultName(leaf.type, index)
                                                 : MimeReader::safeFileName(Cp932::toUnicode(leaf.name));
        const QByteArray content =
            leaf.type == "message/rfc822" ? rawContent(leaf.part) : decodedContent(leaf.part);
        QFile file;
        if (!createUnique(folder, MimeReader::safeFileName(name), file)
            || file.write(content) != content.size() || !file.flush()) {
            if (file.isOpen()) {
                file.close();
                file.remove();
            }
            return CannotWrite;
        }
        file.close();
        if (written)
            written->append(file.fileName());
        result = Stored;
    }
    if (partial) {
        QList<QByteArray> joined;
        if (depth > 2 || !joinPartials(leaves, joined))
            return PartsMissing;
        for (const QByteArray &message : joined) {
            const int r = saveMessage(message, folder, written, depth + 1);
            if (r == CannotWrite || r == PartsMissing)
                return r;
            if (r == Stored)
                result = Stored;
        }
    }
    return result;
}

} // namespace

struct Message::Data
{
    QByteArray raw;
    bool parsed = false;
    bool ok = false;
    bool simple = false; // one text part, read without the MIME parser
    vmime::shared_ptr<vmime::message> msg;
    QList<Leaf> leaves;
    int body = -1;
    std::optional<Mail> mail;

    void parse()
    {
        if (parsed)
            return;
        parsed = true;
        if (fast::leaves(raw, leaves)) {
            body = bodyLeaf(leaves);
            ok = true;
            return;
        }
        if (!parseMessage(raw, msg))
            return;
        try {
            collectLeaves(msg, leaves, 0);
            body = bodyLeaf(leaves);
            ok = true;
        } catch (...) {
            leaves.clear();
        }
    }
};

Message::Message(const QByteArray &raw) : d(std::make_shared<Data>()) { d->raw = raw; }
Message::~Message() = default;

const QByteArray &Message::raw() const { return d->raw; }

const Mail &Message::mail() const
{
    if (!d->mail) {
        Mail mail;
        mail.header = headerBlock(d->raw);
        const Fields fields = headerFields(mail.header);
        mail.subject = decodeHeaderText(fieldValue(fields, "subject")).trimmed();
        mail.date = MailCharset::toCp932(fieldValue(fields, "date").simplified(), QByteArray());
        mail.from = decodeFrom(fieldValue(fields, "from"));
        d->simple = readSimpleText(d->raw, fields, mail.body);
        if (!d->simple) {
            d->parse();
            if (d->ok && d->body >= 0) {
                try {
                    mail.body = leafText(d->leaves[d->body]);
                } catch (...) {
                }
            }
        }
        d->mail = mail;
    }
    return *d->mail;
}

int Message::saveAttachments(const QString &folder, QStringList *written) const
{
    mail();
    if (d->simple)
        return NoAttachment; // one text part: nothing to unpack
    d->parse();
    if (!d->ok)
        return NoAttachment;
    return saveLeaves(d->leaves, d->body, folder, written, 0);
}

Mail read(const QByteArray &raw) { return Message(raw).mail(); }

int saveAttachments(const QByteArray &raw, const QString &folder, QStringList *written)
{
    return Message(raw).saveAttachments(folder, written);
}

} // namespace MimeReader
