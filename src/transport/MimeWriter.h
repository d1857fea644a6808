#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include "SmtpFailure.h"

// Building the mail we send, so that ordinary mail readers show it right.
namespace MimeWriter {

struct Outgoing
{
    QString from;        // "addr" or "Name <addr>"
    QString to;          // one or more addresses separated by commas
    QString subject;
    QString body;
    QString attachments; // full paths joined by ",", empty for none
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
