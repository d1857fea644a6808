// What is wrong with a server certificate, and which one the trust file lets pass, on the test
// servers' own self-signed certificate; and chains from a test authority, properly signed or
// forged, presented by the real servers.
#include "CertificateCheck.h"
#include "TestSupport.h"
#include "TransportTestSupport.h"
#include "TrustStore.h"
#include "VmimeTransport.h"
#include "platform/Cp932.h"

#include <QCryptographicHash>
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

// A leaf signed by any key that merely carries the name of the intermediate sent with it, the
// root of that intermediate trusted: whether over POP3 or SMTP, TLS from the first byte or by
// STLS/STARTTLS, and even for a server trusted before, nothing goes out but the handshake, and
// the window is not offered. The same servers with a properly signed chain take both.
TEST(CertificateCheck, ForgedChainGetsNoPasswordAndNoMail)
{
    ASSERT_TRUE(servers().ok()) << servers().error().toStdString();
    TempProgramFolder folder;
    VmimeTransport transport;
    transport.setTimeout(15000);
    transport.setSmtpCredentials("taro", "taro-pass-1");
    const QByteArray host = "127.0.0.1:";
    const QList<QByteArray> pop3 = {"pop3s://" + host + QByteArray::number(servers().pop3sPort()),
                                    host + QByteArray::number(servers().pop3Port())};
    const QList<QByteArray> smtp = {"smtps://" + host + QByteArray::number(servers().smtpsPort()),
                                    host + QByteArray::number(servers().smtpPort())};
    servers().clearMails(QStringLiteral("taro"));
    servers().clearMails(QStringLiteral("jiro"));
    ASSERT_TRUE(servers().addMail(QStringLiteral("taro"), "Subject: kept\r\n\r\nstays on the server\r\n"));
    const auto logins = [] { return servers().dovecotLog().count(QStringLiteral("Login: user=<taro>")); };
    const auto auths = [] { return servers().smtpAuthLog().count(u'\n'); };

    // Every way in; true where each got through.
    const auto tryAll = [&](const char *what) {
        int through = 0;
        for (const QByteArray &server : pop3) {
            const int h = transport.NMailPop3Connect(server);
            EXPECT_GE(h, 0) << what << " " << server.constData();
            if (transport.NMailPop3Authenticate(h, "taro", "taro-pass-1", 0) == 1)
                ++through;
            else
                EXPECT_FALSE(transport.refusedCertificate() && transport.refusedCertificate()->trustable)
                    << what << " " << server.constData();
            transport.NMailPop3Close(h);
        }
        for (const QByteArray &server : smtp) {
            if (transport.NMailSmtpSendMail(server, "jiro@example.test", "taro@example.test", what, "body", {}, 0) == 0)
                ++through;
            else
                EXPECT_TRUE(Cp932::toUnicode(transport.NMailGetMessage()).contains(QStringLiteral("偽造")))
                    << Cp932::toUnicode(transport.NMailGetMessage()).toStdString();
        }
        return through;
    };

    const qsizetype loginsBefore = logins(), authsBefore = auths();
    // Without the other key's identifier the authorities see a bad signature; with it, an
    // unknown issuer, though the leaf names one that was sent along.
    QString root;
    for (const char *kind : {"forged-aki", "forged"}) {
        root = servers().present(kind);
        ASSERT_FALSE(root.isEmpty());
        transport.setTrustFile(root);
        EXPECT_EQ(tryAll(kind), 0);
    }
    // Trusted before: the pin is another certificate, and this chain cannot be trusted anyway.
    ServerCertificate pinned;
    pinned.sha256 = QCryptographicHash::hash(MailServers::certificateDer(servers().certificateFile()) + "x",
                                             QCryptographicHash::Sha256);
    pinned.problems = ServerCertificate::Unvouched;
    for (const QList<QByteArray> &list : {pop3, smtp})
        for (const QByteArray &server : list) {
            pinned.key = QStringLiteral("127.0.0.1:") + QString::fromLatin1(server.mid(server.lastIndexOf(':') + 1));
            ASSERT_EQ(TrustStore::trust(TrustStore::path(), pinned), 0);
        }
    EXPECT_EQ(tryAll("forged, pinned"), 0);
    EXPECT_EQ(logins(), loginsBefore);
    EXPECT_EQ(auths(), authsBefore);
    EXPECT_EQ(servers().mailCount(QStringLiteral("jiro")), 0);
    EXPECT_EQ(servers().mailCount(QStringLiteral("taro")), 1);

    // The test can fail both ways: a properly signed chain from the same authority goes through.
    ASSERT_EQ(servers().present("good"), root);
    QFile::remove(TrustStore::path());
    EXPECT_EQ(tryAll("good"), 4) << Cp932::toUnicode(transport.NMailGetMessage()).toStdString();
    EXPECT_EQ(logins(), loginsBefore + 2);
    EXPECT_EQ(auths(), authsBefore + 2);
    EXPECT_EQ(servers().mailCount(QStringLiteral("jiro")), 2);

    // The other tests of this program expect a self-signed certificate.
    EXPECT_FALSE(servers().present("self").isEmpty());
}
