#pragma once

#include <QByteArray>
#include <QString>

#include "store/HistoryFile.h"

class MailTransport;

// One mail as the check retrieved it: code page 932 texts, each cut at its first NUL.
struct RetrievedMail
{
    QByteArray subject, date, from, header, body;
};

// The handling of each retrieved mail and the end of a mail check.
namespace IncomingMail {

// Scans the mail, unpacks its attachments, shows it in the history window and stores it in the
// received history. False when the mail could not be kept completely (it must then stay on the
// server); `problem` then says why, in words for the user.
bool HandleMail(MailTransport &transport, int handle, const RetrievedMail &mail, QString *problem);

// Stores the history window's detail boxes and editor as a new record of the received history.
// Returns the new record's number, 0 when nothing was stored (`problem` says why). With
// `Flush::Later` the caller forces the record to the disk before it relies on it. When
// `editorText` is given it stands for the editor's text (and receives the text as stored).
int WriteReceivedRecord(QString *problem, History::Flush flush = History::Flush::Now,
                        QString *editorText = nullptr);

// Puts the body of the mail handled last into the history window's editor.
void ShowLastBody();

// Removes what the handling of the mails left behind (the work file); once per check.
void EndCheck();

// Announces the end of a check that found `count` mails (negative: the login failed).
void FinishCheck(int count);

// The marker number and the attachment flag of the last mail stored.
int lastMarker();
bool lastAttachmentFlag();
// Forgets them (a new run of the program starts without).
void reset();

} // namespace IncomingMail
