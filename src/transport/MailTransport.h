#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "transport/MailText.h"
#include "transport/MimeWriter.h"

#include "transport/TrustStore.h"

#include <functional>
#include <optional>

// The mail transport: POP3/APOP to fetch, MIME to unpack attachments, SMTP to send.
// Mail texts pass in code page 932; file and folder paths are native paths. Output texts are
// assigned whole (the caller still cuts them at the first NUL). Results are 32-bit signed as
// the callers rely on: -1 for a failed connect, a negative count for a failed login, a
// negative send result for a mail that did not go out.
class MailTransport
{
public:
    virtual ~MailTransport() = default;

    // Nothing to prepare on this platform; kept for the calling order (option 1 is ignored).
    virtual void NMailInitializeWinSock() = 0;
    virtual void NMailSetOption(int option, int value) = 0;

    // `server` is "host", "host:port", "[v6]:port", "pop3://host[:port]", "pop3s://host[:port]"
    // or "pop3+plain://host[:port]" (see ServerAddress). Port 995 (and pop3s://) is TLS from the
    // start; otherwise the login waits for STLS, and a server that refuses it is a failure: the
    // password never goes in clear, except in the pop3+plain:// form, where the user chose a
    // connection without encryption. Certificates are checked against the system's authorities
    // and, when present, the file ★MailData/cacert.pem (PEM, one or more certificates); one that
    // neither vouches for passes only as the certificate trusted for that server and port in
    // ★MailData/trustedcerts.txt (see refusedCertificate), checked at the login. Returns
    // a handle or -1; a server text that is not a server gives -1 and says why.
    virtual int NMailPop3Connect(const QByteArray &server) = 0;
    // apopFlag: -1 = APOP, 0 = USER/PASS. Returns the number of mails, negative on failure.
    // After the login every reply has a size and a time limit: a server that sends endless
    // lines, drips bytes or falls silent ends the connection with a failure text, and a
    // connection known dead is not waited on again.
    virtual int NMailPop3Authenticate(int handle, const QByteArray &id, const QByteArray &password,
                                      int apopFlag) = 0;
    //
    // What the retrieval calls hand back, all in code page 932 (a character without a code
    // page 932 form becomes the geta mark):
    //   subject  the Subject with RFC 2047 words decoded;
    //   date     the Date header text as the mail has it;
    //   from     the From header decoded, as "Name <addr>" (just "addr" without a name);
    //   header   the raw header block (CRLF line ends, no closing blank line);
    //   body     the decoded text of the mail, never base64 or raw MIME: for multipart mail the
    //            first text/plain part that is not an attached file, or the text/html part
    //            turned into plain text when there is no plain part. CRLF line ends.
    // Status, size and retrieval of one mail read it from the server once (the status call
    // already retrieves it; the later calls use that copy). Results are 0 on success and
    // negative on failure (then the texts are left empty). A mail that arrives shorter than
    // the server announced it (LIST, or RETR's octets) is a failure, as is one larger than
    // the transport takes (128 MB); pop3Usable() then still says whether the connection may
    // go on with the next mail. The size is the mail's own once retrieved, else what LIST said.
    virtual int NMailPop3GetMailStatus(int handle, int number, QByteArray &subject, QByteArray &date,
                                       QByteArray &from, QByteArray &header, int flag) = 0;
    virtual int NMailPop3GetMailSize(int handle, int number) = 0;
    virtual int NMailPop3GetMail(int handle, int number, QByteArray &subject, QByteArray &date,
                                 QByteArray &from, QByteArray &header, QByteArray &body, int flag,
                                 int reserved) = 0;
    // Unpacks the attachments of the mail into `folder`. 1 = at least one attachment stored,
    // 0 = the mail has none, -5 = a file could not be written, -6 = the mail holds a part of a
    // split mail (message/partial) whose other parts are not in it.
    // The body handed back above is decoded text without its MIME structure, so the mail is
    // found by its header: when `header` is the header block of a mail retrieved earlier (the
    // last one of each connection, also after the connection was closed), that mail as it came
    // from the server is unpacked; otherwise `mailText` itself is read as the mail. `handle`,
    // the other texts and `workFile` are not used. File names from the mail are reduced to a
    // plain base name inside `folder`; an existing file is never replaced ("name (2).ext").
    // `folder` may end in "\\" or "/"; a missing folder gives -5 when there is a file to write.
    // A split mail whose parts are all in this one mail is joined and unpacked.
    virtual int NMailAttachmentFileFirst(int handle, QByteArray &subject, QByteArray &date, QByteArray &from,
                                         QByteArray &header, QByteArray &body, const QString &folder,
                                         const QString &workFile, const QByteArray &mailText, int flag) = 0;
    virtual int NMailAttachmentFileClose(int handle) = 0;
    // The deletion takes effect when the connection is closed. A mail that was not retrieved
    // whole on this connection is not deleted (result negative), so a failed retrieval never
    // loses mail. Close returns negative when the server refused a deletion or the connection
    // could not be ended properly (the failure text then quotes the server).
    virtual int NMailPop3DeleteMail(int handle, int number) = 0;
    virtual int NMailPop3Close(int handle) = 0;

    // `to` may hold several addresses separated by commas; `attachments` is full paths joined
    // by ",", empty for none. `server` is "host", "host:port", "[v6]:port" or "smtp://",
    // "smtps://", "smtp+plain://" style; port 465 (and smtps://) is TLS from the start,
    // otherwise STARTTLS when offered; certificates are checked as for POP3, before any login.
    // A server that offers STARTTLS and does not start it is a failure; without TLS the
    // transport logs in only in the smtp+plain:// form (a relay that offers neither TLS nor
    // AUTH takes the mail without a login, as before). The mail
    // goes out as ISO-2022-JP when every character fits JIS X 0208, else as UTF-8 (base64);
    // attachments are base64 parts named by RFC 2231. SMTP AUTH is used when the server offers
    // it and the caller has handed over an ID and password (setSmtpCredentials); the transport
    // reads no account file itself. Returns 0 when the mail went out, negative when not.
    virtual int NMailSmtpSendMail(const QByteArray &server, const QByteArray &to, const QByteArray &from,
                                  const QByteArray &subject, const QByteArray &body,
                                  const QString &attachments, int flag) = 0;

    // The text of the last failure, in Japanese, naming the server as "host:port" and quoting
    // the server's reply where there is one (unreachable, login refused, TLS/certificate, no
    // answer within the time-out, connection cut, recipient or sender refused, attachment file
    // not found, attachment not writable). Never contains a password.
    virtual QByteArray NMailGetMessage() = 0;
    virtual void NMailEndWinSock() = 0;

    // The server certificate that the last failed login (NMailPop3Authenticate) or send stopped
    // at, before anything but the TLS handshake went to the server: no trusted authority vouches
    // for it and it is not the one trusted for that server in TrustStore, or it cannot be trusted
    // at all. Nothing when the last login or send failed for another reason or succeeded.
    virtual std::optional<ServerCertificate> refusedCertificate() const { return std::nullopt; }

    // The server's unique id for mail `number` (UIDL), empty when it has none or the
    // connection is not logged in. Ids given to more than one mail are not handed out.
    virtual QByteArray uniqueId(int handle, int number)
    {
        (void)handle;
        (void)number;
        return {};
    }
    // Deletes mail `number` without retrieving it, for a mail stored by an earlier check: only
    // when its unique id is still `id`. Takes effect at close, like NMailPop3DeleteMail.
    virtual int deleteStoredMail(int handle, int number, const QByteArray &id)
    {
        (void)handle;
        (void)number;
        (void)id;
        return -1;
    }
    // The files the last NMailAttachmentFileFirst wrote, so that they can be removed again for a
    // mail that could not be stored and stays on the server (the next check unpacks it again).
    virtual QStringList writtenAttachments() const { return {}; }
    // Whether the connection can go on after a failure with one mail (the server refused it, it
    // came short, it is too large); false once the connection is cut, silent or misbehaving.
    virtual bool pop3Usable(int handle)
    {
        (void)handle;
        return true;
    }

    // How long the server may stay silent before a network step gives up (default 60 s). A
    // reply may take this long plus one second for every 4 KB it carries.
    virtual void setTimeout(int milliseconds) { (void)milliseconds; }
    // Called now and then (every 50 ms or so) while a network step waits for the server, on the
    // calling thread, so that the program's windows keep painting. The hook must not call the
    // transport. The time-out runs on meanwhile.
    virtual void setWaitHook(std::function<void()> hook) { (void)hook; }
    // The ID and password for SMTP AUTH, kept until changed; empty values mean "send without
    // logging in".
    virtual void setSmtpCredentials(const QByteArray &id, const QByteArray &password)
    {
        (void)id;
        (void)password;
    }

    // Mail `number` exactly as the server sent it (after the POP3 dot-unstuffing), once the
    // status, size or retrieval call has read it on this connection; empty otherwise. For
    // keeping the original: the bytes are shared, not copied.
    virtual QByteArray retrievedMail(int handle, int number)
    {
        (void)handle;
        (void)number;
        return {};
    }
    // Reads a mail kept whole elsewhere (an original) as the retrieval reads one, into the same
    // code page 932 texts; the next NMailAttachmentFileFirst given its header unpacks it.
    // 0, or negative for an empty mail.
    virtual int readKeptMail(const QByteArray &raw, QByteArray &subject, QByteArray &date, QByteArray &from,
                             QByteArray &header, QByteArray &body)
    {
        (void)raw, (void)subject, (void)date, (void)from, (void)header, (void)body;
        return -1;
    }
    // Sends a mail given in Unicode, every character as typed (ISO-2022-JP when it fits, else
    // UTF-8), to `server` as for NMailSmtpSendMail. `sent` receives the mail exactly as it was
    // handed to the server. 0 when the server took it, negative when not (NMailGetMessage).
    virtual int sendMail(const QString &server, const MimeWriter::Outgoing &mail, QByteArray *sent);

    // The texts of a mail kept whole, in Unicode.
    static MailText readText(const QByteArray &raw);

    // The transport the program uses. main() installs the real one; tests may install another.
    static MailTransport &instance();
    static void install(MailTransport *transport); // not owned
};
