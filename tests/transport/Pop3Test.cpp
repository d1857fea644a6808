// POP3 against the real Dovecot: login (plain and APOP), the per-mail calls, deletion on close,
// failures, time-outs and cut connections.
#include "TransportTestSupport.h"
#include "TestSupport.h"
#include "VmimeTransport.h"
#include "platform/Cp932.h"
#include "platform/ProgramFolder.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QThread>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netdb.h>
#include <unistd.h>

// Counts reverse lookups: a lookup of a loopback server's address could send a query off the
// machine. Stands in for the C library's function for the whole test program.
int g_reverseLookups = 0;

extern "C" struct hostent *gethostbyaddr(const void *, socklen_t, int)
{
    ++g_reverseLookups;
    return nullptr;
}

namespace {

class Pop3Test : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(servers().ok()) << servers().error().toStdString();
        servers().clearMails(QStringLiteral("taro"));
        servers().clearMails(QStringLiteral("hanako"));
        ASSERT_TRUE(servers().installTrust(ProgramFolder::dataFolder()));
        transport.setTimeout(3000);
    }

    QByteArray pop3() const { return "127.0.0.1:" + QByteArray::number(servers().pop3Port()); }

    static QByteArray simpleMail(const QByteArray &subject, const QByteArray &body)
    {
        return crlf("From: Sender <sender@example.test>\nTo: taro@example.test\nSubject: " + subject
                    + "\nDate: Tue, 8 Dec 2026 10:00:00 +0900\nMessage-ID: <" + subject + "@example.test>\n\n"
                    + body + "\n");
    }

    QString message() { return Cp932::toUnicode(transport.NMailGetMessage()); }

    TempProgramFolder folder;
    VmimeTransport transport;
};

TEST_F(Pop3Test, PlainLoginFetchesEveryMailInOrderAndDeletesOnClose)
{
    for (const char *s : {"one", "two", "three"})
        ASSERT_TRUE(servers().addMail(QStringLiteral("taro"), simpleMail(s, QByteArray("body of ") + s)));

    const int h = transport.NMailPop3Connect(pop3());
    ASSERT_GE(h, 0) << message().toStdString();
    ASSERT_EQ(transport.NMailPop3Authenticate(h, "taro", "taro-pass-1", 0), 3) << message().toStdString();
    int n = 0;
    for (const char *s : {"one", "two", "three"}) {
        ++n;
        QByteArray subject, date, from, header, body;
        transport.NMailPop3GetMailStatus(h, n, subject, date, from, header, 0);
        EXPECT_EQ(subject, s);
        const int size = transport.NMailPop3GetMailSize(h, n);
        EXPECT_EQ(size, simpleMail(s, QByteArray("body of ") + s).size());
        EXPECT_EQ(transport.NMailPop3GetMail(h, n, subject, date, from, header, body, 0, 0), 0);
        EXPECT_EQ(subject, s);
        EXPECT_EQ(date, "Tue, 8 Dec 2026 10:00:00 +0900");
        EXPECT_EQ(from, "Sender <sender@example.test>");
        EXPECT_TRUE(header.startsWith("From: Sender <sender@example.test>\r\nTo: taro@example.test\r\n"))
            << header.data();
        EXPECT_FALSE(header.endsWith("\r\n"));
        EXPECT_EQ(body, QByteArray("body of ") + s + "\r\n");
        EXPECT_EQ(transport.NMailPop3DeleteMail(h, n), 0);
    }
    // Deleted mails stay until the connection is closed.
    EXPECT_EQ(servers().mailCount(QStringLiteral("taro")), 3);
    EXPECT_EQ(transport.NMailPop3Close(h), 0);
    EXPECT_EQ(servers().mailCount(QStringLiteral("taro")), 0);

    const int again = transport.NMailPop3Connect(pop3());
    EXPECT_EQ(transport.NMailPop3Authenticate(again, "taro", "taro-pass-1", 0), 0);
    transport.NMailPop3Close(again);
}

TEST_F(Pop3Test, MailsAskedOutOfOrderAreStillTheRightOnes)
{
    // Replies are read ahead where the server pipelines; any order of calls must still match.
    for (const char *s : {"one", "two", "three", "four"})
        ASSERT_TRUE(servers().addMail(QStringLiteral("taro"), simpleMail(s, s)));
    const int h = transport.NMailPop3Connect(pop3());
    ASSERT_EQ(transport.NMailPop3Authenticate(h, "taro", "taro-pass-1", 0), 4);
    QByteArray s, d, f, hd, b;
    const int order[] = {3, 1, 4, 2, 3};
    const char *expected[] = {"", "one", "two", "three", "four"};
    for (int n : order) {
        EXPECT_EQ(transport.NMailPop3GetMailSize(h, 2), simpleMail("two", "two").size());
        EXPECT_EQ(transport.NMailPop3GetMail(h, n, s, d, f, hd, b, 0, 0), 0);
        EXPECT_EQ(s, expected[n]);
        EXPECT_EQ(b, QByteArray(expected[n]) + "\r\n");
    }
    EXPECT_LT(transport.NMailPop3GetMail(h, 5, s, d, f, hd, b, 0, 0), 0);
    for (int n = 1; n <= 4; ++n)
        EXPECT_EQ(transport.NMailPop3DeleteMail(h, n), 0);
    EXPECT_EQ(transport.NMailPop3Close(h), 0);
    EXPECT_EQ(servers().mailCount(QStringLiteral("taro")), 0);
}

TEST_F(Pop3Test, ApopFlagReallyLogsInWithApop)
{
    ASSERT_TRUE(servers().addMail(QStringLiteral("hanako"), simpleMail("apop", "x")));
    const int h = transport.NMailPop3Connect(pop3());
    ASSERT_GE(h, 0);
    EXPECT_EQ(transport.NMailPop3Authenticate(h, "hanako", "hanako-pass-2", -1), 1)
        << message().toStdString();
    transport.NMailPop3Close(h);
    QString log = servers().dovecotLog();
    for (int wait = 0; wait < 40 && !log.contains(QStringLiteral("Login: user=<hanako>, method=APOP"));
         ++wait) {
        QThread::msleep(50);
        log = servers().dovecotLog();
    }
    EXPECT_TRUE(log.contains(QStringLiteral("Login: user=<hanako>, method=APOP"))) << log.toStdString();

    // hanako may only use APOP, so a plain login must fail (no silent fallback either way).
    const int plain = transport.NMailPop3Connect(pop3());
    EXPECT_LT(transport.NMailPop3Authenticate(plain, "hanako", "hanako-pass-2", 0), 0);
    transport.NMailPop3Close(plain);
}

TEST_F(Pop3Test, WrongPasswordGivesNegativeCountAndATextWithoutThePassword)
{
    for (int apop : {0, -1}) {
        const int h = transport.NMailPop3Connect(pop3());
        ASSERT_GE(h, 0);
        EXPECT_LT(transport.NMailPop3Authenticate(h, "taro", "wrong-secret-77", apop), 0);
        const QString text = message();
        EXPECT_TRUE(text.contains(QStringLiteral("ログインできませんでした"))) << text.toStdString();
        EXPECT_FALSE(text.contains(QStringLiteral("wrong-secret-77")));
        EXPECT_EQ(transport.NMailPop3Close(h), 0);
    }
    // The refused APOP login was not retried with USER/PASS, which would send the password.
    const QRegularExpression once(QStringLiteral("auth failed, 1 attempts[^\\n]*user=<taro>, method=APOP"));
    QString log;
    for (int wait = 0; wait < 40 && !log.contains(once); ++wait) { // Dovecot logs it at the disconnect
        QThread::msleep(50);
        log = servers().dovecotLog();
    }
    EXPECT_TRUE(log.contains(once)) << log.toStdString();
}

TEST_F(Pop3Test, UnreachableServerGivesMinusOneAndAText)
{
    SilentServer closed; // take a free port, then use the one after it
    const QByteArray nobody = "127.0.0.1:" + QByteArray::number(servers().pop3Port() == 1 ? 2 : 1);
    EXPECT_EQ(transport.NMailPop3Connect(nobody), -1);
    EXPECT_TRUE(message().contains(QStringLiteral("接続できません"))) << message().toStdString();
    EXPECT_EQ(transport.NMailPop3Connect("no such host name"), -1);
    EXPECT_EQ(transport.NMailPop3Connect(""), -1);
}

TEST_F(Pop3Test, ServerSyntaxWithPrefixAndImplicitTls)
{
    ASSERT_TRUE(servers().addMail(QStringLiteral("taro"), simpleMail("tls", "secret body")));
    const QByteArray pop3s = "pop3s://127.0.0.1:" + QByteArray::number(servers().pop3sPort());
    for (const QByteArray &server : {pop3s, "pop3://127.0.0.1:" + QByteArray::number(servers().pop3Port())}) {
        const int h = transport.NMailPop3Connect(server);
        ASSERT_GE(h, 0) << server.data();
        EXPECT_EQ(transport.NMailPop3Authenticate(h, "taro", "taro-pass-1", 0), 1) << message().toStdString();
        QByteArray s, d, f, hd, b;
        transport.NMailPop3GetMail(h, 1, s, d, f, hd, b, 0, 0);
        EXPECT_EQ(b, "secret body\r\n");
        transport.NMailPop3Close(h);
    }
    EXPECT_EQ(g_reverseLookups, 0);
}

TEST_F(Pop3Test, UntrustedCertificateIsRefusedWithATlsText)
{
    QFile::remove(ProgramFolder::dataFolder() + QStringLiteral("/cacert.pem"));
    for (quint16 port : {servers().pop3sPort(), servers().pop3Port()}) { // POP3S, and STLS on the plain port
        const QByteArray server = (port == servers().pop3sPort() ? "pop3s://" : "") + QByteArray("127.0.0.1:")
                                  + QByteArray::number(port);
        const int h = transport.NMailPop3Connect(server);
        ASSERT_GE(h, 0);
        EXPECT_LT(transport.NMailPop3Authenticate(h, "taro", "taro-pass-1", 0), 0);
        EXPECT_TRUE(message().contains(QStringLiteral("TLS"))) << message().toStdString();
        EXPECT_FALSE(message().contains(QStringLiteral("taro-pass-1")));
        transport.NMailPop3Close(h);
    }
}

TEST_F(Pop3Test, TrustedCertificateStillHasToNameTheServer)
{
    // The machine's own name usually resolves to loopback; the certificate names only
    // localhost and 127.0.0.1.
    char name[256] = {};
    gethostname(name, sizeof name - 1);
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo *list = nullptr;
    const bool loopback =
        getaddrinfo(name, nullptr, &hints, &list) == 0 && list
        && reinterpret_cast<sockaddr_in *>(list->ai_addr)->sin_addr.s_addr == htonl(INADDR_LOOPBACK);
    if (list)
        freeaddrinfo(list);
    if (!loopback || QByteArray(name) == "localhost")
        GTEST_SKIP() << "the host name does not resolve to 127.0.0.1";
    const int h = transport.NMailPop3Connect("pop3s://" + QByteArray(name) + ":"
                                             + QByteArray::number(servers().pop3sPort()));
    ASSERT_GE(h, 0);
    EXPECT_LT(transport.NMailPop3Authenticate(h, "taro", "taro-pass-1", 0), 0);
    EXPECT_TRUE(message().contains(QStringLiteral("証明書"))) << message().toStdString();
    transport.NMailPop3Close(h);

    const int ok =
        transport.NMailPop3Connect("pop3s://localhost:" + QByteArray::number(servers().pop3sPort()));
    EXPECT_EQ(transport.NMailPop3Authenticate(ok, "taro", "taro-pass-1", 0), 0) << message().toStdString();
    transport.NMailPop3Close(ok);
}

TEST_F(Pop3Test, SilentServerGivesUpAfterTheTimeout)
{
    SilentServer silent;
    transport.setTimeout(1000);
    QElapsedTimer clock;
    clock.start();
    const int h = transport.NMailPop3Connect("127.0.0.1:" + QByteArray::number(silent.port()));
    ASSERT_GE(h, 0); // the connection itself is accepted
    EXPECT_LT(transport.NMailPop3Authenticate(h, "taro", "taro-pass-1", 0), 0);
    EXPECT_LT(clock.elapsed(), 15000);
    EXPECT_TRUE(message().contains(QStringLiteral("応答がない"))) << message().toStdString();
    transport.NMailPop3Close(h);
    // A port that speaks TLS from the first byte, named without pop3s://, is silent as well.
    const QByteArray tlsPort = "127.0.0.1:" + QByteArray::number(servers().pop3sPort());
    const int wrong = transport.NMailPop3Connect(tlsPort);
    EXPECT_LT(transport.NMailPop3Authenticate(wrong, "taro", "taro-pass-1", 0), 0);
    EXPECT_TRUE(message().contains(QStringLiteral("「pop3s://") + QString::fromLatin1(tlsPort) + u'」'))
        << message().toStdString();
    transport.NMailPop3Close(wrong);

    clock.restart();
    const int tls = transport.NMailPop3Connect("pop3s://127.0.0.1:" + QByteArray::number(silent.port()));
    EXPECT_LT(transport.NMailPop3Authenticate(tls, "taro", "taro-pass-1", 0), 0);
    EXPECT_LT(clock.elapsed(), 15000);
    transport.NMailPop3Close(tls);
}

TEST_F(Pop3Test, ConnectionCutDuringRetrievalFailsAndDeletesNothing)
{
    ASSERT_TRUE(servers().addMail(QStringLiteral("taro"), simpleMail("small", "first")));
    ASSERT_TRUE(servers().addMail(QStringLiteral("taro"), simpleMail("big", QByteArray(200000, 'x'))));
    // Plain POP3 without STLS through the proxy would still see STLS offered; use the plain
    // port and let the proxy cut deep inside the second mail.
    CuttingProxy proxy(servers().pop3Port(), 60000);
    const int h = transport.NMailPop3Connect("127.0.0.1:" + QByteArray::number(proxy.port()));
    ASSERT_GE(h, 0);
    ASSERT_EQ(transport.NMailPop3Authenticate(h, "taro", "taro-pass-1", 0), 2) << message().toStdString();
    QByteArray s, d, f, hd, b;
    EXPECT_EQ(transport.NMailPop3GetMail(h, 1, s, d, f, hd, b, 0, 0), 0);
    EXPECT_EQ(transport.NMailPop3DeleteMail(h, 1), 0);
    transport.NMailPop3GetMailStatus(h, 2, s, d, f, hd, 0);
    EXPECT_LT(transport.NMailPop3GetMail(h, 2, s, d, f, hd, b, 0, 0), 0);
    EXPECT_TRUE(b.isEmpty());
    EXPECT_TRUE(proxy.didCut());
    EXPECT_FALSE(message().isEmpty());
    EXPECT_LT(transport.NMailPop3DeleteMail(h, 2), 0); // never retrieved: not deleted
    transport.NMailPop3Close(h);
    EXPECT_EQ(servers().mailCount(QStringLiteral("taro")), 2); // no QUIT, so not even mail 1 went
}

TEST_F(Pop3Test, MalformedAndSplitMailIsHandledWithoutHarm)
{
    ASSERT_TRUE(servers().addMail(
        QStringLiteral("taro"),
        crlf("Subject: broken\nContent-Type: multipart/mixed; boundary=\"b\"\n\n--b\n"
             "Content-Type: text/plain; charset=ISO-2022-JP\nContent-Transfer-Encoding: base64\n\n"
             "!!!\n--b\nContent-Type: application/octet-stream; name=\"../x.bin\"\n\n\xff\xfe")));
    ASSERT_TRUE(servers().addMail(
        QStringLiteral("taro"),
        crlf("Subject: piece\nMIME-Version: 1.0\n"
             "Content-Type: message/partial; id=\"p@x\"; number=1; total=2\n\nfirst half")));
    const int h = transport.NMailPop3Connect(pop3());
    ASSERT_EQ(transport.NMailPop3Authenticate(h, "taro", "taro-pass-1", 0), 2);
    const QString target = ProgramFolder::attachmentFolder() + QLatin1Char('/');
    int results[3] = {};
    for (int n = 1; n <= 2; ++n) {
        QByteArray s, d, f, hd, b;
        transport.NMailPop3GetMailStatus(h, n, s, d, f, hd, 0);
        transport.NMailPop3GetMailSize(h, n);
        EXPECT_EQ(transport.NMailPop3GetMail(h, n, s, d, f, hd, b, 0, 0), 0);
        results[n] = transport.NMailAttachmentFileFirst(
            0, s, d, f, hd, b, target, target + QStringLiteral("0.txt"), hd + "\r\n" + b + "\r\n", 0);
        transport.NMailAttachmentFileClose(0);
        transport.NMailPop3DeleteMail(h, n);
    }
    transport.NMailPop3Close(h);
    EXPECT_EQ(results[1], 1);
    EXPECT_TRUE(QFile::exists(target + QStringLiteral("x.bin")));
    EXPECT_EQ(results[2], -6);
    EXPECT_EQ(servers().mailCount(QStringLiteral("taro")), 0);

    // A mail text that was never retrieved is read as it is given.
    QByteArray s, d, f, b;
    QByteArray hd = "Subject: direct\r\nContent-Type: multipart/mixed; boundary=q";
    EXPECT_EQ(transport.NMailAttachmentFileFirst(
                  0, s, d, f, hd, b, target, QString(),
                  hd + "\r\n\r\n--q\r\nContent-Type: text/plain; name=direct.txt\r\n\r\nd\r\n--q--\r\n", 0),
              1);
    EXPECT_TRUE(QFile::exists(target + QStringLiteral("direct.txt")));
}

} // namespace
