#pragma once

#include <QString>

// Fetches every mail of the POP3 mailbox, stores it in the received history, then deletes it on
// the server, and announces new mail. A mail leaves the server only after it was stored; when a
// mail cannot be retrieved or stored the check stops and the mail stays for the next check.
void CheckMail();

namespace MailCheck {

// The help line's text while mail `number` of `count` is fetched.
QString progressText(int number, int count);

} // namespace MailCheck
