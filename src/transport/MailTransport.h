#pragma once

#include <QByteArray>
#include <QString>

// The mail transport: POP3/APOP to fetch, MIME to unpack attachments, SMTP to send.
// Mail texts pass in code page 932; file and folder paths are native paths. Output texts are
// assigned whole (the caller still cuts them at the first NUL). Results are 32-bit signed as
// the callers rely on: -1 for a failed connect, a negative count for a failed login, a
// negative send result for a mail that did not go out.
class MailTransport
{
public:
    virtual ~MailTransport() = default;

    virtual void NMailInitializeWinSock() = 0;
    virtual void NMailSetOption(int option, int value) = 0;

    // `server` is "host", "host:port" or "pop3://host[:port]" / "pop3s://host[:port]".
    virtual int NMailPop3Connect(const QByteArray &server) = 0;
    // apopFlag: -1 = APOP, 0 = USER/PASS. Returns the number of mails, negative on failure.
    virtual int NMailPop3Authenticate(int handle, const QByteArray &id, const QByteArray &password,
                                      int apopFlag) = 0;
    virtual int NMailPop3GetMailStatus(int handle, int number, QByteArray &subject, QByteArray &date,
                                       QByteArray &from, QByteArray &header, int flag) = 0;
    virtual int NMailPop3GetMailSize(int handle, int number) = 0;
    virtual int NMailPop3GetMail(int handle, int number, QByteArray &subject, QByteArray &date,
                                 QByteArray &from, QByteArray &header, QByteArray &body, int flag,
                                 int reserved) = 0;
    // Unpacks the attachments of the mail into `folder`. 1 = stored, -5 = a file could not be
    // written, -6 = a split mail whose parts are not all present, other = nothing to report.
    virtual int NMailAttachmentFileFirst(int handle, QByteArray &subject, QByteArray &date,
                                         QByteArray &from, QByteArray &header, QByteArray &body,
                                         const QString &folder, const QString &workFile,
                                         const QByteArray &mailText, int flag) = 0;
    virtual int NMailAttachmentFileClose(int handle) = 0;
    // The deletion takes effect when the connection is closed.
    virtual int NMailPop3DeleteMail(int handle, int number) = 0;
    virtual int NMailPop3Close(int handle) = 0;

    // `to` may hold several addresses separated by commas; `attachments` is full paths joined
    // by ",", empty for none. `server` is "host", "host:port" or "smtp://" / "smtps://" style.
    virtual int NMailSmtpSendMail(const QByteArray &server, const QByteArray &to, const QByteArray &from,
                                  const QByteArray &subject, const QByteArray &body,
                                  const QString &attachments, int flag) = 0;

    // The text of the last failure, in Japanese; never contains a password.
    virtual QByteArray NMailGetMessage() = 0;
    virtual void NMailEndWinSock() = 0;

    // The transport the program uses. main() installs the real one; tests may install another.
    static MailTransport &instance();
    static void install(MailTransport *transport); // not owned
};
