#pragma once

#include <QString>

// A mail's texts in Unicode, every character kept (emoji, 𠮷): the history's records hold only
// what code page 932 can, so a mail is shown whole from its original.
struct MailText
{
    QString subject, date, from; // as the records take them
    QString to;                  // the To header, decoded
    QString body;                // the decoded text, CRLF line ends
    bool html = false;           // the body was made from an HTML part
    bool readable = true;        // false: the mail could not be taken apart
};
