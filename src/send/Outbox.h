#pragma once

#include "app/AccountSettings.h"

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
};

struct Result
{
    bool sent = false;
    QString failure; // the transport's own words, cut at the first NUL
};

// Why the attachment list cannot go out, naming the file; empty when every listed file can be
// read. A path with a comma in it is named as such: the list separates paths by commas.
QString attachmentProblem(const QString &attachments);

// Hands the mail to the transport in code page 932, after giving it the SMTP login
// `credentials`. Blocks until the transport returns; safe to run off the user-interface thread
// while nothing else uses the transport.
Result send(MailTransport &transport, const Mail &mail, const IdPassFile::Credentials &credentials);

} // namespace Outbox
