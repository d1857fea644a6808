#pragma once

#include "platform/ProgramFolder.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// The account and server settings that receiving, sending and the dialogs share.
struct AccountSettings
{
    QString SmtpServer;
    QString Pop3Server;
    QString MailAddress;
    qint16 UseApop = 0;
    // Receiving stores only mails not stored before and deletes nothing on the server.
    bool LeaveOnServer = false;
    QString AccountId;
    QString AccountPassword;
    // The ID and password were confirmed in the ID dialog during this run: they are the account
    // from then on, saved or not.
    bool AccountConfirmed = false;

    // The one program-wide instance.
    static AccountSettings &instance();
};

namespace Petpost {

// Reads petpost.ini into the server fields; a missing file leaves them as they are.
void load(const QString &path, AccountSettings &settings);
// Replaces petpost.ini by the four lines SMTP=, POP3=, MAIL=, APOP=, and KEEP=1 when mail is
// left on the server (a line older copies of the program pass over). False when it cannot be
// written; the old file then stays as it was.
bool save(const QString &path, const AccountSettings &settings);

} // namespace Petpost

namespace IdPassFile {

// A key of section EXEINI of iniIdPass.ini; empty when missing.
QString read(const QString &path, const QString &key);
// Writes one key; the file is made readable by its owner only, as it holds the password.
bool write(const QString &path, const QString &key, const QString &value);

// The account receiving and sending use: the ID and password confirmed in the ID dialog during
// this run, else the saved ones (NAME and NAME2 of the file at `path`).
struct Account
{
    QString id;
    QString password;
};
Account account(const QString &path = ProgramFolder::idPassIni());

// That account in code page 932, as the mail transport takes it for SMTP AUTH; both empty when
// there is none.
struct Credentials
{
    QByteArray id;
    QByteArray password;
};
Credentials smtpCredentials(const QString &path = ProgramFolder::idPassIni());

} // namespace IdPassFile
