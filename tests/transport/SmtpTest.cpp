// Sending through the real aiosmtpd server (delivering into Dovecot), reading back over POP3 and
// with Python's email package as an independent reader.
#include "TransportTestSupport.h"
#include "TestSupport.h"
#include "ServerAddress.h"
#include "VmimeTransport.h"
#include "platform/Cp932.h"
#include "platform/ProgramFolder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class SmtpTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(servers().ok()) << servers().error().toStdString();
        servers().clearMails(QStringLiteral("taro"));
        servers().clearMails(QStringLiteral("hanako"));
        ASSERT_TRUE(servers().installTrust(ProgramFolder::dataFolder()));
        transport.setTimeout(5000);
    }

    QByteArray smtp() const { return "127.0.0.1:" + QByteArray::number(servers().smtpPort()); }
    QByteArray pop3() const { return "127.0.0.1:" + QByteArray::number(servers().pop3Port()); }
    QString message() { return Cp932::toUnicode(transport.NMailGetMessage()); }

    QString writeFile(const QString &name, const QByteArray &bytes)
    {
        const QString path = files.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }

    // How Python's email package reads the raw mail.
    QJsonObject pythonReads(const QByteArray &raw)
    {
        const QString path = files.filePath(QStringLiteral("raw.eml"));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(raw);
        f.close();
        QProcess p;
        p.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(WP_READ_MAIL_SCRIPT), path});
        p.waitForFinished(20000);
        const QByteArray out = p.readAllStandardOutput();
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        return QJsonDocument::fromJson(out).object();
    }

    TempProgramFolder folder;
    QTemporaryDir files;
    VmimeTransport transport;
};

TEST_F(SmtpTest, JapaneseMailWithTwoAttachmentsSurvivesTheRoundTrip)
{
    const QString subjectText = QStringLiteral("犬の散歩について（ご連絡）");
    const QString bodyText =
        QStringLiteral("こんにちは、太郎さん。\r\n明日の散歩は十時からです。\r\n.\r\n..dots\r\n\r\n"
                       "\r\n\r\n\r\nWanderpup（③の選択）");
    const QByteArray subject = sjis(subjectText);
    const QByteArray body = sjis(bodyText);
    ASSERT_TRUE(body.contains(QByteArray("\x87\x42", 2))); // ③ in code page 932

    QByteArray binary;
    for (int i = 0; i < 70000; ++i)
        binary.append(char((i * 7) & 0xFF));
    const QByteArray memo = sjis(QStringLiteral("表計算のメモ\r\nソース①\r\n"));
    // A long name needs RFC 2231 continuation lines.
    const QString longName =
        QStringLiteral("散歩の記録①とても長い名前の添付ファイルでも名前が正しく届くことを確かめる.bin");
    const QString a1 = writeFile(longName, binary);
    const QString a2 = writeFile(QStringLiteral("メモ.txt"), memo);

    transport.setSmtpCredentials("taro", "taro-pass-1");
    const int sent = transport.NMailSmtpSendMail(smtp(), "taro@example.test", "hanako@example.test", subject,
                                                 body, a1 + QLatin1Char(',') + a2, 0);
    ASSERT_GE(sent, 0) << message().toStdString();
    ASSERT_EQ(servers().mailCount(QStringLiteral("taro")), 1);
    const QByteArray raw = servers().mails(QStringLiteral("taro")).first();
    EXPECT_FALSE(raw.contains("taro-pass-1"));

    // An independent reader sees the same mail.
    const QJsonObject py = pythonReads(raw);
    EXPECT_EQ(py.value(QStringLiteral("subject")).toString(), subjectText);
    QString pyBody = py.value(QStringLiteral("body")).toString();
    pyBody.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    QString expectedBody = bodyText;
    expectedBody.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    EXPECT_EQ(pyBody, expectedBody);
    const QJsonArray attachments = py.value(QStringLiteral("attachments")).toArray();
    ASSERT_EQ(attachments.size(), 2);
    EXPECT_EQ(attachments[0].toObject().value(QStringLiteral("name")).toString(), longName);
    EXPECT_EQ(attachments[0].toObject().value(QStringLiteral("bytes")).toString().toLatin1(), binary.toHex());
    EXPECT_EQ(attachments[1].toObject().value(QStringLiteral("name")).toString(), QStringLiteral("メモ.txt"));
    EXPECT_EQ(py.value(QStringLiteral("to")).toArray().first().toString(),
              QStringLiteral("taro@example.test"));
    EXPECT_FALSE(py.value(QStringLiteral("date")).toString().isEmpty());
    EXPECT_FALSE(py.value(QStringLiteral("message_id")).toString().isEmpty());

    // And our own POP3 side gives back the very bytes that went out.
    const int h = transport.NMailPop3Connect(pop3());
    ASSERT_EQ(transport.NMailPop3Authenticate(h, "taro", "taro-pass-1", 0), 1) << message().toStdString();
    QByteArray s, d, f, hd, b;
    ASSERT_EQ(transport.NMailPop3GetMail(h, 1, s, d, f, hd, b, 0, 0), 0);
    EXPECT_EQ(s, subject);
    EXPECT_EQ(b, body);
    EXPECT_EQ(f, "hanako@example.test");
    const QString target = ProgramFolder::attachmentFolder() + QLatin1Char('/');
    EXPECT_EQ(transport.NMailAttachmentFileFirst(0, s, d, f, hd, b, target, target + QStringLiteral("0.txt"),
                                                 hd + "\r\n" + b + "\r\n", 0),
              1);
    transport.NMailAttachmentFileClose(0);
    QFile got1(target + longName);
    QFile got2(target + QStringLiteral("メモ.txt"));
    ASSERT_TRUE(got1.open(QIODevice::ReadOnly));
    ASSERT_TRUE(got2.open(QIODevice::ReadOnly));
    EXPECT_EQ(got1.readAll(), binary);
    EXPECT_EQ(got2.readAll(), memo);
    EXPECT_EQ(transport.NMailPop3DeleteMail(h, 1), 0);
    EXPECT_EQ(transport.NMailPop3Close(h), 0);
    EXPECT_EQ(servers().mailCount(QStringLiteral("taro")), 0);
}

TEST_F(SmtpTest, JisOnlyTextGoesAsIso2022JpAndSeveralRecipientsGetIt)
{
    const QString subjectText =
        QStringLiteral("お知らせ～全角チルダと長い件名が折り返されても正しく読めることを確かめるための件名");
    const QString bodyText = QStringLiteral("本日は晴天なり。～\r\n以上です。");
    ASSERT_GE(transport.NMailSmtpSendMail(smtp(), "taro@example.test, \"Hanako\" <hanako@example.test>",
                                          "taro@example.test", sjis(subjectText), sjis(bodyText), QString(),
                                          0),
              0)
        << message().toStdString();
    ASSERT_EQ(servers().mailCount(QStringLiteral("taro")), 1);
    ASSERT_EQ(servers().mailCount(QStringLiteral("hanako")), 1);
    const QByteArray raw = servers().mails(QStringLiteral("hanako")).first();
    EXPECT_TRUE(raw.contains("charset=ISO-2022-JP")) << raw.data();
    EXPECT_FALSE(raw.endsWith("\r\n\r\n")); // no empty line added at the end
    EXPECT_TRUE(raw.contains("Subject: =?ISO-2022-JP?B?"));
    for (const QByteArray &line : raw.split('\n'))
        EXPECT_LE(line.size(), 78) << line.data();
    const QJsonObject py = pythonReads(raw);
    EXPECT_EQ(py.value(QStringLiteral("subject")).toString(),
              QString(subjectText).replace(QChar(0xFF5E), QChar(0x301C)));
    EXPECT_TRUE(py.value(QStringLiteral("body")).toString().startsWith(QStringLiteral("本日は晴天なり。")));

    const int h = transport.NMailPop3Connect(pop3());
    ASSERT_EQ(transport.NMailPop3Authenticate(h, "hanako", "hanako-pass-2", -1), 1);
    QByteArray s, d, f, hd, b;
    transport.NMailPop3GetMail(h, 1, s, d, f, hd, b, 0, 0);
    EXPECT_EQ(s, sjis(subjectText));
    EXPECT_EQ(b, sjis(bodyText) + "\r\n") << b.toHex().toStdString();
    transport.NMailPop3DeleteMail(h, 1);
    transport.NMailPop3Close(h);

    // ESC, SO and SI are ISO-2022-JP's own shift codes: text holding them goes another way and
    // reads back as it was written.
    const QByteArray shifty = sjis(QStringLiteral("犬\x1b$B%\x0e" "0\x0f(B"));
    ASSERT_GE(transport.NMailSmtpSendMail(smtp(), "hanako@example.test", "taro@example.test", shifty, shifty,
                                          QString(), 0),
              0);
    const int again = transport.NMailPop3Connect(pop3());
    ASSERT_EQ(transport.NMailPop3Authenticate(again, "hanako", "hanako-pass-2", -1), 1);
    transport.NMailPop3GetMail(again, 1, s, d, f, hd, b, 0, 0);
    EXPECT_EQ(s, shifty);
    EXPECT_EQ(b, shifty);
    transport.NMailPop3Close(again);
}

TEST_F(SmtpTest, FailuresGiveANegativeResultAndSayWhy)
{
    struct Case
    {
        const char *edge;
        QByteArray server;
        QByteArray to;
        QString attachments;
        QString expected;
    };
    const QByteArray smtps = "smtps://127.0.0.1:" + QByteArray::number(servers().smtpsPort());
    const Case cases[] = {
        {"recipient refused", smtp(), "nobody@example.test", QString(), QStringLiteral("User unknown")},
        {"file not found", smtp(), "taro@example.test", QStringLiteral("/no/such/file.txt"),
         QStringLiteral("見つかりません")},
        {"empty recipient", smtp(), "", QString(), QStringLiteral("宛先")},
        {"bad address", smtp(), "taro at example", QString(), QStringLiteral("正しくありません")},
        {"server unreachable", "127.0.0.1:1", "taro@example.test", QString(),
         QStringLiteral("接続できません")},
    };
    for (const Case &c : cases) {
        EXPECT_LT(
            transport.NMailSmtpSendMail(c.server, c.to, "hanako@example.test", "s", "b", c.attachments, 0), 0)
            << c.edge;
        EXPECT_TRUE(message().contains(c.expected)) << c.edge << ": " << message().toStdString();
    }
    EXPECT_EQ(servers().mailCount(QStringLiteral("taro")), 0);

    transport.setSmtpCredentials("taro", "not-the-password-9");
    EXPECT_LT(transport.NMailSmtpSendMail(smtp(), "taro@example.test", "hanako@example.test", "s", "b",
                                          QString(), 0),
              0);
    EXPECT_FALSE(message().isEmpty());
    EXPECT_FALSE(message().contains(QStringLiteral("not-the-password-9")));

    // Implicit TLS on a server that requires AUTH: refused without an account, sent with one.
    transport.setSmtpCredentials(QByteArray(), QByteArray());
    EXPECT_LT(transport.NMailSmtpSendMail(smtps, "taro@example.test", "hanako@example.test", "s", "b",
                                          QString(), 0),
              0);
    EXPECT_TRUE(message().contains(QStringLiteral("uthentication required"))) << message().toStdString();
    transport.setSmtpCredentials("taro", "taro-pass-1");
    EXPECT_GE(transport.NMailSmtpSendMail(smtps, "taro@example.test", "hanako@example.test", "s", "b",
                                          QString(), 0),
              0)
        << message().toStdString();
    EXPECT_EQ(servers().mailCount(QStringLiteral("taro")), 1);
}

TEST_F(SmtpTest, SilentServerGivesUpAfterTheTimeout)
{
    SilentServer silent;
    transport.setTimeout(1000);
    const QByteArray tlsPort = "127.0.0.1:" + QByteArray::number(servers().smtpsPort());
    for (const QByteArray &server :
         {"127.0.0.1:" + QByteArray::number(silent.port()), "smtps://127.0.0.1:" + QByteArray::number(silent.port()),
          tlsPort}) {
        QElapsedTimer clock;
        clock.start();
        EXPECT_LT(transport.NMailSmtpSendMail(server, "taro@example.test", "hanako@example.test", "s", "b", QString(), 0),
                  0);
        EXPECT_LT(clock.elapsed(), 15000);
        EXPECT_TRUE(message().contains(QStringLiteral("応答がない"))) << message().toStdString();
        // Waiting for a greeting on a port that waits for TLS to begin: the message says so.
        EXPECT_EQ(message().contains(QStringLiteral("「smtps://")), !server.startsWith("smtps"))
            << message().toStdString();
    }
    EXPECT_TRUE(message().contains(QStringLiteral("「smtps://") + QString::fromLatin1(tlsPort) + u'」'))
        << message().toStdString();
}

TEST_F(SmtpTest, ConnectionCutBeforeTheServerConfirmsIsAFailure)
{
    // The proxy lets the dialogue through up to the server's "354" and cuts the connection
    // when the server answers the data: the mail must not be reported as sent.
    CuttingProxy proxy(servers().smtpPlainPort(), 0);
    const QByteArray viaProxy = "smtp+plain://127.0.0.1:" + QByteArray::number(proxy.port());
    ASSERT_GE(transport.NMailSmtpSendMail(viaProxy, "taro@example.test", "hanako@example.test", "s", "b",
                                          QString(), 0),
              0)
        << message().toStdString();
    const qint64 dialogue = proxy.serverBytes(); // everything the server said for one mail
    CuttingProxy cutting(servers().smtpPlainPort(), dialogue - 20);
    EXPECT_LT(transport.NMailSmtpSendMail("smtp+plain://127.0.0.1:" + QByteArray::number(cutting.port()),
                                          "taro@example.test", "hanako@example.test", "s", "b", QString(), 0),
              0);
    EXPECT_TRUE(cutting.didCut());
    EXPECT_FALSE(message().isEmpty());
}

TEST_F(SmtpTest, ACheckAndASendOpenOneConnectionEach)
{
    // Counted by a proxy in front of the real servers: STLS and STARTTLS, a login on each.
    ASSERT_TRUE(servers().addMail(QStringLiteral("taro"), "Subject: one\r\n\r\nbody\r\n"));
    CuttingProxy pop(servers().pop3Port(), 0), smtp(servers().smtpPort(), 0);
    const int h = transport.NMailPop3Connect("127.0.0.1:" + QByteArray::number(pop.port()));
    ASSERT_EQ(transport.NMailPop3Authenticate(h, "taro", "taro-pass-1", 0), 1) << message().toStdString();
    QByteArray subject, date, from, header, body;
    EXPECT_EQ(transport.NMailPop3GetMail(h, 1, subject, date, from, header, body, 0, 0), 0);
    EXPECT_EQ(transport.NMailPop3DeleteMail(h, 1), 0);
    EXPECT_EQ(transport.NMailPop3Close(h), 0);
    EXPECT_EQ(pop.connections(), 1);

    const qsizetype logins = servers().smtpAuthLog().count(u'\n');
    transport.setSmtpCredentials("taro", "taro-pass-1");
    EXPECT_EQ(transport.NMailSmtpSendMail("127.0.0.1:" + QByteArray::number(smtp.port()), "hanako@example.test",
                                          "taro@example.test", "s", "b", QString(), 0),
              0)
        << message().toStdString();
    EXPECT_EQ(smtp.connections(), 1);
    EXPECT_EQ(servers().smtpAuthLog().count(u'\n'), logins + 1);
    EXPECT_EQ(servers().mailCount(QStringLiteral("hanako")), 1);
}

TEST(ServerAddressTest, ServerFieldSyntax)
{
    struct Case
    {
        const char *text;
        bool pop3;
        const char *host;
        int port;
        bool tls;
        bool valid;
    };
    const Case cases[] = {
        {"mail.example.jp", true, "mail.example.jp", 110, false, true},
        {" mail.example.jp:995 ", true, "mail.example.jp", 995, true, true},
        {"pop3s://mail.example.jp", true, "mail.example.jp", 995, true, true},
        {"POP3://mail.example.jp:1110/", true, "mail.example.jp", 1110, false, true},
        {"smtp.example.jp", false, "smtp.example.jp", 25, false, true},
        {"smtp.example.jp:465", false, "smtp.example.jp", 465, true, true},
        {"smtp.example.jp:587", false, "smtp.example.jp", 587, false, true},
        {"smtps://smtp.example.jp:10465", false, "smtp.example.jp", 10465, true, true},
        {"[::1]:2525", false, "::1", 2525, false, true},
        {"pop3+plain://127.0.0.1:1110", true, "127.0.0.1", 1110, false, true},
        {"smtp+plain://smtp.example.jp:465", false, "smtp.example.jp", 465, false, true},
        {"host:notaport", true, "host", 0, false, false},
        {"", true, "", 110, false, false},
        {"two words", true, "two words", 110, false, false},
        // Forms that used to fall back to port 110 or pass a line break on to the resolver.
        {"[::1", true, "", 0, false, false},
        {"h/x:25", true, "", 0, false, false},
        {"[::1]x:25", true, "", 0, false, false},
        {"mail.example.jp\r\nQUIT", true, "", 0, false, false},
        {"mail.example.jp:99999", true, "", 0, false, false},
        {"imap://mail.example.jp", true, "", 0, false, false},
        {"pop3s+plain://mail.example.jp", true, "", 0, false, false},
    };
    for (const Case &c : cases) {
        const ServerAddress a = ServerAddress::parse(c.text, c.pop3);
        EXPECT_EQ(a.valid, c.valid) << c.text;
        EXPECT_EQ(a.problem.isEmpty(), c.valid) << c.text; // a refusal says why
        if (!c.valid)
            continue;
        EXPECT_EQ(a.host, c.host) << c.text;
        EXPECT_EQ(a.port, c.port) << c.text;
        EXPECT_EQ(a.implicitTls, c.tls) << c.text;
    }
}

TEST_F(SmtpTest, OnlyTheCallersCredentialsLogInAndARelayWithoutAuthStillWorks)
{
    // The account file is the caller's business: the transport does not read it.
    folder.write(QStringLiteral("★MailData/iniIdPass.ini"),
                 "[EXEINI]\r\nNAME=taro\r\nNAME2=taro-pass-1\r\nNAME3=1\r\n");
    const QByteArray smtps = "smtps://127.0.0.1:" + QByteArray::number(servers().smtpsPort());
    EXPECT_LT(transport.NMailSmtpSendMail(smtps, "taro@example.test", "hanako@example.test", "s", "b",
                                          QString(), 0),
              0);
    EXPECT_TRUE(message().contains(QStringLiteral("uthentication required"))) << message().toStdString();
    // Credentials handed over, on a relay that offers no AUTH (the user chose it without TLS):
    // sent without logging in.
    transport.setSmtpCredentials("taro", "taro-pass-1");
    const QByteArray plain = "smtp+plain://127.0.0.1:" + QByteArray::number(servers().smtpPlainPort());
    EXPECT_GE(transport.NMailSmtpSendMail(plain, "taro@example.test", "hanako@example.test", "s", "b",
                                          QString(), 0),
              0)
        << message().toStdString();
    EXPECT_EQ(servers().mailCount(QStringLiteral("taro")), 1);
}

} // namespace
