#include "HistoryWindowFixture.h"
#include "app/Forms.h"
#include "app/MainForm.h"
#include "store/HistoryFile.h"
#include "viewer/MailListModel.h"
#include "viewer/TyakuForm.h"

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QPlainTextEdit>
#include <QTreeView>

#include <gtest/gtest.h>

namespace {

const QString kReceived = QStringLiteral("★MailData/ppdata2.data");
const QString kSent = QStringLiteral("★MailData/ppdata5.data");
const QString kNoSelection = QStringLiteral("データが選択されていません");

HistoryRecord mail(int n)
{
    return HistoryRecord::make(QStringLiteral("件名%1").arg(n), QStringLiteral("2026/12/0%1  10:00:00").arg(n),
                               QStringLiteral("user%1@example.jp").arg(n), QStringLiteral("本文 %1\r\n二行目").arg(n));
}

class HistoryOperations : public HistoryWindowFixture
{
protected:
    QByteArray threeMails(const QString &relative)
    {
        QByteArray bytes;
        for (int n = 1; n <= 3; ++n)
            bytes += mail(n).bytes();
        folder.write(relative, bytes);
        return bytes;
    }
};

TEST_F(HistoryOperations, DeletingTheSecondOfThreeSentMails)
{
    const QByteArray before = threeMails(kSent);
    MainForm *main = Forms::mainForm();
    main->Text1->hide();
    TyakuForm *w = window();
    w->OpenHistory(2);
    click(1);
    QGuiApplication::clipboard()->setText(QStringLiteral("something else"));
    w->Command1->click();

    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text, QStringLiteral("選択された（行、青色）データを削除します。よろしいですか"));
    EXPECT_EQ(prompter.messages[0].title, QStringLiteral("確認"));
    EXPECT_EQ(prompter.messages[0].icon, Prompter::Icon::Question);
    EXPECT_EQ(folder.read(kSent), before.left(HistoryRecord::Size) + before.mid(2 * HistoryRecord::Size));
    EXPECT_EQ(QDir(folder.file(QStringLiteral("★MailData"))).entryList(QDir::Files), QStringList{"ppdata5.data"});
    ASSERT_EQ(w->rowCount(), 2);
    EXPECT_EQ(w->mailList->text(0, 0).trimmed(), QStringLiteral("件名1"));
    EXPECT_EQ(w->mailList->text(1, 0).trimmed(), QStringLiteral("件名3"));
    EXPECT_EQ(w->Text2->text(), QStringLiteral("2"));
    // The boxes hold the last record's raw fields; the editor its body without the fill.
    EXPECT_EQ(w->Text7->text(), QStringLiteral("件名3") + QString(95, u' '));
    EXPECT_EQ(w->Text8->text().trimmed(), QStringLiteral("user3@example.jp"));
    EXPECT_EQ(w->rtfEd->toPlainText(), QStringLiteral("本文 3\n二行目"));
    // The raw body went through the clipboard, fill spaces and all.
    EXPECT_EQ(QGuiApplication::clipboard()->text().trimmed(), QStringLiteral("本文 3\n二行目"));
    EXPECT_EQ(main->Text1->text(), QStringLiteral("2"));
    EXPECT_FALSE(main->Text1->isVisibleTo(main));
    EXPECT_TRUE(w->Text5->text().isEmpty());

    // A new click is needed before the next deletion.
    w->Command1->click();
    EXPECT_EQ(prompter.messages.back().text, kNoSelection);
    EXPECT_EQ(w->rowCount(), 2);
}

TEST_F(HistoryOperations, AnsweringNoKeepsTheMailAndForgetsTheSelection)
{
    const QByteArray before = threeMails(kReceived);
    Forms::mainForm()->Text1->setText(QStringLiteral("新着メール無し。"));
    TyakuForm *w = window();
    w->OpenHistory(1);
    click(0);
    prompter.answers = {Prompter::No};
    w->Command1->click();
    EXPECT_EQ(prompter.messages.back().text, QStringLiteral("選択された（行、青色）データを削除します。よろしいですか?"));
    EXPECT_EQ(folder.read(kReceived), before);
    EXPECT_EQ(w->rowCount(), 3);
    EXPECT_TRUE(w->Text5->text().isEmpty());
    w->Command1->click();
    EXPECT_EQ(prompter.messages.back().text, kNoSelection);

    // Answered Yes, in the received history the main window's status stays.
    click(0);
    w->Command1->click();
    EXPECT_EQ(folder.read(kReceived), before.mid(HistoryRecord::Size));
    EXPECT_EQ(Forms::mainForm()->Text1->text(), QStringLiteral("新着メール無し。"));
}

TEST_F(HistoryOperations, MarkerLeftWithoutASelectedRowActsOnNothing)
{
    threeMails(kReceived);
    TyakuForm *w = window();
    w->OpenHistory(1);
    click(2);
    ASSERT_FALSE(w->Text5->text().isEmpty());

    // Switching histories keeps the marker, but no row of the new list is picked.
    threeMails(kSent);
    w->OpenHistory(2);
    w->Command1->click();
    EXPECT_EQ(prompter.messages.back().text, kNoSelection);
    EXPECT_EQ(folder.read(kSent).size(), 3 * HistoryRecord::Size);

    // "全件削除" keeps the marker too.
    w->OpenHistory(1);
    click(1);
    w->Command5->click();
    EXPECT_EQ(prompter.messages.back().text, QStringLiteral("すべてのデータを削除して良いですか？"));
    EXPECT_EQ(prompter.messages.back().title, QStringLiteral("確認"));
    EXPECT_EQ(folder.read(kReceived).size(), 0);
    EXPECT_EQ(w->rowCount(), 0);
    EXPECT_EQ(w->Text2->text(), QStringLiteral("0"));
    EXPECT_TRUE(w->Text7->text().isEmpty() && w->rtfEd->toPlainText().isEmpty());
    EXPECT_FALSE(w->Text5->text().isEmpty());
    const size_t asked = prompter.messages.size();
    w->Command3->click();
    EXPECT_EQ(prompter.messages.size(), asked + 1);
    EXPECT_EQ(prompter.messages.back().text, kNoSelection);
    EXPECT_FALSE(Forms::existingFriendForm());
    EXPECT_EQ(folder.read(kSent).size(), 3 * HistoryRecord::Size);
}

TEST_F(HistoryOperations, RowsOfAMailCheckDeleteTheirOwnRecords)
{
    QByteArray file;
    for (int n = 1; n <= 4; ++n)
        file += mail(n).bytes();
    folder.write(kReceived, file);
    TyakuForm *w = window();
    w->OpenHistory(1);
    // What a mail check leaves: only its own mails, records 3 and 4.
    w->clearList();
    w->addStoredRow(QStringLiteral("件名3"), QStringLiteral("user3@example.jp"), QString(), 1, 3);
    w->addStoredRow(QStringLiteral("件名4"), QStringLiteral("user4@example.jp"), QString(), 1, 4);
    click(0);
    w->Command1->click();
    EXPECT_EQ(folder.read(kReceived), file.left(2 * HistoryRecord::Size) + file.mid(3 * HistoryRecord::Size));
    // The list stands for the whole file again.
    EXPECT_EQ(w->rowCount(), 3);
    EXPECT_EQ(w->Text2->text(), QStringLiteral("3"));
}

TEST_F(HistoryOperations, RegisteringFromTheSentHistoryIsRefused)
{
    threeMails(kSent);
    window()->OpenHistory(2);
    click(0);
    window()->Command3->click();
    EXPECT_EQ(prompter.messages.back().text, QStringLiteral("自分宛となっています。"));
    EXPECT_FALSE(Forms::existingFriendForm());
}

} // namespace
