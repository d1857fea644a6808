#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include "SmtpFailure.h"

// Building the mail we send, so that ordinary mail readers show it right.
namespace MimeWriter {

// Where a reply stands in its thread: In-Reply-To and References, for mail readers to show it
// below the mail it answers. Message ids only ("<…>", printable ASCII without blanks).
struct Thread
{
    QByteArray inReplyTo;         // empty for a mail that answers none
    QList<QByteArray> references; // oldest first
};

// The thread of a reply to the mail whose header block (CR LF or LF line ends) is `header`.
// Empty when the mail has neither a Message-ID nor References.
Thread replyThread(const QByteArray &header);

struct Outgoing
{
    QString from;        // "addr" or "Name <addr>"
    QString to;          // one or more addresses separated by commas
    QString subject;
    QString body;
    QString attachments; // full paths joined by ",", empty for none
    Thread thread = {};
};

// Texts go as ISO-2022-JP when every character fits JIS X 0208 (lines ending in ASCII), else
// as UTF-8 in base64; headers as RFC 2047 words; attachments as base64 parts named by RFC 2231.
// On failure `failure` says why (no recipient, a bad address, a missing or unreadable file).
bool build(const Outgoing &mail, QByteArray &raw, QList<QByteArray> &recipients, SmtpFailure &failure);

// The bare address of "Name <addr>" or "addr".
QByteArray addressOnly(const QString &text);

// A header value as RFC 2047 words (folded), or as it is when it is plain ASCII.
QByteArray encodeHeaderText(const QString &text, int used);

} // namespace MimeWriter
