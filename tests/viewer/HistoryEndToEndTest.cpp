// Received mail from the real POP3 server through the history window: its sender into the
// address book, one mail deleted, then all of them.
#include "HistoryWindowFixture.h"
#include "MailServers.h"
#include "addressbook/FriendForm.h"
#include "app/AccountSettings.h"
#include "app/Forms.h"
#include "app/MainForm.h"
#include "receive/IncomingMail.h"
#include "transport/MailTransport.h"
#include "viewer/MailListModel.h"
#include "viewer/TyakuForm.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QPlainTextEdit>
#include <QTreeView>

#include <gtest/gtest.h>

namespace {

constexpr int kRecord = 32284;

QByteArray mailFrom(const QByteArray &from, const QByteArray &subject, const QByteArray &body)
{
    return "From: " + from + "\r\nTo: taro@example.test\r\nSubject: " + subject
           + "\r\nDate: Wed, 09 Dec 2026 09:00:00 +0900\r\nMessage-ID: <" + subject + "@example.jp>\r\n\r\n" + body
           + "\r\n";
}

class HistoryEndToEnd : public HistoryWindowFixture
{
protected:
    static void SetUpTestSuite()
    {
        s_servers = new MailServers();
        MailTransport::instance().NMailInitializeWinSock();
        MailTransport::instance().setTimeout(15000);
    }
    static void TearDownTestSuite()
    {
        delete s_servers;
        s_servers = nullptr;
    }

    void SetUp() override
    {
        HistoryWindowFixture::SetUp();
        ASSERT_TRUE(s_servers->ok()) << s_servers->error().toStdString();
        s_servers->clearMails(QStringLiteral("taro"));
        folder.usePetpost(QStringLiteral("SMTP=\r\nPOP3=127.0.0.1:%1\r\nMAIL=taro@example.test\r\nAPOP=0\r\n")
                              .arg(s_servers->pop3Port()));
        folder.saveAccount(QStringLiteral("taro"), QStringLiteral("taro-pass-1"));
        ASSERT_TRUE(s_servers->installTrust(folder.file(QStringLiteral("★MailData"))));
        IncomingMail::reset();
    }
    void TearDown() override
    {
        HistoryWindowFixture::TearDown();
        AccountSettings::instance() = AccountSettings();
    }

    static MailServers *s_servers;
};

MailServers *HistoryEndToEnd::s_servers = nullptr;

TEST_F(HistoryEndToEnd, SenderKeptOneMailDeletedThenAll)
{
    // "山田" in UTF-8, base64: 5bGx55Sw.
    ASSERT_TRUE(s_servers->addMail(QStringLiteral("taro"), mailFrom("a@example.org", "first", "one")));
    ASSERT_TRUE(s_servers->addMail(QStringLiteral("taro"),
                                   mailFrom("=?UTF-8?B?5bGx55Sw?= <yamada@example.jp>", "second", "two")));
    ASSERT_TRUE(s_servers->addMail(QStringLiteral("taro"), mailFrom("c@example.org", "third", "three")));
    MainForm *main = Forms::mainForm();
    main->receiveCommand();
    ASSERT_TRUE(prompter.messages.empty()) << prompter.messages[0].text.toStdString();
    const QByteArray received = folder.read(QStringLiteral("★MailData/ppdata2.data"));
    ASSERT_EQ(received.size(), 3 * kRecord);

    TyakuForm *w = Forms::tyakuForm();
    w->OpenHistory(1);
    click(1);
    w->Command3->click();
    FriendForm *book = Forms::existingFriendForm();
    ASSERT_TRUE(book && book->isVisible());
    book->Text2->setText(QStringLiteral("山田"));
    book->Command4->click();
    const QByteArray name = QByteArray("\x8E\x52\x93\x63") + QByteArray("\x81\x40").repeated(28) + QByteArray(30, ' ');
    const QByteArray address = QByteArray("\x8E\x52\x93\x63 <yamada@example.jp>");
    EXPECT_EQ(folder.read(QStringLiteral("★MailData/Ppdata20.data")),
              name + "\r\n" + QByteArray("\x01\x00", 2) + address + QByteArray(90 - address.size(), ' '));
    EXPECT_EQ(book->Text3->text(), QStringLiteral("1"));

    // The second of the three goes.
    click(1);
    w->Command1->click();
    EXPECT_EQ(folder.read(QStringLiteral("★MailData/ppdata2.data")),
              received.left(kRecord) + received.mid(2 * kRecord));
    ASSERT_EQ(w->rowCount(), 2);
    EXPECT_EQ(w->mailList->text(1, 0).trimmed(), QStringLiteral("third"));
    EXPECT_EQ(w->Text2->text(), QStringLiteral("2"));
    EXPECT_EQ(w->Text7->text().trimmed(), QStringLiteral("third"));
    EXPECT_EQ(w->Text8->text().trimmed(), QStringLiteral("c@example.org"));
    EXPECT_TRUE(w->rtfEd->toPlainText().startsWith(QStringLiteral("three")));
    EXPECT_EQ(main->Text1->text(), QStringLiteral("新着メール有り。")); // the received history leaves it

    w->Command5->click();
    EXPECT_EQ(folder.read(QStringLiteral("★MailData/ppdata2.data")).size(), 0);
    EXPECT_EQ(w->rowCount(), 0);
    EXPECT_EQ(w->Text2->text(), QStringLiteral("0"));
    EXPECT_EQ(prompter.messages.size(), 2u); // the two confirmations, nothing else
}

} // namespace
