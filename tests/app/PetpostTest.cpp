#include "app/AccountSettings.h"
#include "platform/Cp932.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

AccountSettings loadFrom(const QByteArray &bytes)
{
    QTemporaryDir folder;
    QFile file(folder.filePath(QStringLiteral("petpost.ini")));
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
    file.close();
    AccountSettings settings;
    Petpost::load(file.fileName(), settings);
    return settings;
}

} // namespace

TEST(Petpost, OnlyPop3LineLoadsThatServer)
{
    const AccountSettings s = loadFrom("POP3=pop.example.jp\r\n");
    EXPECT_EQ(s.Pop3Server, QStringLiteral("pop.example.jp"));
    EXPECT_TRUE(s.SmtpServer.isEmpty());
    EXPECT_TRUE(s.MailAddress.isEmpty());
    EXPECT_EQ(s.UseApop, 0);
}

TEST(Petpost, KeysAreCaseSensitiveAndShortLinesIgnored)
{
    const AccountSettings s = loadFrom("pop3=pop.example.jp\r\nPOP\r\n\r\nSMTP\r\nX=1\r\n");
    EXPECT_TRUE(s.Pop3Server.isEmpty());
    EXPECT_TRUE(s.SmtpServer.isEmpty());
}

struct ApopCase
{
    const char *name;
    QByteArray value;
    qint16 expected;
};

class PetpostApop : public testing::TestWithParam<ApopCase>
{
};

TEST_P(PetpostApop, ReadsLeadingNumberRoundedHalfToEven)
{
    EXPECT_EQ(loadFrom("APOP=" + GetParam().value + "\r\n").UseApop, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, PetpostApop,
    testing::Values(ApopCase{"one", "1", 1}, ApopCase{"nothing", "", 0}, ApopCase{"letters", "yes", 0},
                    ApopCase{"one_and_a_half", "1.5", 2}, ApopCase{"two_and_a_half", "2.5", 2},
                    ApopCase{"leading_blanks", "  1", 1}, ApopCase{"number_then_text", "1abc", 1},
                    ApopCase{"beyond_16_bits", "99999", 32767}, ApopCase{"negative", "-1", -1}),
    [](const testing::TestParamInfo<ApopCase> &info) { return std::string(info.param.name); });

TEST(Petpost, ValuesKeepBlanksAreCutTo100AndLaterLineWins)
{
    const QByteArray longValue(150, 'a');
    const AccountSettings s = loadFrom("SMTP= smtp.example.jp  \r\nMAIL=first@example.jp\r\nMAIL=second@example.jp\r\n"
                                       "POP3=" + longValue + "\r\n");
    EXPECT_EQ(s.SmtpServer, QStringLiteral(" smtp.example.jp  "));
    EXPECT_EQ(s.MailAddress, QStringLiteral("second@example.jp"));
    EXPECT_EQ(s.Pop3Server, QString(100, u'a'));
}

TEST(Petpost, LineEndsAndJapaneseValues)
{
    // CR alone, CR LF and (for hand-edited files) LF alone all end a line; values are code page 932.
    const AccountSettings s =
        loadFrom("SMTP=a\rPOP3=b\nMAIL=" + Cp932::fromUnicode(QStringLiteral("表示ソ@例.jp")) + "\r\nAPOP=1");
    EXPECT_EQ(s.SmtpServer, QStringLiteral("a"));
    EXPECT_EQ(s.Pop3Server, QStringLiteral("b"));
    EXPECT_EQ(s.MailAddress, QStringLiteral("表示ソ@例.jp"));
    EXPECT_EQ(s.UseApop, 1);
}

TEST(Petpost, MissingFileLeavesSettingsEmpty)
{
    AccountSettings s;
    Petpost::load(QStringLiteral("/nonexistent/petpost.ini"), s);
    EXPECT_TRUE(s.Pop3Server.isEmpty());
    EXPECT_EQ(s.UseApop, 0);
}

TEST(Petpost, SaveWritesFourLinesInCodePage932AndReadsBack)
{
    QTemporaryDir folder;
    AccountSettings s;
    s.SmtpServer = QStringLiteral("smtp.example.jp ");
    s.Pop3Server = QStringLiteral("pop.example.jp");
    s.MailAddress = QStringLiteral("表@example.jp");
    s.UseApop = 1;
    const QString path = folder.filePath(QStringLiteral("petpost.ini"));
    ASSERT_TRUE(Petpost::save(path, s));
    QFile saved(path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(),
              QByteArray("SMTP=smtp.example.jp \r\nPOP3=pop.example.jp\r\nMAIL=\x95\x5C@example.jp\r\nAPOP=1\r\n"));

    AccountSettings again;
    Petpost::load(path, again);
    EXPECT_EQ(again.SmtpServer, s.SmtpServer);
    EXPECT_EQ(again.MailAddress, s.MailAddress);
    EXPECT_EQ(again.UseApop, 1);
}

TEST(Petpost, SaveIntoMissingFolderFailsAndCreatesNothing)
{
    AccountSettings s;
    EXPECT_FALSE(Petpost::save(QStringLiteral("/nonexistent-folder/petpost.ini"), s));
}

TEST(IdPassFile, SmtpCredentialsAreTheSavedAccountInCodePage932)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("iniIdPass.ini"));
    EXPECT_TRUE(IdPassFile::smtpCredentials(path).id.isEmpty());
    EXPECT_TRUE(IdPassFile::smtpCredentials(path).password.isEmpty());

    ASSERT_TRUE(IdPassFile::write(path, QStringLiteral("NAME"), QStringLiteral("taro")));
    ASSERT_TRUE(IdPassFile::write(path, QStringLiteral("NAME2"), QStringLiteral("表ソ pass")));
    const IdPassFile::Credentials credentials = IdPassFile::smtpCredentials(path);
    EXPECT_EQ(credentials.id, "taro");
    EXPECT_EQ(credentials.password, "\x95\x5C\x83\x5C pass");
}

TEST(Petpost, AutomaticCheckLinesOnlyWhenSetAndReadBack)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("petpost.ini"));
    AccountSettings s;
    s.Pop3Server = QStringLiteral("pop");
    s.NotifyNewMail = false; // means nothing while the check is off: not written
    ASSERT_TRUE(Petpost::save(path, s));
    QFile saved(path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), QByteArray("SMTP=\r\nPOP3=pop\r\nMAIL=\r\nAPOP=0\r\n"));
    saved.close();

    s.AutoCheckMinutes = 15;
    s.CheckAtStart = true;
    ASSERT_TRUE(Petpost::save(path, s));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), QByteArray("SMTP=\r\nPOP3=pop\r\nMAIL=\r\nAPOP=0\r\nAUTO=15\r\nBOOT=1\r\nNTFY=0\r\n"));
    AccountSettings again;
    Petpost::load(path, again);
    EXPECT_EQ(again.AutoCheckMinutes, 15);
    EXPECT_TRUE(again.CheckAtStart);
    EXPECT_FALSE(again.NotifyNewMail);

    // A time written by hand is kept down to a second; beyond two hours it is two hours.
    for (const auto &[line, minutes] : {std::pair{"AUTO=0.05", 0.05}, {"AUTO=0.001", 1.0 / 60}, {"AUTO=500", 120.0},
                                        {"AUTO=x", 0.0}, {"AUTO=-3", 0.0}}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(line);
        file.close();
        AccountSettings read;
        Petpost::load(path, read);
        EXPECT_DOUBLE_EQ(read.AutoCheckMinutes, minutes) << line;
    }
}
