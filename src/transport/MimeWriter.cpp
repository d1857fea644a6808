#include "MimeWriter.h"

#include "MailCharset.h"
#include "MimeCodecs.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QMimeDatabase>
#include <QRandomGenerator>
#include <QTimeZone>

#include <algorithm>

namespace {

bool isPlainAscii(const QString &text)
{
    for (QChar ch : text)
        if (ch.unicode() >= 0x7F || (ch.unicode() < 0x20 && ch != QLatin1Char('\t')))
            return false;
    return !text.contains(QLatin1String("=?"));
}

// Every line in ISO-2022-JP ending in ASCII, or false.
bool bodyAsIso2022Jp(const QString &text, QByteArray &out)
{
    out.clear();
    const QStringList lines = text.split(QLatin1String("\r\n"));
    for (int i = 0; i < lines.size(); ++i) {
        QByteArray line;
        if (!MailCharset::toIso2022Jp(lines[i], line) || line.size() > 990)
            return false;
        out += line;
        if (i + 1 < lines.size())
            out += "\r\n";
    }
    return true;
}

// Splits an address list at commas that are outside quotes and angle brackets.
QStringList splitAddresses(const QString &text)
{
    QStringList parts;
    QString current;
    bool quoted = false;
    int angle = 0;
    for (QChar ch : text) {
        if (ch == QLatin1Char('"'))
            quoted = !quoted;
        else if (!quoted && ch == QLatin1Char('<'))
            ++angle;
        else if (!quoted && ch == QLatin1Char('>') && angle > 0)
            --angle;
        if (!quoted && angle == 0 && (ch == QLatin1Char(',') || ch == QLatin1Char(';'))) {
            parts << current.trimmed();
            current.clear();
            continue;
        }
        current += ch;
    }
    parts << current.trimmed();
    parts.removeAll(QString());
    return parts;
}

struct Address
{
    QString name;
    QString email;
};

bool parseAddress(const QString &text, Address &a)
{
    const int lt = int(text.lastIndexOf(QLatin1Char('<')));
    const int gt = int(text.lastIndexOf(QLatin1Char('>')));
    if (lt >= 0 && gt > lt) {
        a.email = text.mid(lt + 1, gt - lt - 1).trimmed();
        a.name = text.left(lt).trimmed();
        if (a.name.size() >= 2 && a.name.startsWith(QLatin1Char('"')) && a.name.endsWith(QLatin1Char('"')))
            a.name = a.name.mid(1, a.name.size() - 2);
    } else {
        a.email = text.trimmed();
        a.name.clear();
    }
    const int at = int(a.email.indexOf(QLatin1Char('@')));
    if (at <= 0 || at != a.email.lastIndexOf(QLatin1Char('@')) || at == a.email.size() - 1)
        return false;
    for (QChar ch : a.email)
        if (ch.unicode() <= 0x20 || ch.unicode() >= 0x7F || QStringLiteral("<>()[]\\,;:\"").contains(ch))
            return false;
    return true;
}

QByteArray addressHeader(const Address &a)
{
    if (a.name.isEmpty())
        return a.email.toLatin1();
    QByteArray name;
    if (isPlainAscii(a.name)) {
        QString n = a.name;
        n.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('"'), QLatin1String("\\\""));
        name = '"' + n.toLatin1() + '"';
    } else {
        name = MimeWriter::encodeHeaderText(a.name, 4);
    }
    return name + " <" + a.email.toLatin1() + ">";
}

QByteArray percentEncoded(const QByteArray &utf8)
{
    QByteArray out;
    for (char c : utf8) {
        const uchar u = uchar(c);
        if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9')
            || QByteArray("!#$&+-.^_`|~").contains(c))
            out += c;
        else
            out += '%' + QByteArray::number(u, 16).toUpper().rightJustified(2, '0');
    }
    return out;
}

// `param`*=UTF-8''..., split into numbered sections when long (RFC 2231).
QByteArray rfc2231(const char *param, const QString &value)
{
    const QByteArray encoded = percentEncoded(value.toUtf8());
    const QByteArray name(param);
    if (encoded.size() + name.size() <= 60)
        return name + "*=UTF-8''" + encoded;
    QByteArray out;
    qsizetype pos = 0;
    int section = 0;
    while (pos < encoded.size()) {
        qsizetype len = std::min<qsizetype>(60, encoded.size() - pos);
        // Never split a %XX triplet.
        while (len > 0 && pos + len < encoded.size()
               && (encoded[pos + len - 1] == '%' || (len >= 2 && encoded[pos + len - 2] == '%')))
            --len;
        if (section > 0)
            out += ";\r\n ";
        out += name + '*' + QByteArray::number(section) + '*' + '=' + (section == 0 ? "UTF-8''" : "")
               + encoded.mid(pos, len);
        pos += len;
        ++section;
    }
    return out;
}

QByteArray quotedAscii(const QString &value)
{
    QString v = value;
    v.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('"'), QLatin1String("\\\""));
    return '"' + v.toLatin1() + '"';
}

QByteArray rfc2822Date(const QDateTime &now)
{
    const int offset = now.offsetFromUtc() / 60;
    const QByteArray zone = QByteArray(offset < 0 ? "-" : "+")
                            + QByteArray::number(std::abs(offset) / 60).rightJustified(2, '0')
                            + QByteArray::number(std::abs(offset) % 60).rightJustified(2, '0');
    return QLocale::c().toString(now, QStringLiteral("ddd, d MMM yyyy HH:mm:ss ")).toLatin1() + zone;
}

// The message ids in a field's value, in order; anything else (comments, words of older mailers)
// is passed over, and so is an id that could not go into a header line as it is.
QList<QByteArray> messageIds(const QByteArray &value)
{
    QList<QByteArray> ids;
    qsizetype at = 0;
    while ((at = value.indexOf('<', at)) >= 0) {
        const qsizetype end = value.indexOf('>', at + 1);
        if (end < 0)
            break;
        const QByteArray id = value.mid(at, end - at + 1);
        const bool printable =
            std::all_of(id.cbegin() + 1, id.cend() - 1, [](char c) { return c > 0x20 && c < 0x7F && c != '<'; });
        if (printable && id.size() > 2 && id.size() <= 250)
            ids << id;
        at = end + 1;
    }
    return ids;
}

} // namespace

namespace MimeWriter {

Thread replyThread(const QByteArray &header)
{
    // Unfolded fields of the header block, which ends at the first empty line.
    QByteArray messageId, references, inReplyTo;
    QByteArray *field = nullptr;
    for (qsizetype at = 0; at < header.size();) {
        qsizetype end = header.indexOf('\n', at);
        if (end < 0)
            end = header.size();
        QByteArray line = header.mid(at, end - at);
        at = end + 1;
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty())
            break;
        if (line[0] == ' ' || line[0] == '\t') {
            if (field)
                *field += ' ' + line.trimmed();
            continue;
        }
        const qsizetype colon = line.indexOf(':');
        const QByteArray name = line.left(colon).trimmed().toLower();
        field = nullptr;
        if (colon > 0 && name == "message-id" && messageId.isEmpty())
            field = &messageId;
        else if (colon > 0 && name == "references" && references.isEmpty())
            field = &references;
        else if (colon > 0 && name == "in-reply-to" && inReplyTo.isEmpty())
            field = &inReplyTo;
        if (field)
            *field = line.mid(colon + 1).trimmed();
    }
    Thread thread;
    const QList<QByteArray> own = messageIds(messageId);
    thread.references = messageIds(references);
    if (thread.references.isEmpty()) {
        const QList<QByteArray> answered = messageIds(inReplyTo);
        if (answered.size() == 1)
            thread.references = answered;
    }
    if (!own.isEmpty()) {
        thread.inReplyTo = own.first();
        thread.references.removeAll(own.first());
        thread.references << own.first();
    }
    // A long thread keeps its first mail and its latest ones.
    constexpr qsizetype kMost = 20;
    if (thread.references.size() > kMost)
        thread.references =
            QList<QByteArray>{thread.references.first()} + thread.references.mid(thread.references.size() - kMost + 1);
    return thread;
}

QByteArray addressOnly(const QString &text)
{
    Address a;
    parseAddress(text, a);
    return a.email.toLatin1();
}

QByteArray encodeHeaderText(const QString &text, int used)
{
    if (isPlainAscii(text))
        return text.toLatin1();
    QByteArray whole;
    const bool jis = MailCharset::toIso2022Jp(text, whole);
    const QByteArray prefix = jis ? "=?ISO-2022-JP?B?" : "=?UTF-8?B?";
    auto encode = [&](const QString &chunk) {
        QByteArray bytes;
        if (jis)
            MailCharset::toIso2022Jp(chunk, bytes);
        else
            bytes = chunk.toUtf8();
        return prefix + bytes.toBase64() + "?=";
    };
    QByteArray out;
    QString chunk;
    QByteArray word;
    int limit = std::max(40, 75 - used);
    for (int i = 0; i < text.size();) {
        const int len = (text[i].isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
        const QString next = chunk + text.mid(i, len);
        const QByteArray candidate = encode(next);
        if (candidate.size() > limit && !chunk.isEmpty()) {
            out += (out.isEmpty() ? "" : "\r\n ") + word;
            chunk.clear();
            limit = 75;
            continue;
        }
        chunk = next;
        word = candidate;
        i += len;
    }
    if (!chunk.isEmpty())
        out += (out.isEmpty() ? "" : "\r\n ") + word;
    return out;
}

bool build(const Outgoing &mail, QByteArray &raw, QList<QByteArray> &recipients, SmtpFailure &failure)
{
    raw.clear();
    recipients.clear();
    QList<Address> to;
    for (const QString &part : splitAddresses(mail.to)) {
        Address a;
        if (!parseAddress(part, a)) {
            failure = {SmtpFailure::Kind::BadRecipient, part, {}};
            return false;
        }
        to << a;
        recipients << a.email.toLatin1();
    }
    if (to.isEmpty()) {
        failure = {SmtpFailure::Kind::NoRecipient, {}, {}};
        return false;
    }
    Address from;
    if (!parseAddress(mail.from, from)) {
        failure = {SmtpFailure::Kind::BadSender, mail.from, {}};
        return false;
    }

    struct File
    {
        QString name;
        QByteArray type;
        QByteArray data;
    };
    QList<File> files;
    for (QString path : mail.attachments.split(QLatin1Char(','))) {
        path = path.trimmed();
        if (path.isEmpty())
            continue;
        if (!QFileInfo(path).isFile() && path.contains(QLatin1Char('\\'))) {
            QString alt = path;
            alt.replace(QLatin1Char('\\'), QLatin1Char('/'));
            if (QFileInfo(alt).isFile())
                path = alt;
        }
        QFile f(path);
        if (!QFileInfo(path).isFile()) {
            failure = {SmtpFailure::Kind::FileMissing, path, {}};
            return false;
        }
        if (!f.open(QIODevice::ReadOnly)) {
            failure = {SmtpFailure::Kind::FileUnreadable, path, {}};
            return false;
        }
        File file;
        file.name = QFileInfo(path).fileName();
        file.type = QMimeDatabase().mimeTypeForFile(path, QMimeDatabase::MatchExtension).name().toLatin1();
        if (file.type.isEmpty() || file.type == "application/x-zerosize")
            file.type = "application/octet-stream";
        file.data = f.readAll();
        files << file;
    }

    const QDateTime now = QDateTime::currentDateTime();
    const QByteArray domain = from.email.section(QLatin1Char('@'), 1).toLatin1();
    const QByteArray messageId = "<" + now.toUTC().toString(QStringLiteral("yyyyMMddHHmmsszzz")).toLatin1()
                                 + "." + QByteArray::number(QRandomGenerator::global()->generate64(), 16)
                                 + "@" + (domain.isEmpty() ? QByteArray("wanderpup.invalid") : domain) + ">";

    QByteArray head;
    head += "Date: " + rfc2822Date(now) + "\r\n";
    head += "From: " + addressHeader(from) + "\r\n";
    QByteArray toLine;
    for (const Address &a : to)
        toLine += (toLine.isEmpty() ? "" : ",\r\n ") + addressHeader(a);
    head += "To: " + toLine + "\r\n";
    head += "Subject: " + encodeHeaderText(mail.subject, 9) + "\r\n";
    head += "Message-ID: " + messageId + "\r\n";
    if (!mail.thread.inReplyTo.isEmpty())
        head += "In-Reply-To: " + mail.thread.inReplyTo + "\r\n";
    if (!mail.thread.references.isEmpty())
        head += "References: " + mail.thread.references.join("\r\n ") + "\r\n";
    head += "MIME-Version: 1.0\r\n";
    head += "X-Mailer: Wanderpup\r\n";

    const QString bodyText = MimeCodecs::crlfLines(mail.body);
    QByteArray textPart;
    QByteArray jis;
    if (bodyAsIso2022Jp(bodyText, jis)) {
        textPart = "Content-Type: text/plain; charset=ISO-2022-JP\r\nContent-Transfer-Encoding: 7bit\r\n\r\n"
                   + jis + "\r\n";
    } else {
        textPart = "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: base64\r\n\r\n"
                   + MimeCodecs::base64Lines(bodyText.toUtf8());
    }

    if (files.isEmpty()) {
        raw = head + textPart;
        return true;
    }
    const QByteArray boundary = "----=_Wanderpup_"
                                + QByteArray::number(QRandomGenerator::global()->generate64(), 16)
                                + QByteArray::number(now.toMSecsSinceEpoch(), 16);
    raw = head + "Content-Type: multipart/mixed;\r\n boundary=\"" + boundary + "\"\r\n\r\n"
          + "This is a multi-part message in MIME format.\r\n\r\n";
    raw += "--" + boundary + "\r\n" + textPart;
    for (File &f : files) {
        raw += "\r\n--" + boundary + "\r\n";
        if (isPlainAscii(f.name)) {
            raw += "Content-Type: " + f.type + "; name=" + quotedAscii(f.name) + "\r\n";
            raw += "Content-Transfer-Encoding: base64\r\n";
            raw += "Content-Disposition: attachment; filename=" + quotedAscii(f.name) + "\r\n\r\n";
        } else {
            // RFC 2231 for readers that follow the standard; the RFC 2047 name for older ones.
            raw += "Content-Type: " + f.type + ";\r\n name=\"" + encodeHeaderText(f.name, 7) + "\"\r\n";
            raw += "Content-Transfer-Encoding: base64\r\n";
            raw += "Content-Disposition: attachment;\r\n " + rfc2231("filename", f.name) + "\r\n\r\n";
        }
        MimeCodecs::appendBase64Lines(raw, f.data);
        f.data = QByteArray(); // a large file is held once, as the mail
    }
    raw += "\r\n--" + boundary + "--\r\n";
    return true;
}

} // namespace MimeWriter
