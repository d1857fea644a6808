// Received mail from the real POP3 server through the history window: its sender into the
// address book, one mail deleted, then all of them.
#include "HistoryWindowFixture.h"
#include "MailServers.h"
#include "addressbook/FriendForm.h"
#include "app/AccountSettings.h"
#include "app/Forms.h"
#include "app/MainForm.h"
#include "receive/IncomingMail.h"
#include "send/BackForm.h"
#include "store/HistoryFile.h"
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

TEST_F(HistoryEndToEnd, AfterACheckOverTheSentHistoryTheCommandsActOnTheReceivedMailChosen)
{
    const auto make = [](const char *subject, const char *address) {
        return HistoryRecord::make(QString::fromUtf8(subject), QStringLiteral("2026/12/01  10:00:00"),
                                   QString::fromUtf8(address), QStringLiteral("text"))
            .bytes();
    };
    const QByteArray sent = make("sent 1", "x@example.org") + make("sent 2", "y@example.org");
    folder.write(QStringLiteral("★MailData/ppdata5.data"), sent);
    folder.write(QStringLiteral("★MailData/ppdata2.data"), make("old", "o@example.org"));
    ASSERT_TRUE(s_servers->addMail(QStringLiteral("taro"), mailFrom("a@example.org", "first", "one")));
    ASSERT_TRUE(s_servers->addMail(QStringLiteral("taro"), mailFrom("b@example.org", "second", "two")));

    TyakuForm *w = Forms::tyakuForm();
    w->OpenHistory(2);
    Forms::mainForm()->receiveCommand();
    ASSERT_EQ(w->rowCount(), 2);
    EXPECT_EQ(w->windowTitle(), QStringLiteral("着信履歴")); // what the list holds now

    // A reply to the row clicked, not a refusal for the sent history.
    click(1);
    w->Command4->click();
    BackForm *reply = Forms::existingBackForm();
    ASSERT_TRUE(reply && reply->isVisible());
    EXPECT_EQ(reply->SubjectText->text(), QStringLiteral("Re:  second"));
    EXPECT_EQ(reply->ToText->text(), QStringLiteral("b@example.org"));
    EXPECT_TRUE(prompter.messages.empty()) << prompter.messages[0].text.toStdString();

    // A marker from one row does not let a command act on another the keyboard moved to.
    click(0);
    w->MailListView->setFocus();
    QTest::keyClick(w->MailListView, Qt::Key_Down);
    ASSERT_EQ(w->selectedRecordNumber(), 3);
    w->Command1->click();
    EXPECT_EQ(prompter.messages.back().text, QStringLiteral("データが選択されていません"));

    // "first" goes from the received history, asked as such; the sent history stays.
    click(0);
    w->Command1->click();
    EXPECT_EQ(prompter.messages.back().text, QStringLiteral("選択された（行、青色）データを削除します。よろしいですか?"));
    EXPECT_EQ(folder.read(QStringLiteral("★MailData/ppdata5.data")), sent);
    const QString received = folder.file(QStringLiteral("★MailData/ppdata2.data"));
    ASSERT_EQ(History::RecordCount(received), 2);
    EXPECT_EQ(History::ReadRecord(received, 2)->Subject().trimmed(), QStringLiteral("second"));
    // The list is refilled from the history the mail left.
    ASSERT_EQ(w->rowCount(), 2);
    EXPECT_EQ(w->mailList->text(0, 0).trimmed(), QStringLiteral("old"));
    EXPECT_EQ(w->mailList->text(1, 0).trimmed(), QStringLiteral("second"));
    EXPECT_EQ(w->Text2->text(), QStringLiteral("2"));
    EXPECT_EQ(prompter.messages.size(), 2u);

    // Registering takes the sender of the row clicked.
    click(1);
    w->Command3->click();
    FriendForm *book = Forms::existingFriendForm();
    ASSERT_TRUE(book && book->isVisible());
    EXPECT_EQ(book->Text4->text().trimmed(), QStringLiteral("b@example.org"));
}

} // namespace
