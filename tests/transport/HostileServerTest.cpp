// The transport against misbehaving servers (tests/servers/badservers.py): no password in
// clear, a lie or a refusal spoils only what it touches, and no reply holds on for ever.
#include "BadServers.h"
#include "TestSupport.h"
#include "VmimeTransport.h"
#include "platform/Cp932.h"

#include <QElapsedTimer>
#include <QFile>

#include <gtest/gtest.h>

namespace {

BadServers &bad()
{
    static BadServers s;
    return s;
}

class HostileServerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(bad().ok()) << bad().error().toStdString();
        transport.setTimeout(1500);
    }

    static QByteArray at(const char *mode, const char *scheme = "")
    {
        return QByteArray(scheme) + "127.0.0.1:" + QByteArray::number(bad().port(mode));
    }
    static QByteArray plain(const char *mode) { return at(mode, "pop3+plain://"); }

    QString message() { return Cp932::toUnicode(transport.NMailGetMessage()); }

    int login(const QByteArray &server)
    {
        const int h = transport.NMailPop3Connect(server);
        if (transport.NMailPop3Authenticate(h, "taro", "secret-pass-9", 0) >= 0)
            return h;
        ADD_FAILURE() << server.data() << ": " << message().toStdString();
        transport.NMailPop3Close(h);
        return -1;
    }

    int get(int h, int n)
    {
        QByteArray s, d, f, hd, b;
        transport.NMailPop3GetMailStatus(h, n, s, d, f, hd, 0);
        return transport.NMailPop3GetMail(h, n, s, d, f, hd, b, 0, 0);
    }

    TempProgramFolder folder;
    VmimeTransport transport;
};

TEST_F(HostileServerTest, NoPasswordInClearUnlessTheUserChoseIt)
{
    // STLS refused, or not offered at all (as when someone in between removed it).
    for (const char *mode : {"pop3-refused-stls", "pop3-no-stls"}) {
        const int h = transport.NMailPop3Connect(at(mode));
        ASSERT_GE(h, 0);
        EXPECT_LT(transport.NMailPop3Authenticate(h, "taro", "secret-pass-9", 0), 0) << mode;
        EXPECT_TRUE(message().contains(QStringLiteral("暗号化"))) << message().toStdString();
        EXPECT_TRUE(message().contains(QStringLiteral("pop3+plain://127.0.0.1:"))) << message().toStdString();
        transport.NMailPop3Close(h);
        EXPECT_FALSE(bad().received(mode).contains("secret-pass-9")) << mode;
        EXPECT_FALSE(bad().received(mode).contains("PASS")) << mode;
    }
    // The plain form is the user's explicit choice.
    const int h = transport.NMailPop3Connect(plain("pop3-no-stls"));
    EXPECT_EQ(transport.NMailPop3Authenticate(h, "taro", "secret-pass-9", 0), 3) << message().toStdString();
    EXPECT_EQ(transport.NMailPop3Close(h), 0);

    // SMTP: a server that does not start TLS, whether it refuses STARTTLS (as someone in between
    // may answer for it) or does not offer it (as when someone removed it from the reply), gets
    // nothing of a mail and no login, whether there is a login to give or not.
    for (const QByteArray &id : {QByteArray("taro"), QByteArray()}) {
        transport.setSmtpCredentials(id, id.isEmpty() ? QByteArray() : QByteArray("secret-pass-9"));
        for (const char *mode : {"smtp-refused-starttls", "smtp-no-starttls"}) {
            EXPECT_LT(transport.NMailSmtpSendMail(at(mode), "to@example.test", "taro@example.test", "s", "b",
                                                  QString(), 0),
                      0)
                << mode;
            EXPECT_TRUE(message().contains(QStringLiteral("送信しませんでした"))) << message().toStdString();
            EXPECT_TRUE(message().contains(QStringLiteral("smtp+plain://"))) << message().toStdString();
            for (const char *command : {"AUTH", "MAIL", "RCPT", "DATA"})
                EXPECT_FALSE(bad().received(mode).contains(command)) << mode << " " << command;
        }
    }
    // The plain form is the user's explicit choice.
    transport.setSmtpCredentials("taro", "secret-pass-9");
    EXPECT_GE(transport.NMailSmtpSendMail(at("smtp-no-starttls", "smtp+plain://"), "to@example.test",
                                          "taro@example.test", "s", "b", QString(), 0),
              0)
        << message().toStdString();
    EXPECT_TRUE(bad().received("smtp-no-starttls").contains("AUTH"));
    EXPECT_TRUE(bad().received("smtp-no-starttls").contains("DATA"));
}

TEST_F(HostileServerTest, LiesAndRefusalsSpoilOnlyWhatTheyTouch)
{
    // A mail shorter than announced is not taken for whole, and not deleted; the next one is fine.
    int h = login(plain("pop3-short"));
    ASSERT_GE(h, 0);
    EXPECT_LT(get(h, 1), 0);
    EXPECT_TRUE(message().contains(QStringLiteral("短い"))) << message().toStdString();
    EXPECT_TRUE(transport.pop3Usable(h));
    EXPECT_LT(transport.NMailPop3DeleteMail(h, 1), 0);
    EXPECT_EQ(get(h, 2), 0);
    EXPECT_EQ(transport.NMailPop3Close(h), 0);

    // A STAT that claims 40 mails where LIST names 2.
    const int lying = transport.NMailPop3Connect(plain("pop3-lying-stat"));
    EXPECT_EQ(transport.NMailPop3Authenticate(lying, "taro", "x", 0), 2);
    transport.NMailPop3Close(lying);

    // A mail announced at 2 GB is not asked for (nor is memory taken for it); the rest come.
    h = login(plain("pop3-huge-list"));
    ASSERT_GE(h, 0);
    EXPECT_LT(transport.NMailPop3GetMailSize(h, 1), 0);
    EXPECT_LT(get(h, 1), 0);
    EXPECT_TRUE(message().contains(QStringLiteral("大きすぎる"))) << message().toStdString();
    EXPECT_TRUE(transport.pop3Usable(h));
    EXPECT_EQ(get(h, 3), 0);
    transport.NMailPop3Close(h);

    // Refused deletions are a failure of the close, in the server's own words.
    h = login(plain("pop3-refused-dele"));
    ASSERT_GE(h, 0);
    for (int n = 1; n <= 3; ++n) {
        ASSERT_EQ(get(h, n), 0);
        ASSERT_EQ(transport.NMailPop3DeleteMail(h, n), 0);
    }
    EXPECT_LT(transport.NMailPop3Close(h), 0);
    EXPECT_TRUE(message().contains(QStringLiteral("3通"))) << message().toStdString();
    EXPECT_TRUE(message().contains(QStringLiteral("[SYS/PERM] deleting is not allowed here")))
        << message().toStdString();

    // A refusal of 100 KB full of terminal escapes is quoted short and without them.
    const int refused = transport.NMailPop3Connect(plain("pop3-long-refusal"));
    EXPECT_LT(transport.NMailPop3Authenticate(refused, "taro", "x", 0), 0);
    transport.NMailPop3Close(refused);
    EXPECT_TRUE(message().contains(QStringLiteral("refused refused"))) << message().toStdString();
    EXPECT_LT(message().size(), 1000);
    EXPECT_FALSE(message().contains(u'\x1b') || message().contains(u'\x07'));
}

TEST_F(HostileServerTest, EndlessDrippingAndSilentServersAreCutOff)
{
    // Before the login the mail library reads the replies: bounded all the same.
    const int greeting = transport.NMailPop3Connect(plain("pop3-endless-greeting"));
    EXPECT_LT(transport.NMailPop3Authenticate(greeting, "taro", "x", 0), 0);
    EXPECT_TRUE(message().contains(QStringLiteral("長すぎる"))) << message().toStdString();
    transport.NMailPop3Close(greeting);

    for (const char *mode : {"pop3-endless", "pop3-drip", "pop3-silent-retr"}) {
        QElapsedTimer clock;
        clock.start();
        const int h = login(plain(mode));
        ASSERT_GE(h, 0) << mode;
        EXPECT_LT(get(h, 1), 0) << mode;
        EXPECT_FALSE(transport.pop3Usable(h)) << mode;
        EXPECT_FALSE(message().isEmpty());
        // Known dead: the close does not wait for a QUIT reply that cannot come.
        QElapsedTimer close;
        close.start();
        transport.NMailPop3Close(h);
        EXPECT_LT(close.elapsed(), 1000) << mode;
        EXPECT_LT(clock.elapsed(), 15000) << mode;
    }
    // A server that takes DATA and then reads no more of a large mail.
    const QString big = folder.file(QStringLiteral("big.bin"));
    {
        QFile f(big);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(16 << 20, 'b'));
    }
    for (const char *mode : {"smtp-endless", "smtp-drip", "smtp-stall-data"}) {
        QElapsedTimer clock;
        clock.start();
        EXPECT_LT(transport.NMailSmtpSendMail(at(mode), "to@example.test", "taro@example.test", "s", "b",
                                              QLatin1String(mode) == QLatin1String("smtp-stall-data") ? big : QString(),
                                              0),
                  0)
            << mode;
        EXPECT_FALSE(message().isEmpty());
        EXPECT_LT(clock.elapsed(), 15000) << mode;
    }
}

} // namespace
