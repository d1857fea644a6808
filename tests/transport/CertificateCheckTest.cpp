// What is wrong with a server certificate, and which one the trust file lets
// pass, on the test servers' own self-signed certificate.
#include "CertificateCheck.h"
#include "TransportTestSupport.h"
#include "TrustStore.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(CertificateCheck, EveryProblemIsNamedAndABrokenSignatureCannotBeTrusted)
{
    ASSERT_TRUE(servers().ok()) << servers().error().toStdString();
    const QString file = servers().certificateFile();
    const QByteArray cert = MailServers::certificateDer(file);
    ASSERT_FALSE(cert.isEmpty());
    const QDateTime now = QDateTime::currentDateTimeUtc();
    using C = ServerCertificate;

    const C plain = CertificateCheck::examine({cert}, "127.0.0.1", {}, now);
    EXPECT_TRUE(plain.trustable);
    EXPECT_EQ(plain.problems, C::Unvouched);
    EXPECT_EQ(plain.subject, QStringLiteral("CN=localhost"));
    EXPECT_EQ(plain.issuer, QStringLiteral("CN=localhost"));
    EXPECT_EQ(plain.sha256.size(), 32);
    EXPECT_LT(plain.notBefore, now);
    EXPECT_GT(plain.notAfter, now);
    EXPECT_EQ(CertificateCheck::examine({cert}, "localhost", {}, now).problems, C::Unvouched);

    EXPECT_EQ(CertificateCheck::examine({cert}, "other.example", {}, now).problems, C::Unvouched | C::OtherName);
    EXPECT_EQ(CertificateCheck::examine({cert}, "127.0.0.2", {}, now).problems, C::Unvouched | C::OtherName);
    EXPECT_EQ(CertificateCheck::examine({cert}, "127.0.0.1", {}, plain.notAfter.addDays(1)).problems,
              C::Unvouched | C::Expired);
    EXPECT_EQ(CertificateCheck::examine({cert}, "127.0.0.1", {}, plain.notBefore.addSecs(-60)).problems,
              C::Unvouched | C::NotYetValid);
    // Vouched for by a file of authorities, nothing is wrong.
    EXPECT_EQ(CertificateCheck::examine({cert}, "127.0.0.1", {file}, now).problems, 0);

    // A certificate whose signature does not verify, or that cannot be read: no
    // decision mends it.
    QByteArray broken = cert;
    broken[broken.size() - 1] = char(broken.at(broken.size() - 1) ^ 1);
    const C tampered = CertificateCheck::examine({broken}, "127.0.0.1", {file}, now);
    EXPECT_FALSE(tampered.trustable);
    EXPECT_FALSE(tampered.flaw.isEmpty());
    EXPECT_FALSE(CertificateCheck::examine({"not a certificate"}, "127.0.0.1", {}, now).trustable);
}

TEST(TrustStore, OneLinePerServerAndOnlyWhatWasAccepted)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("trustedcerts.txt"));
    EXPECT_EQ(TrustStore::key("Mail.Example.JP", 995), QStringLiteral("mail.example.jp:995"));
    EXPECT_EQ(TrustStore::key("::1", 110), QStringLiteral("[::1]:110"));

    ServerCertificate a;
    a.key = QStringLiteral("a.example:995");
    a.sha256 = QByteArray(32, '\x01');
    a.problems = ServerCertificate::Unvouched;
    ServerCertificate b = a;
    b.key = QStringLiteral("b.example:995");
    b.problems = ServerCertificate::Unvouched | ServerCertificate::OtherName;
    ASSERT_EQ(TrustStore::trust(file, a), 0);
    ASSERT_EQ(TrustStore::trust(file, b), 0);
    a.sha256 = QByteArray(32, '\x02');
    ASSERT_EQ(TrustStore::trust(file, a), 0); // replaces a's line
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "WanderpupTrust 1\r\n"
                           "b.example:995 "
                               + QByteArray(32, '\x01').toHex()
                               + " unvouched,othername\r\n"
                                 "a.example:995 "
                               + QByteArray(32, '\x02').toHex() + " unvouched\r\n");

    ServerCertificate seen = a;
    EXPECT_TRUE(TrustStore::accepts(TrustStore::find(file, a.key), seen));
    seen.problems |= ServerCertificate::Expired; // trusted while valid, expired since
    EXPECT_FALSE(TrustStore::accepts(TrustStore::find(file, a.key), seen));
    EXPECT_FALSE(seen.changed());
    seen = a;
    seen.sha256 = QByteArray(32, '\x03');
    EXPECT_FALSE(TrustStore::accepts(TrustStore::find(file, a.key), seen));
    EXPECT_TRUE(seen.changed());
    EXPECT_EQ(seen.trustedSha256, QByteArray(32, '\x02'));
    seen.key = QStringLiteral("c.example:995");
    EXPECT_FALSE(TrustStore::accepts(TrustStore::find(file, seen.key), seen));
}
