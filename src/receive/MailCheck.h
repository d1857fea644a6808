#pragma once

#include <QString>

#include <atomic>

struct AccountSettings;

// Fetches every mail of the POP3 mailbox, stores it in the received history, then deletes it on
// the server, and announces new mail. A mail leaves the server only after it was stored; when a
// mail cannot be retrieved or stored the check stops and the mail stays for the next check.
void CheckMail();

namespace MailCheck {

// The help line's text while mail `number` of `count` is fetched.
QString progressText(int number, int count);

// How a check runs. The receive command's runs on the window thread and shows what goes wrong;
// a quiet one (the automatic check) opens no window and no message box and runs on any thread:
// what it shows in windows reaches them through the window thread, in order.
struct Options
{
    bool quiet = false;
    AccountSettings *account = nullptr; // the settings the check reads; the program's when null
    const std::atomic<bool> *stop = nullptr; // asked before each mail: the check ends early, safely
};

struct Outcome
{
    int count = 0;   // mails stored; negative when nothing was checked
    QString failure; // what went wrong, in a few words; empty when nothing did
    QString detail;  // the first message box a quiet check did not show
};

Outcome run(const Options &options);

// True while a check runs, on any thread.
bool running();

} // namespace MailCheck
