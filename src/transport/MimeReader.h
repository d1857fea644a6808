#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "MailText.h"

#include <memory>

// Reading received mail: the texts the program shows and the attachments it unpacks.
namespace MimeReader {

struct Mail
{
    QByteArray subject; // decoded, code page 932
    QByteArray date;    // the Date header text, unfolded
    QByteArray from;    // "Name <addr>" decoded, or "addr"
    QByteArray header;  // the raw header block, CRLF line ends, no closing blank line
    QByteArray body;    // the decoded text of the mail, CRLF line ends, code page 932
};

// One received mail, read by the MIME parser once for both its texts and its attachments.
// Never throws: a mail the MIME parser cannot make sense of gives what could be read.
class Message
{
public:
    explicit Message(const QByteArray &raw);
    ~Message();

    const QByteArray &raw() const;
    const Mail &mail() const;
    // See saveAttachments below.
    int saveAttachments(const QString &folder, QStringList *written = nullptr) const;

private:
    struct Data;
    std::shared_ptr<Data> d;
};

Mail read(const QByteArray &raw);

// The texts of a mail in Unicode, every character kept.
MailText readText(const QByteArray &raw);

// A mail the MIME parser cannot read (broken, or nested deeper than MimeParts::withinBounds
// allows) is not lost: its body text is unreadableNote() and its attachment is the whole mail
// as it came, stored under unreadableName().
QString unreadableName();
QString unreadableNote();

// The raw header block of a mail (see Mail::header).
QByteArray headerBlock(const QByteArray &raw);

// Results of saveAttachments.
enum { NoAttachment = 0, Stored = 1, CannotWrite = -5, PartsMissing = -6 };

// Writes every attachment of the mail into `folder` under a safe name, never replacing an
// existing file (see AttachmentFiles). PartsMissing when the mail holds a part of a split mail
// whose other parts are not in it; CannotWrite when a file could not be created or written (the
// files this mail wrote are removed again); `written` gets the paths.
int saveAttachments(const QByteArray &raw, const QString &folder, QStringList *written = nullptr);

} // namespace MimeReader
