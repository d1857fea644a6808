#pragma once

#include "app/AccountSettings.h"
#include "transport/MimeWriter.h"

#include <QString>

class MailTransport;

// The one way a mail leaves the program, for the compose and the reply window alike.
namespace Outbox {

struct Mail
{
    QString server; // SMTP server as in the settings
    QString to;     // one or more addresses separated by commas
    QString from;   // the sender address
    QString subject;
    QString body;
    QString attachments; // full paths joined by ",", empty for none
    MimeWriter::Thread thread = {}; // a reply's place in its thread
};

struct Result
{
    bool sent = false;
    QString failure; // the transport's own words, cut at the first NUL
    QByteArray mime; // the mail exactly as the server took it
};

// Why the attachment list cannot go out, naming the file; empty when every listed file can be
// read. A path with a comma in it is named as such: the list separates paths by commas.
QString attachmentProblem(const QString &attachments);

// Hands the mail to the transport, every character as typed, after giving it the SMTP login
// `credentials`. Blocks until the transport returns; safe to run off the user-interface thread
// while nothing else uses the transport.
Result send(MailTransport &transport, const Mail &mail, const IdPassFile::Credentials &credentials);

// Keeps `mail` (as the server took it) as the original of record `record` of the sent history:
// in the Maildir ★MailData/Sent, forced to the disk, and named in the index of originals.
// False, with `problem`, when it cannot be kept.
bool keepSent(int record, const QByteArray &mail, QString *problem);

// Writes the records a crash lost (while their originals were kept) back into the sent history,
// before a new record is appended there.
void recoverSent();

} // namespace Outbox
