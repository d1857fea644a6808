#include "MimeParts.h"

#include "MailCharset.h"
#include "MimeCodecs.h"
#include "VmimePlatform.h"
#include "platform/Cp932.h"

#include <QByteArrayMatcher>

#include <algorithm>
#include <cstring>

#include <vmime/contentTypeField.hpp>

namespace {

using MimeParts::parameterText;

// Words of a vmime text (each in its own charset) joined in code page 932 or in Unicode.
// Neighbouring words of one charset are converted together: mailers split encoded words inside
// a character.
template <typename Text, Text (*convert)(const QByteArray &, const QByteArray &)>
Text joinWords(const vmime::text &text)
{
    Text out;
    QByteArray pending;
    QByteArray pendingCharset;
    for (size_t i = 0; i < text.getWordCount(); ++i) {
        const auto w = text.getWordAt(i);
        const std::string &buf = w->getBuffer();
        const QByteArray charset = QByteArray::fromStdString(w->getCharset().getName()).toLower();
        if (charset != pendingCharset) {
            out += convert(pending, pendingCharset);
            pending.clear();
            pendingCharset = charset;
        }
        pending += QByteArray(buf.data(), qsizetype(buf.size()));
    }
    out += convert(pending, pendingCharset);
    return out;
}

QByteArray textToCp932(const vmime::text &text) { return joinWords<QByteArray, MailCharset::toCp932>(text); }

uint code(char c) { return uchar(c); }
uint code(QChar c) { return c.unicode(); }

// The address as written. The library's own text of it would encode its words again, and opening
// a converter for a charset it cannot convert to loses memory inside it each time.
template <typename Text, Text (*convert)(const QByteArray &, const QByteArray &)>
Text addressText(const vmime::emailAddress &address)
{
    const auto text = [](const vmime::word &w) {
        return convert(QByteArray::fromStdString(w.getBuffer()),
                       QByteArray::fromStdString(w.getCharset().getName()).toLower());
    };
    Text local = text(address.getLocalName());
    const Text domain = text(address.getDomainName());
    if (local.isEmpty())
        return {};
    // A local part with specials or blanks only stays one address in quotes.
    const bool plain = std::all_of(local.cbegin(), local.cend(), [](auto c) {
        const uint u = code(c);
        return u > ' ' && !(u < 0x80 && std::strchr("()<>[]:;@\\,\"", int(u)));
    });
    if (!plain)
        local = Text("\"") + Text(local).replace("\\", "\\\\").replace("\"", "\\\"") + Text("\"");
    return domain.isEmpty() ? local : local + Text("@") + domain;
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

} // namespace

namespace MimeParts {

QByteArray decodeHeaderText(const QByteArray &value)
{
    try {
        const auto text = vmime::text::decodeAndUnfold(value.toStdString());
        return textToCp932(*text);
    } catch (...) {
        return MailCharset::toCp932(value, QByteArray());
    }
}

QString decodeHeaderUnicode(const QByteArray &value)
{
    try {
        const auto text = vmime::text::decodeAndUnfold(value.toStdString());
        return joinWords<QString, MailCharset::decode>(*text);
    } catch (...) {
        return MailCharset::decode(value, QByteArray());
    }
}

QByteArray parameterText(const vmime::shared_ptr<const vmime::header> &header, const char *field,
                         const char *name, bool *present)
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

namespace {

// The content of a leaf as VMime reads it.
vmime::shared_ptr<const vmime::contentHandler> contentsOf(const Leaf &leaf)
{
    if (leaf.encoded.isNull())
        return leaf.part->getBody()->getContents();
    return vmime::make_shared<vmime::stringContentHandler>(
        std::string(leaf.encoded.constData(), size_t(leaf.encoded.size())), leaf.encoding);
}

} // namespace

QByteArray decodedContent(const Leaf &leaf)
{
    // Base64 is decoded straight from the mail: a large file is not copied first.
    if (!leaf.encoded.isNull()) {
        QByteArray decoded;
        if (QByteArray::fromStdString(leaf.encoding.getName()).toLower() == "base64"
            && MimeCodecs::decodeBase64(leaf.encoded.constData(), size_t(leaf.encoded.size()), decoded))
            return decoded;
    }
    vmime::shared_ptr<const vmime::contentHandler> contents;
    try {
        contents = contentsOf(leaf);
        if (leaf.encoded.isNull() && contents->isEncoded()
            && QByteArray::fromStdString(contents->getEncoding().getName()).toLower() == "base64") {
            std::string encoded;
            vmime::utility::outputStreamStringAdapter raw(encoded);
            contents->extractRaw(raw);
            QByteArray decoded;
            if (MimeCodecs::decodeBase64(encoded.data(), encoded.size(), decoded))
                return decoded;
        }
    } catch (...) {
    }
    std::string out;
    vmime::utility::outputStreamStringAdapter os(out);
    try {
        contents->extract(os);
    } catch (...) {
        try { // an unknown transfer encoding: the bytes as they are
            out.clear();
            contents->extractRaw(os);
        } catch (...) {
        }
    }
    return QByteArray(out.data(), qsizetype(out.size()));
}

QByteArray rawContent(const Leaf &leaf)
{
    if (!leaf.encoded.isNull())
        return QByteArray(leaf.encoded.constData(), leaf.encoded.size());
    std::string out;
    vmime::utility::outputStreamStringAdapter os(out);
    try {
        leaf.part->getBody()->getContents()->extractRaw(os);
    } catch (...) {
    }
    return QByteArray(out.data(), qsizetype(out.size()));
}

namespace {

template <typename Text, Text (*convert)(const QByteArray &, const QByteArray &), Text (*decodeText)(const QByteArray &)>
Text mailboxText(const QByteArray &raw)
{
    if (raw.isEmpty())
        return {};
    try {
        // An address without a domain ("root") is shown as written, not completed with this
        // machine's name; an encoded name alone is not an address either (the parser makes
        // "invalid@invalid" of it).
        const VmimePlatform::NoHostName noHostName;
        vmime::mailbox mbox;
        mbox.parse(raw.toStdString());
        const vmime::emailAddress &address = mbox.getEmail();
        const Text email = addressText<Text, convert>(address);
        const bool completed = address.getDomainName().getBuffer() == VmimePlatform::NoHostName::placeholder();
        const bool placeholder = email == Text("invalid@invalid") && !raw.contains("invalid@invalid");
        if (!completed && !placeholder && !email.isEmpty() && email.contains('@')) {
            const Text name = joinWords<Text, convert>(mbox.getName()).trimmed();
            return name.isEmpty() ? email : name + Text(" <") + email + Text(">");
        }
    } catch (...) {
    }
    return decodeText(raw).trimmed();
}

} // namespace

QByteArray decodeMailbox(const QByteArray &raw)
{
    return mailboxText<QByteArray, MailCharset::toCp932, decodeHeaderText>(raw);
}

QString decodeMailboxUnicode(const QByteArray &raw)
{
    return mailboxText<QString, MailCharset::decode, decodeHeaderUnicode>(raw);
}

} // namespace MimeParts

namespace {

using MimeParts::Leaf;

void collectLeaves(const vmime::shared_ptr<const vmime::bodyPart> &part, QList<Leaf> &leaves, int depth)
{
    const auto body = part->getBody();
    const QByteArray type = lowerType(part);
    if (type.startsWith("multipart/") && body->getPartCount() > 0 && depth < 50) {
        for (size_t i = 0; i < body->getPartCount(); ++i)
            collectLeaves(body->getPartAt(i), leaves, depth + 1);
        return;
    }
    leaves.append({part, type, disposition(part->getHeader()), fileName(part->getHeader()), {}, {}});
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
        if (kind == Multi) {
            // Deeper than any mailer nests: the whole mail goes to the bounds check instead.
            if (depth >= 50 || !collect(raw, body, span.end, inner, leaves, depth + 1))
                return false;
            continue;
        }
        // VMime would copy the content through its stream adapters twice; its reading of a
        // single part is its header plus the content as it stands, in the transfer encoding the
        // header names (7bit when none).
        auto part = vmime::make_shared<vmime::bodyPart>();
        part->getHeader()->parse(std::string(raw.constData() + span.start, size_t(body - span.start)));
        vmime::encoding encoding(vmime::encodingTypes::SEVEN_BIT);
        if (part->getHeader()->hasField("Content-Transfer-Encoding"))
            encoding = *part->getHeader()->findField("Content-Transfer-Encoding")->getValue<vmime::encoding>();
        collectLeaves(part, leaves, depth);
        leaves.last().encoded = QByteArray::fromRawData(raw.constData() + body, span.end - body);
        leaves.last().encoding = encoding;
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

namespace MimeParts {

bool withinBounds(const QByteArray &raw)
{
    static const char word[] = "multipart";
    const char *p = raw.constData();
    const qsizetype n = raw.size() - 8;
    int count = 0;
    for (qsizetype i = 0; i < n; ++i) {
        if ((p[i] | 0x20) != 'm')
            continue;
        int k = 1;
        while (k < 9 && (p[i + k] | 0x20) == word[k])
            ++k;
        if (k == 9 && ++count > MaxMultiparts)
            return false;
    }
    return true;
}

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
    const QByteArray content = decodedContent(leaf);
    const QByteArray charset = parameterText(leaf.part->getHeader(), "Content-Type", "charset").trimmed();
    if (leaf.type == "text/html") {
        const QString text = MimeCodecs::htmlToText(MailCharset::toUnicode(content, charset));
        return MimeCodecs::toCrlf(Cp932::fromUnicode(text));
    }
    return MimeCodecs::toCrlf(MailCharset::toCp932(content, charset));
}

QString leafUnicode(const Leaf &leaf)
{
    const QByteArray content = decodedContent(leaf);
    const QByteArray charset = parameterText(leaf.part->getHeader(), "Content-Type", "charset").trimmed();
    const QString text = MailCharset::decode(content, charset);
    return MimeCodecs::crlfLines(leaf.type == "text/html" ? MimeCodecs::htmlToText(text) : text);
}

bool read(const QByteArray &raw, Parts &out)
{
    out = Parts();
    if (fast::leaves(raw, out.leaves))
        return true;
    if (!withinBounds(raw))
        return false;
    if (!parseMessage(raw, out.message))
        return false;
    try {
        collectLeaves(out.message, out.leaves, 0);
        return true;
    } catch (...) {
        out.leaves.clear();
        return false;
    }
}

} // namespace MimeParts
