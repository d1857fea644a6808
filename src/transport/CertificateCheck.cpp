#include "CertificateCheck.h"

#include <QCryptographicHash>
#include <QFile>

#include <gnutls/gnutls.h>
#include <gnutls/x509.h>

#include <memory>
#include <vector>

namespace {

struct CrtDeleter
{
    void operator()(gnutls_x509_crt_int *crt) const { gnutls_x509_crt_deinit(crt); }
};
using Crt = std::unique_ptr<gnutls_x509_crt_int, CrtDeleter>;

Crt import(const QByteArray &der)
{
    gnutls_x509_crt_t crt = nullptr;
    if (gnutls_x509_crt_init(&crt) < 0)
        return nullptr;
    Crt owned(crt);
    gnutls_datum_t data{reinterpret_cast<unsigned char *>(const_cast<char *>(der.constData())), unsigned(der.size())};
    if (gnutls_x509_crt_import(crt, &data, GNUTLS_X509_FMT_DER) < 0)
        return nullptr;
    return owned;
}

QString taken(gnutls_datum_t &datum)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(datum.data), qsizetype(datum.size));
    gnutls_free(datum.data);
    return text;
}

QString subjectOf(gnutls_x509_crt_t crt)
{
    gnutls_datum_t dn{};
    return gnutls_x509_crt_get_dn3(crt, &dn, 0) < 0 ? QString() : taken(dn);
}

QString issuerOf(gnutls_x509_crt_t crt)
{
    gnutls_datum_t dn{};
    return gnutls_x509_crt_get_issuer_dn3(crt, &dn, 0) < 0 ? QString() : taken(dn);
}

QDateTime timeOf(time_t t) { return t == time_t(-1) ? QDateTime() : QDateTime::fromSecsSinceEpoch(qint64(t), Qt::UTC); }

// What the chain's own signatures and the authorities say, the dates and the name left aside
// (they are judged on the server's certificate alone).
unsigned chainStatus(const std::vector<Crt> &chain, const QStringList &roots)
{
    gnutls_x509_trust_list_t list = nullptr;
    if (gnutls_x509_trust_list_init(&list, 0) < 0)
        return GNUTLS_CERT_INVALID | GNUTLS_CERT_SIGNER_NOT_FOUND;
    for (const QString &file : roots)
        if (!file.isEmpty() && QFile::exists(file))
            gnutls_x509_trust_list_add_trust_file(list, QFile::encodeName(file).constData(), nullptr,
                                                  GNUTLS_X509_FMT_PEM, 0, 0);
    std::vector<gnutls_x509_crt_t> raw;
    for (const Crt &crt : chain)
        raw.push_back(crt.get());
    unsigned status = 0;
    if (gnutls_x509_trust_list_verify_crt2(list, raw.data(), unsigned(raw.size()), nullptr, 0,
                                           GNUTLS_VERIFY_DISABLE_TIME_CHECKS, &status, nullptr)
        < 0)
        status = GNUTLS_CERT_INVALID | GNUTLS_CERT_SIGNER_NOT_FOUND;
    gnutls_x509_trust_list_deinit(list, 1);
    return status;
}

QString flawText(unsigned status)
{
    if (status & GNUTLS_CERT_REVOKED)
        return QStringLiteral("証明書が失効しています。");
    if (status & GNUTLS_CERT_SIGNATURE_FAILURE)
        return QStringLiteral("証明書の署名が正しくありません。");
    if (status & GNUTLS_CERT_INSECURE_ALGORITHM)
        return QStringLiteral("証明書が安全でない方式で署名されています。");
    return QStringLiteral("証明書がサーバーの証明書として使える形になっていません。");
}

} // namespace

namespace CertificateCheck {

ServerCertificate examine(const QList<QByteArray> &der, const std::string &host, const QStringList &roots,
                          const QDateTime &now)
{
    ServerCertificate cert;
    cert.host = QString::fromStdString(host);
    std::vector<Crt> chain;
    for (const QByteArray &bytes : der) {
        Crt crt = import(bytes);
        if (!crt)
            break;
        chain.push_back(std::move(crt));
    }
    if (chain.empty() || chain.size() != size_t(der.size())) {
        cert.trustable = false;
        cert.flaw = QStringLiteral("サーバーが送ってきた証明書を読み取れません。");
        if (!der.isEmpty())
            cert.sha256 = QCryptographicHash::hash(der.first(), QCryptographicHash::Sha256);
        return cert;
    }
    gnutls_x509_crt_t leaf = chain.front().get();
    cert.sha256 = QCryptographicHash::hash(der.first(), QCryptographicHash::Sha256);
    cert.subject = subjectOf(leaf);
    cert.issuer = issuerOf(leaf);
    cert.notBefore = timeOf(gnutls_x509_crt_get_activation_time(leaf));
    cert.notAfter = timeOf(gnutls_x509_crt_get_expiration_time(leaf));
    if (!cert.notBefore.isValid() || now < cert.notBefore)
        cert.problems |= ServerCertificate::NotYetValid;
    if (!cert.notAfter.isValid() || now > cert.notAfter)
        cert.problems |= ServerCertificate::Expired;
    // An IP address is matched against the certificate's IP addresses, a name against its names.
    if (!gnutls_x509_crt_check_hostname2(leaf, host.c_str(), 0))
        cert.problems |= ServerCertificate::OtherName;

    const unsigned status = chainStatus(chain, roots);
    if (status & (GNUTLS_CERT_SIGNER_NOT_FOUND | GNUTLS_CERT_SIGNER_NOT_CA))
        cert.problems |= ServerCertificate::Unvouched;
    const unsigned judged = GNUTLS_CERT_INVALID | GNUTLS_CERT_SIGNER_NOT_FOUND | GNUTLS_CERT_SIGNER_NOT_CA
                            | GNUTLS_CERT_EXPIRED | GNUTLS_CERT_NOT_ACTIVATED;
    if (status & ~judged) {
        cert.trustable = false;
        cert.flaw = flawText(status);
    }
    return cert;
}

void judge(const vmime::shared_ptr<vmime::security::cert::certificateChain> &chain, const ServerAddress &server,
           const QStringList &roots, const QString &why)
{
    QList<QByteArray> der;
    for (size_t i = 0; chain && i < chain->getCount(); ++i) {
        const vmime::byteArray bytes = chain->getAt(i)->getEncoded();
        der.append(QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size())));
    }
    ServerCertificate cert = examine(der, server.host, roots, QDateTime::currentDateTimeUtc());
    cert.server = server.display;
    cert.key = TrustStore::key(server.host, server.port);
    // The authorities refused it for a reason the check above does not know: nothing to decide.
    if (cert.trustable && cert.problems == 0) {
        cert.trustable = false;
        cert.flaw = why;
    }
    if (cert.trustable && TrustStore::accepts(TrustStore::find(TrustStore::path(), cert.key), cert))
        return;
    throw CertificateRefused(cert);
}

} // namespace CertificateCheck
