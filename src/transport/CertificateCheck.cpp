#include "CertificateCheck.h"

#include <QCryptographicHash>
#include <QFile>

#include <gnutls/abstract.h>
#include <gnutls/gnutls.h>
#include <gnutls/x509.h>

#include <algorithm>
#include <memory>
#include <optional>
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

// One TLV of DER at `pos`: its tag, where its content starts and how long it is.
bool readTlv(const QByteArray &der, qsizetype pos, uchar &tag, qsizetype &content, qsizetype &length)
{
    if (pos + 2 > der.size())
        return false;
    tag = uchar(der[pos]);
    const uchar first = uchar(der[pos + 1]);
    content = pos + 2;
    if (first < 0x80) {
        length = first;
    } else {
        const int bytes = first & 0x7f;
        if (bytes < 1 || bytes > 4 || content + bytes > der.size())
            return false;
        length = 0;
        for (int i = 0; i < bytes; ++i)
            length = (length << 8) | uchar(der[content++]);
    }
    return length >= 0 && content + length <= der.size();
}

// Whether `parent`'s key made the signature of the certificate `childDer`: the signed part and
// the signature are taken from the DER as it came, so that no key identifier or name decides.
bool signedBy(const QByteArray &childDer, gnutls_x509_crt_t child, gnutls_x509_crt_t parent)
{
    uchar tag = 0;
    qsizetype outer = 0, outerLength = 0, tbs = 0, tbsLength = 0, alg = 0, algLength = 0, sig = 0, sigLength = 0;
    if (!readTlv(childDer, 0, tag, outer, outerLength) || tag != 0x30 || !readTlv(childDer, outer, tag, tbs, tbsLength)
        || tag != 0x30 || !readTlv(childDer, tbs + tbsLength, tag, alg, algLength) || tag != 0x30
        || !readTlv(childDer, alg + algLength, tag, sig, sigLength) || tag != 0x03 || sigLength < 2
        || childDer[sig] != 0)
        return false;
    const QByteArray signedPart = childDer.mid(outer, tbs + tbsLength - outer);
    const QByteArray signature = childDer.mid(sig + 1, sigLength - 1);
    gnutls_pubkey_t key = nullptr;
    if (gnutls_pubkey_init(&key) < 0)
        return false;
    bool ok = false;
    if (gnutls_pubkey_import_x509(key, parent, 0) >= 0) {
        const int algorithm = gnutls_x509_crt_get_signature_algorithm(child);
        const gnutls_datum_t data{reinterpret_cast<unsigned char *>(const_cast<char *>(signedPart.constData())),
                                  unsigned(signedPart.size())};
        const gnutls_datum_t bits{reinterpret_cast<unsigned char *>(const_cast<char *>(signature.constData())),
                                  unsigned(signature.size())};
        // Weak algorithms are judged elsewhere; here only whether the key made the signature.
        ok = algorithm > 0
             && gnutls_pubkey_verify_data2(key, gnutls_sign_algorithm_t(algorithm), GNUTLS_VERIFY_ALLOW_BROKEN,
                                           &data, &bits)
                    >= 0;
    }
    gnutls_pubkey_deinit(key);
    return ok;
}

bool sameName(gnutls_x509_crt_t issued, gnutls_x509_crt_t issuer)
{
    gnutls_datum_t a{}, b{};
    if (gnutls_x509_crt_get_raw_issuer_dn(issued, &a) < 0)
        return false;
    const bool same = gnutls_x509_crt_get_raw_dn(issuer, &b) >= 0 && a.size == b.size
                      && std::equal(a.data, a.data + a.size, b.data);
    gnutls_free(a.data);
    gnutls_free(b.data);
    return same;
}

// A certificate that names as its issuer a certificate sent with it, or itself, and was not
// signed by its key: a forgery, whatever the key identifiers say.
bool forged(const QList<QByteArray> &der, const std::vector<Crt> &chain)
{
    for (size_t i = 0; i < chain.size(); ++i) {
        bool named = false, signedByNamed = false;
        for (size_t j = i; j < chain.size() && !signedByNamed; ++j) {
            if (!sameName(chain[i].get(), chain[j].get()))
                continue;
            named = true;
            signedByNamed = signedBy(der[qsizetype(i)], chain[i].get(), chain[j].get());
        }
        if (named && !signedByNamed)
            return true;
    }
    return false;
}

struct TrustList
{
    gnutls_x509_trust_list_t list = nullptr;
    explicit TrustList(const QStringList &roots)
    {
        if (gnutls_x509_trust_list_init(&list, 0) < 0) {
            list = nullptr;
            return;
        }
        for (const QString &file : roots)
            if (!file.isEmpty() && QFile::exists(file))
                gnutls_x509_trust_list_add_trust_file(list, QFile::encodeName(file).constData(), nullptr,
                                                      GNUTLS_X509_FMT_PEM, 0, 0);
    }
    ~TrustList()
    {
        if (list)
            gnutls_x509_trust_list_deinit(list, 1);
    }
    TrustList(const TrustList &) = delete;
    TrustList &operator=(const TrustList &) = delete;

    // GnuTLS's verdict on `chain` (0: trusted). With a host, its name or address and the use of
    // the key for a TLS server are checked too; `flags` are GnuTLS's verification flags.
    unsigned status(const std::vector<Crt> &chain, const std::string *host, unsigned flags) const
    {
        if (!list)
            return GNUTLS_CERT_INVALID | GNUTLS_CERT_SIGNER_NOT_FOUND;
        std::vector<gnutls_x509_crt_t> raw;
        for (const Crt &crt : chain)
            raw.push_back(crt.get());
        gnutls_typed_vdata_st data[2] = {
            {GNUTLS_DT_KEY_PURPOSE_OID, reinterpret_cast<unsigned char *>(const_cast<char *>(GNUTLS_KP_TLS_WWW_SERVER)),
             0},
            {GNUTLS_DT_DNS_HOSTNAME, host ? reinterpret_cast<unsigned char *>(const_cast<char *>(host->c_str())) : nullptr,
             0},
        };
        unsigned result = 0;
        if (gnutls_x509_trust_list_verify_crt2(list, raw.data(), unsigned(raw.size()), data, host ? 2 : 1, flags,
                                               &result, nullptr)
            < 0)
            result = GNUTLS_CERT_INVALID | GNUTLS_CERT_SIGNER_NOT_FOUND;
        return result;
    }
};

std::vector<Crt> importAll(const QList<QByteArray> &der)
{
    std::vector<Crt> chain;
    for (const QByteArray &bytes : der) {
        Crt crt = import(bytes);
        if (!crt)
            return {};
        chain.push_back(std::move(crt));
    }
    return chain;
}

QString flawText(unsigned status)
{
    if (status & GNUTLS_CERT_REVOKED)
        return QStringLiteral("証明書が失効しています。");
    if (status & GNUTLS_CERT_SIGNATURE_FAILURE)
        return QStringLiteral("証明書の署名が正しくありません（証明書が偽造されているおそれがあります）。");
    if (status & GNUTLS_CERT_INSECURE_ALGORITHM)
        return QStringLiteral("証明書が安全でない方式で署名されています。");
    if (status & (GNUTLS_CERT_SIGNER_NOT_CA | GNUTLS_CERT_SIGNER_CONSTRAINTS_FAILURE))
        return QStringLiteral("証明書に署名した証明書が、認証局として証明書を発行できるものではありません。");
    if (status & GNUTLS_CERT_PURPOSE_MISMATCH)
        return QStringLiteral("証明書がサーバーの証明書として発行されたものではありません。");
    if (status & (GNUTLS_CERT_EXPIRED | GNUTLS_CERT_NOT_ACTIVATED))
        return QStringLiteral("証明書を発行した認証局の証明書が有効期間の外にあります。");
    return QStringLiteral("証明書がサーバーの証明書として使える形になっていません。");
}

} // namespace

namespace CertificateCheck {

const char *const SystemAuthorities = "/etc/ssl/certs/ca-certificates.crt";

ServerCertificate examine(const QList<QByteArray> &der, const std::string &host, const QStringList &roots,
                          const QDateTime &now)
{
    ServerCertificate cert;
    cert.host = QString::fromStdString(host);
    if (!der.isEmpty())
        cert.sha256 = QCryptographicHash::hash(der.first(), QCryptographicHash::Sha256);
    const std::vector<Crt> chain = importAll(der);
    if (chain.empty()) {
        cert.trustable = false;
        cert.flaw = QStringLiteral("サーバーが送ってきた証明書を読み取れません。");
        return cert;
    }
    gnutls_x509_crt_t leaf = chain.front().get();
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

    // The dates and the name were judged above, on the server's own certificate alone.
    const unsigned status = TrustList(roots).status(chain, nullptr, GNUTLS_VERIFY_DISABLE_TIME_CHECKS);
    if (status & GNUTLS_CERT_SIGNER_NOT_FOUND)
        cert.problems |= ServerCertificate::Unvouched;
    // No authority is in question, only whether the certificates were made by whom they name.
    const unsigned unvouched = GNUTLS_CERT_INVALID | GNUTLS_CERT_SIGNER_NOT_FOUND;
    if (status & ~unvouched) {
        cert.trustable = false;
        cert.flaw = flawText(status);
    } else if (forged(der, chain)) {
        cert.trustable = false;
        cert.flaw = flawText(GNUTLS_CERT_SIGNATURE_FAILURE);
    }
    return cert;
}

void verify(const QList<QByteArray> &der, const ServerAddress &server, const QString &ownRoots)
{
    const QString key = TrustStore::key(server.host, server.port);
    const std::optional<TrustStore::Pin> pin = TrustStore::find(TrustStore::path(), key);
    const QStringList roots{QString::fromLatin1(SystemAuthorities), ownRoots};
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QByteArray sha256 = der.isEmpty() ? QByteArray() : QCryptographicHash::hash(der.first(), QCryptographicHash::Sha256);
    ServerCertificate cert;
    if (pin && pin->sha256 == sha256) {
        cert = examine(der, server.host, roots, now);
        if (TrustStore::accepts(pin, cert))
            return;
    } else {
        const std::vector<Crt> chain = importAll(der);
        // The user's own authorities are few: tried alone first, the system's list only when needed.
        if (!chain.empty() && QFile::exists(ownRoots) && TrustList({ownRoots}).status(chain, &server.host, 0) == 0)
            return;
        const unsigned status = chain.empty() ? unsigned(GNUTLS_CERT_INVALID) : TrustList(roots).status(chain, &server.host, 0);
        if (status == 0)
            return;
        cert = examine(der, server.host, roots, now);
        // Refused for a reason the dates, the name and the authorities do not explain.
        if (cert.trustable && cert.problems == 0) {
            cert.trustable = false;
            cert.flaw = flawText(status);
        }
        TrustStore::accepts(pin, cert); // notes the one trusted before, for the warning
    }
    cert.server = server.display;
    cert.key = key;
    throw CertificateRefused(cert);
}

} // namespace CertificateCheck
