#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

#include "store/HistoryFile.h"

class MailTransport;

namespace AttachmentFiles {
class FolderNames;
}

// One mail as the check retrieved it: code page 932 texts, each cut at its first NUL.
struct RetrievedMail
{
    QByteArray subject, date, from, header, body;
};

// The handling of each retrieved mail and the end of a mail check.
namespace IncomingMail {

// The files of a running check, found once at its first mail: the attachment folder (native,
// ending in a separator), the work file once it has been claimed, and the received history.
// What a mail unpacks waits in a folder of its own inside the attachment folder until the mail
// is stored; `names` are the attachment folder's names, read once a check.
struct CheckFiles
{
    QString folder, workFile, history, staging;
    std::shared_ptr<AttachmentFiles::FolderNames> names;
    qint64 sequence = 0;   // numbers the waiting files
    bool unsynced = false; // files moved in since the folder was last forced
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
    QString fullTextFile;        // a long body's whole text, waiting or beside the attachments
    QStringList attachments;     // the files unpacked from it, waiting or in the attachment folder
    int marker = 0;
    bool attachment = false;
};

// Scans the mail, unpacks its attachments, shows it in the history window's boxes and builds
// its received-history record into `staged`. False when the mail could not be handled
// completely (it must then stay on the server); `problem` then says why, in words for the user.
bool HandleMail(CheckState &check, MailTransport &transport, int handle, const RetrievedMail &mail,
                StagedMail &staged, QString *problem);

// Moves the staged mail's files into the attachment folder under free names, then stores it as a
// new record of the received history (with `Flush::Later` the caller forces both to the disk with
// FlushStored before relying on them), adds its row to the history window's list and makes it
// the check's last mail. Returns the record's number, 0 when it could not be stored (`problem`
// says why; its files are gone again).
int WriteReceivedRecord(CheckState &check, StagedMail &staged, QString *problem,
                        History::Flush flush = History::Flush::Later);

// Forces the records written with `Flush::Later`, and the names of the files moved in before
// them, to the disk. False with the reason in `problem`.
bool FlushStored(CheckState &check, QString *problem);

// Removes what a staged mail unpacked (it stays on the server).
void DiscardStaged(const StagedMail &staged);

// Puts the body of the mail handled last into the history window's editor.
void ShowLastBody(CheckState &check);

// Removes what the handling of the mails left behind (the work file, files of mails not stored);
// once per check.
void EndCheck(CheckState &check);

// Announces the end of a check that found `count` mails (negative: the login failed).
void FinishCheck(const CheckState &check, int count);

// The marker number and the attachment flag of the last mail stored by any check.
int lastMarker();
bool lastAttachmentFlag();
// Forgets them (a new run of the program starts without).
void reset();

} // namespace IncomingMail
