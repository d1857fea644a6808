#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>
#include <string>

// A server certificate that no trusted authority vouches for, with what the user must know to
// judge it.
struct ServerCertificate
{
    enum Problem {
        Unvouched = 1,   // no trusted authority signed it: self-signed, or a private authority's
        Expired = 2,     // its validity ended
        NotYetValid = 4, // its validity has not begun
        OtherName = 8,   // made out for another server name
    };

    QString server; // host:port as the user reads it
    QString key;    // the server as the trust file names it (TrustStore::key)
    QString host;   // the name that was connected to
    QString subject;
    QString issuer;
    QDateTime notBefore;
    QDateTime notAfter;
    QByteArray sha256;        // of the certificate as the server sent it (DER)
    QByteArray trustedSha256; // the certificate trusted for this server before; empty if none
    int problems = 0;
    // False when no decision can make the certificate acceptable (a signature that does not
    // verify, a revoked or weakly signed certificate); `flaw` then says why.
    bool trustable = true;
    QString flaw;

    // Not the certificate the user trusted for this server before.
    bool changed() const { return !trustedSha256.isEmpty() && trustedSha256 != sha256; }
    // Trusting it takes a second, explicit confirmation.
    bool risky() const { return problems & (Expired | NotYetValid | OtherName); }
    // What is wrong with it, one sentence per problem, for the user.
    QStringList reasons() const;
    // "AB:CD:...": how fingerprints are shown.
    static QString hex(const QByteArray &digest);
    // A validity date as the user reads it, in local time.
    static QString dateText(const QDateTime &when);
};

// The server certificates the user chose to trust, in a small text file of our own in the data
// folder, one line per server:
//     WanderpupTrust 1                          (the first line)
//     <host:port> <SHA-256 in hex> <problems>   (problems accepted: unvouched,expired,...)
// The file is replaced whole through a temporary file and a rename.
namespace TrustStore {

struct Pin
{
    QByteArray sha256;
    int accepted = 0; // ServerCertificate::Problem bits the user accepted
};

// ★MailData/trustedcerts.txt of the program folder.
QString path();
// The server as the file names it: the host in lower case (IPv6 in brackets) and the port.
QString key(const std::string &host, int port);

std::optional<Pin> find(const QString &file, const QString &key);
// Stores `certificate` as the one trusted for its server, with the problems it has now.
// 0, or the errno of the failure.
int trust(const QString &file, const ServerCertificate &certificate);

// Whether a certificate that no authority vouches for may pass without asking: only the one
// trusted for this server, with no problem beyond those accepted then. Notes the trusted one's
// fingerprint in `certificate` for the question otherwise.
bool accepts(const std::optional<Pin> &pin, ServerCertificate &certificate);

} // namespace TrustStore
