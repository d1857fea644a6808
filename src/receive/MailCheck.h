#pragma once

// Fetches every mail of the POP3 mailbox, stores it in the received history, then deletes it on
// the server, and announces new mail.
void CheckMail();
