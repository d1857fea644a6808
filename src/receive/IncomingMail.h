#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

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
    bool clearListFirst = false; // the history window's list is emptied at the first mail, not before
};

// A mail handled but not yet stored: its record waits until the mail's original is safe on the
// disk.
struct StagedMail
{
    HistoryRecord record;
    QString subject, from, date; // its row in the history window's list
    QString body;                // as stored
    QString fullTextFile;        // a long body's whole text beside the attachments, if any
    QStringList attachments;     // the files unpacked from it
    int marker = 0;
    bool attachment = false;
};

// Scans the mail, unpacks its attachments, shows it in the history window's boxes and builds
// its received-history record into `staged`. False when the mail could not be handled
// completely (it must then stay on the server); `problem` then says why, in words for the user.
bool HandleMail(CheckState &check, MailTransport &transport, int handle, const RetrievedMail &mail,
                StagedMail &staged, QString *problem);

// Stores a staged mail as a new record of the received history (with `Flush::Later` the caller
// forces it to the disk before relying on it), adds its row to the history window's list and
// makes it the check's last mail. Returns the record's number, 0 when it could not be stored
// (`problem` says why).
int WriteReceivedRecord(CheckState &check, const StagedMail &staged, QString *problem,
                        History::Flush flush = History::Flush::Later);

// Removes what a staged mail left beside the attachments (it stays on the server).
void DiscardStaged(const StagedMail &staged);

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
