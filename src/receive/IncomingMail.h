#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

#include "store/HistoryFile.h"

class MailTransport;

// One mail as the check retrieved it: code page 932 texts, each cut at its first NUL.
struct RetrievedMail
{
    QByteArray subject, date, from, header, body;
};

// The handling of each retrieved mail and the end of a mail check.
namespace IncomingMail {

// The files of a running check, found once at its first mail: the attachment folder (native,
// ending in a separator), the work file once it has been claimed, and the received history.
struct CheckFiles
{
    QString folder, workFile, history;
};

// What the handling keeps from one mail of a check to the next; part of the check's session.
struct CheckState
{
    std::optional<CheckFiles> files;
    QString body;          // the body of the mail handled last
    bool bodyShown = true; // whether the history window's editor shows it yet
    bool handledAny = false;
    int marker = 0; // the marker number and attachment flag of the mail handled last
    bool attachment = false;
};

// Scans the mail, unpacks its attachments, shows it in the history window and stores it in the
// received history. False when the mail could not be kept completely (it must then stay on the
// server); `problem` then says why, in words for the user.
bool HandleMail(CheckState &check, MailTransport &transport, int handle, const RetrievedMail &mail,
                QString *problem);

// Stores the history window's detail boxes and editor as a new record of the received history.
// Returns the new record's number, 0 when nothing was stored (`problem` says why). With
// `Flush::Later` the caller forces the record to the disk before it relies on it. When
// `editorText` is given it stands for the editor's text (and receives the text as stored).
// `files` are those of the running check, if any.
int WriteReceivedRecord(QString *problem, History::Flush flush = History::Flush::Now,
                        QString *editorText = nullptr, const CheckFiles *files = nullptr);

// Puts the body of the mail handled last into the history window's editor.
void ShowLastBody(CheckState &check);

// Removes what the handling of the mails left behind (the work file); once per check.
void EndCheck(CheckState &check);

// Announces the end of a check that found `count` mails (negative: the login failed).
void FinishCheck(const CheckState &check, int count);

// The marker number and the attachment flag of the last mail stored by any check.
int lastMarker();
bool lastAttachmentFlag();
// Forgets them (a new run of the program starts without).
void reset();

} // namespace IncomingMail
