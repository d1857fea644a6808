#pragma once

#include "MailTransport.h"

#include <memory>

// The mail transport over VMime (POP3, APOP, POP3S/STLS, SMTP with STARTTLS and AUTH).
class VmimeTransport final : public MailTransport
{
public:
    VmimeTransport();
    ~VmimeTransport() override;

    void NMailInitializeWinSock() override;
    void NMailSetOption(int option, int value) override;
    int NMailPop3Connect(const QByteArray &server) override;
    int NMailPop3Authenticate(int handle, const QByteArray &id, const QByteArray &password,
                              int apopFlag) override;
    int NMailPop3GetMailStatus(int handle, int number, QByteArray &subject, QByteArray &date,
                               QByteArray &from, QByteArray &header, int flag) override;
    int NMailPop3GetMailSize(int handle, int number) override;
    int NMailPop3GetMail(int handle, int number, QByteArray &subject, QByteArray &date, QByteArray &from,
                         QByteArray &header, QByteArray &body, int flag, int reserved) override;
    int NMailAttachmentFileFirst(int handle, QByteArray &subject, QByteArray &date, QByteArray &from,
                                 QByteArray &header, QByteArray &body, const QString &folder,
                                 const QString &workFile, const QByteArray &mailText, int flag) override;
    int NMailAttachmentFileClose(int handle) override;
    int NMailPop3DeleteMail(int handle, int number) override;
    int NMailPop3Close(int handle) override;
    int NMailSmtpSendMail(const QByteArray &server, const QByteArray &to, const QByteArray &from,
                          const QByteArray &subject, const QByteArray &body, const QString &attachments,
                          int flag) override;
    QByteArray NMailGetMessage() override;
    std::optional<ServerCertificate> refusedCertificate() const override;
    void NMailEndWinSock() override;

    QByteArray uniqueId(int handle, int number) override;
    int deleteStoredMail(int handle, int number, const QByteArray &id) override;
    bool pop3Usable(int handle) override;
    QStringList writtenAttachments() const override;
    QByteArray retrievedMail(int handle, int number) override;
    int readKeptMail(const QByteArray &raw, QByteArray &subject, QByteArray &date, QByteArray &from,
                     QByteArray &header, QByteArray &body) override;
    int sendMail(const QString &server, const MimeWriter::Outgoing &mail, QByteArray *sent) override;

    void setTimeout(int milliseconds) override;
    void setWaitHook(std::function<void()> hook) override;
    void setSmtpCredentials(const QByteArray &id, const QByteArray &password) override;

    // The trusted-certificate file beside the system's authorities; empty means
    // ★MailData/cacert.pem of the program folder, looked up at each connection.
    void setTrustFile(const QString &path);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
