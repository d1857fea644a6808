#include "ScriptedPrompter.h"
#include "addressbook/AddressBookFile.h"
#include "addressbook/FriendForm.h"
#include "app/Forms.h"
#include "app/MainForm.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

const QString kBook = QStringLiteral("★MailData/Ppdata20.data");

QString spaces(int n)
{
    return QString(n, u' ');
}

class AddressBookWindow : public ::testing::Test
{
protected:
    void TearDown() override { Forms::destroyAll(); }

    FriendForm *window() { return Forms::friendForm(); }

    void type(const QString &name, const QString &address)
    {
        window()->Text2->setText(name);
        window()->Text4->setText(address);
    }
    void select(int row) { window()->List1->setCurrentRow(row); }
    QString lastMessage() const { return prompter.messages.empty() ? QString() : prompter.messages.back().text; }

    TempProgramFolder folder;
    ScriptedPrompter prompter;
};

TEST_F(AddressBookWindow, LoadCreatesTheBookAndKeepsAnAddressGivenAtCreation)
{
    FriendForm *w = window();
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(w->windowTitle(), QStringLiteral("アドレス帳"));
    EXPECT_EQ(w->size(), QSize(425, 464)); // 6375 x 6960 twips
    EXPECT_EQ(w->List1->geometry().size(), QSize(425, 328));
    EXPECT_EQ(w->Text2->maxLength(), 30);
    EXPECT_EQ(w->Text3->text(), QStringLiteral("0"));
    EXPECT_TRUE(w->Label7->text().isEmpty());
    EXPECT_TRUE(QFile::exists(folder.file(kBook)));
    EXPECT_EQ(folder.read(kBook).size(), 0);
    // The refresh button is out of sight and out of the tab chain.
    EXPECT_FALSE(w->rect().intersects(w->Command2->geometry()));
    EXPECT_EQ(w->Command2->focusPolicy(), Qt::NoFocus);

    // The hidden refresh reads the file again.
    folder.write(kBook, AddressRecord::make(QStringLiteral("山田"), "taro@example.jp").bytes());
    w->Command2->click();
    EXPECT_EQ(w->Text3->text(), QStringLiteral("1"));

    // The main window's "アドレス帳" shows it.
    Forms::mainForm()->findChild<CommandLabel *>(QStringLiteral("Label10"))->activate();
    EXPECT_TRUE(w->isVisible());

    // The history window fills the address while the window is being created.
    Forms::destroyAll();
    window()->Text4->setText(QStringLiteral("from@example.jp"));
    EXPECT_EQ(window()->Text4->text(), QStringLiteral("from@example.jp"));
    EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(AddressBookWindow, RegisterAndDeleteEntries)
{
    FriendForm *w = window();
    w->Command4->click();
    EXPECT_EQ(lastMessage(), QStringLiteral("氏名（名称）が入力されていません。"));
    type(QStringLiteral("山田"), QString());
    w->Command4->click();
    EXPECT_EQ(lastMessage(), QStringLiteral("メールアドレスが入力されていません。"));
    EXPECT_EQ(prompter.messages.back().title, QStringLiteral("Wanderpup"));
    EXPECT_EQ(folder.read(kBook).size(), 0);

    type(QStringLiteral("山田"), QStringLiteral("taro@example.jp"));
    w->Command4->click();
    type(QStringLiteral("Hanako"), QStringLiteral("same@example.jp"));
    w->Command4->click();
    type(QStringLiteral("Jiro"), QStringLiteral("same@example.jp")); // the same address twice is kept
    w->Command4->click();
    EXPECT_EQ(prompter.messages.size(), 2u);
    EXPECT_EQ(w->Label7->text(), QStringLiteral("　登録が完了しました。"));
    EXPECT_TRUE(w->Text2->text().isEmpty() && w->Text4->text().isEmpty());
    EXPECT_EQ(w->Text3->text(), QStringLiteral("3"));
    ASSERT_EQ(w->List1->count(), 3);
    // Address and name fields untrimmed, two spaces between them.
    EXPECT_EQ(w->List1->item(0)->text(), QStringLiteral("taro@example.jp") + spaces(75) + spaces(2)
                                             + QStringLiteral("山田") + QString(28, QChar(0x3000)) + spaces(60));
    const QByteArray three = folder.read(kBook);
    ASSERT_EQ(three.size(), 3 * AddressRecord::Size);
    EXPECT_EQ(three.left(AddressRecord::Size), AddressRecord::make(QStringLiteral("山田"), "taro@example.jp").bytes());

    // Nothing selected.
    w->Command5->click();
    EXPECT_EQ(lastMessage(), QStringLiteral("データが選択されていません。"));

    // Answered No: a single space, and the book byte for byte as it was.
    select(1);
    prompter.answers = {Prompter::No};
    w->Command5->click();
    EXPECT_EQ(prompter.messages.back().text, QStringLiteral("選択された（行、青色）データを削除します。よろしいですか"));
    EXPECT_EQ(prompter.messages.back().title, QStringLiteral("確認"));
    EXPECT_EQ(prompter.messages.back().buttons, Prompter::Buttons::YesNo);
    EXPECT_EQ(prompter.messages.back().icon, Prompter::Icon::Question);
    EXPECT_EQ(w->Label7->text(), QStringLiteral(" "));
    EXPECT_EQ(folder.read(kBook), three);

    select(1);
    prompter.answers = {Prompter::Yes};
    w->Command5->click();
    EXPECT_EQ(w->Label7->text(), QStringLiteral("削除が完了しました"));
    EXPECT_EQ(folder.read(kBook), three.left(AddressRecord::Size) + three.mid(2 * AddressRecord::Size));
    EXPECT_EQ(w->Text3->text(), QStringLiteral("2"));
    EXPECT_TRUE(w->List1->item(1)->text().endsWith(QStringLiteral("Jiro") + QString(26, QChar(0x3000)) + spaces(60)));
    EXPECT_EQ(QDir(folder.file(QStringLiteral("★MailData"))).entryList(QDir::Files), QStringList{"Ppdata20.data"});
}

TEST_F(AddressBookWindow, PasteTakesTheClipboardUpToItsFirstNulAndAnAddressIsNeverCut)
{
    FriendForm *w = window();
    QGuiApplication::clipboard()->setText(QStringLiteral("paste@example.jp") + QChar(0) + QStringLiteral("rest"));
    w->Command1->click();
    EXPECT_EQ(w->Text4->text(), QStringLiteral("paste@example.jp"));

    // 61 characters: "貼付" refuses it and says why; the box keeps what it had.
    const QString tooLong = QString(50, u'a') + QStringLiteral("@example.jp");
    const QString tooLongWhy = QStringLiteral("メールアドレスが長すぎます。アドレス帳に登録できるのは半角60文字までです。");
    QGuiApplication::clipboard()->setText(tooLong);
    w->Command1->click();
    EXPECT_EQ(lastMessage(), tooLongWhy);
    EXPECT_EQ(w->Text4->text(), QStringLiteral("paste@example.jp"));
    // Pasted into the box itself it is not taken either; typing stops at 60 characters.
    w->Text4->clear();
    w->Text4->paste();
    EXPECT_TRUE(w->Text4->text().isEmpty());
    EXPECT_EQ(w->Label7->text(), QStringLiteral("メールアドレスは60文字までです。"));
    QTest::keyClicks(w->Text4, tooLong);
    EXPECT_EQ(w->Text4->text(), tooLong.left(60));

    // "アドレス帳登録" puts a sender into the box whole: registering refuses it, nothing is stored.
    type(QStringLiteral("山田"), tooLong);
    EXPECT_EQ(w->Text4->text(), tooLong);
    w->Command4->click();
    EXPECT_EQ(lastMessage(), tooLongWhy);
    EXPECT_EQ(folder.read(kBook).size(), 0);
    type(QStringLiteral("山田"), QStringLiteral("taro😀@example.jp"));
    w->Command4->click();
    EXPECT_EQ(lastMessage(), QStringLiteral("メールアドレスに、アドレス帳に保存できない文字が含まれています。"));
    EXPECT_EQ(folder.read(kBook).size(), 0);

    // 60 characters are stored whole.
    type(QStringLiteral("山田"), tooLong.mid(1));
    w->Command4->click();
    EXPECT_EQ(folder.read(kBook).mid(AddressRecord::AddressOffset), tooLong.mid(1).toLatin1() + QByteArray(30, ' '));
    EXPECT_EQ(prompter.messages.size(), 3u);
}

TEST_F(AddressBookWindow, FullBookAndMissingFolderSayWhyAndWriteNothing)
{
    // 32767 entries: the next one is refused, and what was typed stays.
    const QString book = folder.file(kBook);
    {
        QFile f(book);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(qint64(AddressBook::MaxRecords) * AddressRecord::Size));
    }
    FriendForm *w = window();
    EXPECT_EQ(w->Text3->text(), QStringLiteral("32767"));
    type(QStringLiteral("山田"), QStringLiteral("taro@example.jp"));
    w->Command4->click();
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(lastMessage(), QStringLiteral("アドレス帳がいっぱいです（最大32767件）。不要なデータを削除して下さい。"));
    EXPECT_EQ(QFileInfo(book).size(), qint64(AddressBook::MaxRecords) * AddressRecord::Size);
    EXPECT_EQ(w->Text2->text(), QStringLiteral("山田"));
    EXPECT_TRUE(w->Label7->text().isEmpty());
    Forms::destroyAll();

    // No data folder: said at load and at registering; nothing is created anywhere.
    ASSERT_TRUE(QDir(folder.file(QStringLiteral("★MailData"))).removeRecursively());
    const QStringList before = QDir(folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    const QString missing =
        QStringLiteral("データフォルダ（★MailData）が見つかりません。アドレス帳に保存できませんでした。");
    w = window();
    EXPECT_EQ(lastMessage(), missing);
    type(QStringLiteral("山田"), QStringLiteral("taro@example.jp"));
    w->Command4->click();
    EXPECT_EQ(prompter.messages.size(), 3u);
    EXPECT_EQ(lastMessage(), missing);
    EXPECT_EQ(w->Text3->text(), QStringLiteral("0"));
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
}

} // namespace
