#pragma once

#include "ServerAddress.h"
#include "TrustStore.h"

#include <QDateTime>
#include <QList>
#include <QStringList>

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

// The system's authorities, as Debian keeps them.
extern const char *const SystemAuthorities;

// What is wrong with the certificate chain `der` (the server's own first) for `host`, judged
// against the authorities in the PEM files `roots` at the time `now`.
ServerCertificate examine(const QList<QByteArray> &der, const std::string &host, const QStringList &roots,
                          const QDateTime &now);

// The whole decision on the chain `der` that `server` presented in the handshake, before
// anything else goes to it: returns when the connection may go on, else throws
// CertificateRefused. The certificate the user trusted for this server is compared first; then
// GnuTLS verifies the chain against the system's authorities and those of `ownRoots` (a PEM
// file; it may be missing): every signature, the CA and path-length constraints, the key's use
// for a TLS server, the validity dates and the host name or IP address.
void verify(const QList<QByteArray> &der, const ServerAddress &server, const QString &ownRoots);

} // namespace CertificateCheck
