#pragma once

#include "ServerAddress.h"
#include "TrustStore.h"

#include <QDateTime>
#include <QList>
#include <QStringList>

#include <vmime/security/cert/certificateChain.hpp>
#include <vmime/security/cert/certificateException.hpp>

// Thrown by the certificate check when the server's certificate is not accepted: the user may
// judge it (no authority vouches for it, or it is not the one trusted before), or it cannot be
// trusted at all. Thrown before anything but the TLS handshake went to the server.
class CertificateRefused final : public vmime::security::cert::certificateException
{
public:
    explicit CertificateRefused(ServerCertificate certificate)
        : certificateException("certificate refused"), m_certificate(std::move(certificate))
    {
    }
    ~CertificateRefused() throw() override = default;
    vmime::exception *clone() const override { return new CertificateRefused(*this); }
    const char *name() const throw() override { return "certificate_refused"; }
    const ServerCertificate &certificate() const { return m_certificate; }

private:
    ServerCertificate m_certificate;
};

namespace CertificateCheck {

// What is wrong with the certificate chain `der` (the server's own first) for `host`, judged
// against the authorities in the PEM files `roots` at the time `now`.
ServerCertificate examine(const QList<QByteArray> &der, const std::string &host, const QStringList &roots,
                          const QDateTime &now);

// For a chain the authorities refused (`why`): returns when it is the certificate the user
// trusted for `server` (see TrustStore::accepts), else throws CertificateRefused.
void judge(const vmime::shared_ptr<vmime::security::cert::certificateChain> &chain, const ServerAddress &server,
           const QStringList &roots, const QString &why);

} // namespace CertificateCheck
