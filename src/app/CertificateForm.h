#pragma once

#include "transport/TrustStore.h"

#include <QDialog>

class MailTransport;
class QLabel;
class QLineEdit;
class QPushButton;

// "証明書の確認": a server certificate that no trusted authority vouches for, or that is not the
// one trusted for the server before, laid before the user, who trusts it or stops. Like a
// message box it waits for the answer; "中止" is the default and the Esc key. Trusting an expired,
// not yet valid or other server's certificate asks once more.
class CertificateForm : public QDialog
{
    Q_OBJECT
public:
    explicit CertificateForm(const ServerCertificate &certificate, QWidget *parent = nullptr);

    QLabel *Heading; // what happened
    QLabel *Reasons; // what is wrong with the certificate
    QLabel *Advice;  // what to do
    QLineEdit *ServerText;
    QLineEdit *SubjectText;
    QLineEdit *IssuerText;
    QLineEdit *ValidText;
    QLineEdit *FingerprintText;
    QLineEdit *TrustedText; // the fingerprint trusted before; only for a changed certificate
    QPushButton *TrustCommand;
    QPushButton *CancelCommand;

    enum class Answer { NotAsked, Trusted, Declined };

    // After a failed login or send on the window thread, when the user started it: when the
    // transport stopped at a certificate the user may trust, shows the window and, on trust,
    // stores the certificate for its server (TrustStore), so that the caller can try again at
    // once. NotAsked for every other failure, which the caller reports as before.
    static Answer askAfterFailure(const MailTransport &transport);

    static const QString &title();

private:
    void trust();

    ServerCertificate m_certificate;
};
