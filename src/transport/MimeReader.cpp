#include "MimeReader.h"

#include "AttachmentFiles.h"
#include "MailCharset.h"
#include "MimeCodecs.h"
#include "MimeParts.h"
#include "VmimePlatform.h"
#include "platform/Cp932.h"

#include <QHash>
#include <QMap>

#include <cstring>
#include <optional>

namespace {

using MimeParts::Leaf;

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

// Where the header of `raw` ends: at its first empty line, whatever the line ends ("\r\n\r\n",
// "\n\n", or the two mixed).
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
        // A line end of either kind followed by an empty line of either kind.
        const qsizetype lineEnd = at >= 1 && p[at - 1] == '\r' ? at - 1 : at;
        if (at + 1 < n && p[at + 1] == '\n') {
            end = lineEnd;
            body = at + 2;
            return;
        }
        if (at + 2 < n && p[at + 1] == '\r' && p[at + 2] == '\n') {
            end = lineEnd;
            body = at + 3;
            return;
        }
        i = at + 1;
    }
}

// A mailbox mostly comes from a few senders: the parser's reading of each sender's From value
// is remembered (it depends on nothing but the value).
QByteArray decodeFrom(const QByteArray &raw)
{
    static thread_local QHash<QByteArray, QByteArray> known;
    if (const auto it = known.constFind(raw); it != known.cend())
        return it.value();
    if (known.size() >= 256)
        known.clear();
    const QByteArray decoded = MimeParts::decodeMailbox(raw);
    known.insert(raw, decoded);
    return decoded;
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

// Most mail is one text part: read without the MIME parser, which costs most of the time.
// Gives the part's content without its transfer encoding; false for anything else (multipart,
// files, dispositions, encoded parameters).
bool simpleContent(const QByteArray &raw, const Fields &header, QByteArray &content, QByteArray &charset, bool &html)
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
    content = QByteArray::fromRawData(raw.constData() + start, raw.size() - start);
    if (encoding == "base64") {
        // Plain base64 reads the same either way; anything else keeps Qt's reading.
        QByteArray decoded;
        content = MimeCodecs::decodeBase64(content.constData(), size_t(content.size()), decoded)
                      ? decoded
                      : QByteArray::fromBase64(content);
    } else if (encoding == "quoted-printable") {
        content = MimeCodecs::decodeQuotedPrintable(content);
    }
    charset = simpleParameter(type, "charset").trimmed();
    html = mediaType == "text/html";
    return true;
}

bool readSimpleText(const QByteArray &raw, const Fields &header, QByteArray &body)
{
    QByteArray content, charset;
    bool html = false;
    if (!simpleContent(raw, header, content, charset, html))
        return false;
    if (html)
        body = MimeCodecs::toCrlf(
            Cp932::fromUnicode(MimeCodecs::htmlToText(MailCharset::toUnicode(content, charset))));
    else
        body = MimeCodecs::toCrlf(MailCharset::toCp932(content, charset));
    return true;
}

} // namespace

namespace MimeReader {

QString unreadableName() { return QStringLiteral("読み取れないメール.eml"); }

QString unreadableNote()
{
    return QStringLiteral("このメールは形式が壊れているか入れ子が深すぎるため、読み取れませんでした。"
                          "受信したままの全文を添付フォルダに「%1」の名前で保存しました"
                          "（同じ名前のファイルがあるときは番号が付きます）。\r\n")
        .arg(unreadableName());
}

QByteArray headerBlock(const QByteArray &raw)
{
    qsizetype end = -1, body = -1;
    headerEnd(raw, end, body);
    QByteArray block = end < 0 ? raw : raw.left(end);
    if (raw.startsWith("\r\n") || raw.startsWith("\n"))
        block.clear();
    block = MimeCodecs::toCrlf(block);
    // A mail of header lines only: its last line end is not part of the block.
    while (block.endsWith('\n'))
        block.chop(2);
    return block;
}

namespace {

// Unpacking: every leaf that is a file, and the split mails whose parts are all here.

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
        const QByteArray id = MimeParts::parameterText(header, "Content-Type", "id");
        p.number = MimeParts::parameterText(header, "Content-Type", "number").trimmed().toInt();
        p.total = MimeParts::parameterText(header, "Content-Type", "total").trimmed().toInt();
        p.content = MimeParts::rawContent(leaf);
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

int saveLeaves(const QList<Leaf> &leaves, int skip, AttachmentFiles::Unpacking &files, int depth);

int saveMessage(const QByteArray &raw, AttachmentFiles::Unpacking &files, int depth)
{
    MimeParts::Parts parts;
    if (!MimeParts::read(raw, parts))
        return NoAttachment;
    return saveLeaves(parts.leaves, MimeParts::bodyLeaf(parts.leaves), files, depth);
}

int saveLeaves(const QList<Leaf> &leaves, int skip, AttachmentFiles::Unpacking &files, int depth)
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
        if ((leaf.type == "text/plain" || leaf.type == "text/html") && !MimeParts::isExplicitAttachment(leaf))
            continue;
        ++index;
        const QString name = leaf.name.isEmpty() ? AttachmentFiles::defaultName(leaf.type, index)
                                                 : AttachmentFiles::safeFileName(Cp932::toUnicode(leaf.name));
        const QByteArray content = leaf.type == "message/rfc822" ? MimeParts::rawContent(leaf)
                                                                 : MimeParts::decodedContent(leaf);
        if (files.store(name, content).isEmpty())
            return CannotWrite;
        result = Stored;
    }
    if (partial) {
        QList<QByteArray> joined;
        if (depth > 2 || !joinPartials(leaves, joined))
            return PartsMissing;
        for (const QByteArray &message : joined) {
            const int r = saveMessage(message, files, depth + 1);
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
    bool simple = false;     // one text part, read without the MIME parser
    bool unreadable = false; // kept whole as a file instead (see unreadableName)
    MimeParts::Parts parts;
    int body = -1;
    std::optional<Mail> mail;

    void parse()
    {
        if (parsed)
            return;
        parsed = true;
        ok = MimeParts::read(raw, parts);
        if (ok)
            body = MimeParts::bodyLeaf(parts.leaves);
    }
};

Message::Message(const QByteArray &raw) : d(std::make_shared<Data>())
{
    VmimePlatform::ensure();
    d->raw = raw;
}
Message::~Message() = default;

const QByteArray &Message::raw() const { return d->raw; }

const Mail &Message::mail() const
{
    if (!d->mail) {
        Mail mail;
        mail.header = headerBlock(d->raw);
        const Fields fields = headerFields(mail.header);
        mail.subject = MimeParts::decodeHeaderText(fieldValue(fields, "subject")).trimmed();
        mail.date = MailCharset::toCp932(fieldValue(fields, "date").simplified(), QByteArray());
        mail.from = decodeFrom(fieldValue(fields, "from"));
        d->simple = readSimpleText(d->raw, fields, mail.body);
        if (!d->simple) {
            // A mail the parser refuses, or nested too deep to give it, is kept whole.
            d->parse();
            d->unreadable = !d->ok;
            if (d->unreadable)
                mail.body = Cp932::fromUnicode(unreadableNote());
            if (d->ok && d->body >= 0) {
                try {
                    mail.body = MimeParts::leafText(d->parts.leaves[d->body]);
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
    if (written)
        written->clear();
    if (d->simple)
        return NoAttachment; // one text part: nothing to unpack
    AttachmentFiles::Unpacking files(folder);
    int result = Stored;
    if (d->unreadable)
        result = files.store(unreadableName(), d->raw).isEmpty() ? CannotWrite : Stored;
    else
        result = saveLeaves(d->parts.leaves, d->body, files, 0);
    // The mail stays on the server and comes again: what it wrote so far would be doubled.
    if (result == CannotWrite)
        files.discard();
    if (written)
        *written = files.written();
    return result;
}

Mail read(const QByteArray &raw) { return Message(raw).mail(); }

MailText readText(const QByteArray &raw)
{
    VmimePlatform::ensure();
    MailText text;
    const Fields fields = headerFields(headerBlock(raw));
    text.subject = MimeParts::decodeHeaderUnicode(fieldValue(fields, "subject")).trimmed();
    text.date = MailCharset::decode(fieldValue(fields, "date").simplified(), QByteArray());
    text.from = MimeParts::decodeMailboxUnicode(fieldValue(fields, "from"));
    text.to = MimeParts::decodeHeaderUnicode(fieldValue(fields, "to")).simplified();
    QByteArray content, charset;
    if (simpleContent(raw, fields, content, charset, text.html)) {
        const QString decoded = MailCharset::decode(content, charset);
        text.body = MimeCodecs::crlfLines(text.html ? MimeCodecs::htmlToText(decoded) : decoded);
        return text;
    }
    MimeParts::Parts parts;
    if (!MimeParts::read(raw, parts)) {
        text.readable = false;
        return text;
    }
    const int body = MimeParts::bodyLeaf(parts.leaves);
    if (body >= 0) {
        try {
            text.html = parts.leaves[body].type == "text/html";
            text.body = MimeParts::leafUnicode(parts.leaves[body]);
        } catch (...) {
        }
    }
    return text;
}

int saveAttachments(const QByteArray &raw, const QString &folder, QStringList *written)
{
    return Message(raw).saveAttachments(folder, written);
}

} // namespace MimeReader
