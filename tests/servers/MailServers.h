#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>

#include <memory>

// Real mail servers for one test program: Dovecot (POP3, POP3S) and an aiosmtpd SMTP server that
// delivers into Dovecot's Maildirs, all on 127.0.0.1 and free ports with state in a temp folder,
// started by mailservers.py and stopped when this object goes.
// Users: taro / taro-pass-1 (plain login and APOP), hanako / hanako-pass-2 (APOP only),
// jiro / jiro-pass-3.
// Mail to <user>@example.test is delivered to that user; other recipients are refused (550).
//
// The plain POP3 port offers STLS and the transport then insists on it, so a test that talks to
// these servers must trust their certificate: call installTrust(ProgramFolder::dataFolder())
// once the test's program folder exists (the transport reads ★MailData/cacert.pem).
class MailServers
{
public:
    MailServers();  // starts the script and waits (bounded, ~20 s) for its JSON line
    ~MailServers(); // stops it and waits for it

    bool ok() const; // false when the servers could not start; error() says why
    QString error() const;
    quint16 pop3Port() const;        // plain POP3 on 127.0.0.1 (STLS offered)
    quint16 pop3sPort() const;       // POP3 over TLS
    quint16 smtpPort() const;        // SMTP (STARTTLS offered, AUTH offered, not required)
    quint16 smtpsPort() const;       // SMTP over TLS, AUTH required
    quint16 smtpPlainPort() const;   // SMTP without TLS and without AUTH
    QString certificateFile() const; // PEM of the self-signed cert the servers use
    // The first certificate of a PEM file in DER.
    static QByteArray certificateDer(const QString &pemFile);
    QString dovecotLog() const;      // the Dovecot log text so far
    QString smtpAuthLog() const;     // one line per SMTP AUTH attempt so far: "<mechanism> <login>"
    QString stateFolder() const;

    // Copies the servers' certificate to `dataFolder`/cacert.pem, the file the transport trusts
    // beside the system's authorities. Returns false when it cannot be written.
    bool installTrust(const QString &dataFolder) const;
    // From now on every server presents (in certificateFile()) a new self-signed certificate
    // (`kind` "self": same names, new key), a chain from a test authority ("good") or a chain
    // whose leaf only names the real intermediate and was signed by another key ("forged"; and
    // "forged-aki", which also names that other key's identifier).
    // Returns, once new connections get it, the PEM file of the authority that would vouch
    // for it (for "self", the certificate itself); empty when it failed.
    QString present(const char *kind);

    // Drops one raw RFC 822 mail (CRLF or LF lines) into the user's Maildir/new. Mails added
    // one after another are numbered by the POP3 server in that order.
    bool addMail(const QString &user, const QByteArray &rfc822);
    int mailCount(const QString &user) const;           // mails now in the user's Maildir (new + cur)
    QList<QByteArray> mails(const QString &user) const; // their raw contents, oldest first
    // Removes every mail of the user.
    void clearMails(const QString &user);

private:
    QString maildir(const QString &user) const;
    QStringList mailFiles(const QString &user) const;

    std::unique_ptr<QProcess> m_process;
    QJsonObject m_info;
    QString m_error;
    int m_sequence = 0;
};
