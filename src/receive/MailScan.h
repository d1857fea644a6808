#pragma once

#include <QString>

// What a received mail's text tells the program: the word that announces an attachment and the
// dog marker a sending copy of the program appends.
namespace MailScan {

// True when the text holds "attachment" (exact letter case) anywhere.
bool hasAttachmentWord(const QString &body);

// The first marker number, trying 1 to 10 in this order, whose marker text occurs in the body;
// 0 when none does. Marker 1 is accepted without its closing bracket.
int markerNumber(const QString &body);

// The marker text the sender appends for dog `number` (1 to 10), closing bracket included.
QString markerText(int number);

// The dog window (form number) that shows the dog of marker `number`; 0 for an invalid number.
int formForMarker(int number);

// Appended to the stored body of a mail that carries or mentions an attachment.
const QString &attachmentNote();

} // namespace MailScan
