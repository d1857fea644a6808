#include "FullText.h"

#include "platform/Cp932.h"
#include "platform/TextRules.h"
#include "receive/LongBody.h"
#include "receive/MailScan.h"
#include "send/SendRules.h"
#include "store/HistoryFile.h"
#include "store/Originals.h"
#include "transport/MailCharset.h"
#include "transport/MailTransport.h"


namespace {

constexpr char16_t kGeta = 0x3013;

bool isGeta(const QByteArray &bytes, qsizetype at)
{
    return at + 1 < bytes.size() && uchar(bytes[at]) == 0x81 && uchar(bytes[at + 1]) == 0xAC;
}

// Whether a field of `width` bytes may have been cut: too full for one more character.
bool full(const QString &text, int width)
{
    return Cp932::fromUnicode(text).size() >= width - 1;
}

QString leftTrimmed(const QString &text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i] == u' ')
        ++i;
    return text.mid(i);
}

} // namespace

namespace FullText {

QString restore(const QString &stored, bool cut, const QString &original)
{
    if (!cut && !stored.contains(QChar(kGeta)))
        return stored;
    const QByteArray bytes = Cp932::fromUnicode(stored);
    const QString mail = leftTrimmed(original);
    QString out;
    qsizetype at = 0; // in `bytes`
    qsizetype i = 0;  // in `mail`
    while (i < mail.size() && at < bytes.size()) {
        const qsizetype length = mail[i].isHighSurrogate() && i + 1 < mail.size() ? 2 : 1;
        const QString character = mail.mid(i, length);
        if (isGeta(bytes, at)) {
            out += character;
            at += 2;
            i += length;
            continue;
        }
        const QByteArray code = MailCharset::toStoredCp932(character);
        if (bytes.mid(at, code.size()) != code) {
            // A long body stored shortened, with a note instead of its end: shown whole.
            const QString rest = Cp932::toUnicode(bytes.mid(at));
            if (rest.startsWith(LongBody::note(QString()).section(u'「', 0, 0)))
                return mail + (stored.endsWith(MailScan::attachmentNote()) ? MailScan::attachmentNote() : QString());
            return stored;
        }
        out += character;
        at += code.size();
        i += length;
    }
    if (at < bytes.size())
        return out + Cp932::toUnicode(bytes.mid(at)); // a note after the text
    if (cut)
        out += mail.mid(i);
    return out;
}

Shown shown(int history, int n, const HistoryRecord &record)
{
    Shown s{TextRules::trimSpaces(record.Subject()), TextRules::trimSpaces(record.Address()),
            TextRules::trimSpaces(record.Date()), TextRules::trimSpaces(record.Body())};
    const bool withBody = record.bytes().size() >= HistoryRecord::Size;
    const bool cutSubject = full(s.subject, HistoryRecord::SubjectWidth);
    const bool cutAddress = full(s.address, HistoryRecord::AddressWidth);
    const bool cutBody = withBody && (full(s.body, HistoryRecord::BodyWidth) || s.body.contains(u"♪♪♪　本文が長いため"));
    const auto lost = [](const QString &text) { return text.contains(QChar(kGeta)); };
    if (!(lost(s.subject) || lost(s.address) || lost(s.date) || cutSubject || cutAddress || cutBody
          || (withBody && lost(s.body))))
        return s;

    Originals originals(history == 2 ? Originals::Kind::Sent : Originals::Kind::Received);
    const std::optional<QByteArray> kept =
        Maildir::read(originals.pathOf(n, record.bytes().left(HistoryRecord::HeadingSize)));
    if (!kept)
        return s;
    const MailText text = MailTransport::readText(*kept);
    if (!text.readable)
        return s;
    s.subject = restore(s.subject, cutSubject, text.subject);
    s.address = restore(s.address, cutAddress, history == 2 ? text.to : text.from);
    s.date = restore(s.date, false, text.date);
    if (withBody)
        s.body = restore(s.body, cutBody, history == 2 ? SendRules::typedBody(text.body) : text.body);
    return s;
}

} // namespace FullText
