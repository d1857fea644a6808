// The compose and reply windows as the user handles them, before anything is sent.
#include "ScriptedPrompter.h"
#include "TestSupport.h"
#include "addressbook/AddressBookFile.h"
#include "app/Forms.h"
#include "app/MainForm.h"
#include "kit/Twips.h"
#include "send/BackForm.h"
#include "send/WriteForm.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFileInfo>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

class Compose : public ::testing::Test
{
protected:
    void TearDown() override { Forms::destroyAll(); }

    void press(QListWidget *list, int row)
    {
        const QPoint at =
            row < 0 ? QPoint(5, list->viewport()->height() - 3) : list->visualItemRect(list->item(row)).center();
        QTest::mousePress(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, at);
    }

    TempProgramFolder folder;
    ScriptedPrompter prompter;
};

TEST_F(Compose, RecipientsTypedInFullWidthAreNarrowedAndOneOfNoAddressStopsTheSend)
{
    WriteForm *window = Forms::writeForm();
    window->ToText->setPlainText(QStringLiteral("ｔａｒｏ＠ｅｘａｍｐｌｅ．ｊｐ、hanako@example.jp"));
    window->Command1->click();
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].title, QStringLiteral("送信エラー"));
    EXPECT_TRUE(prompter.messages[0].text.startsWith(QStringLiteral("「宛先」の「taro@example.jp、hanako@example.jp」")));
    EXPECT_EQ(window->ToText->toPlainText(), QStringLiteral("taro@example.jp、hanako@example.jp"));
    EXPECT_FALSE(QFileInfo::exists(folder.file(QStringLiteral("★MailData/ppdata5.data")))); // nothing recorded
    EXPECT_EQ(Forms::existingWriteForm(), window);
}

TEST_F(Compose, LoadsHiddenAndKeepsTheExtrasApart)
{
    // The start-up creates it hidden, and its timer runs from then on.
    MainForm *main = Forms::mainForm();
    main->startUp();
    WriteForm *w = Forms::existingWriteForm();
    ASSERT_TRUE(w);
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(w->windowTitle(), QStringLiteral("新規作成"));
    EXPECT_EQ(w->outerSize(), QSizeF(7100, 8200));
    EXPECT_FALSE(w->AddressPanel->isVisibleTo(w));
    EXPECT_TRUE(w->Option[8]->isChecked());
    EXPECT_EQ(w->Text2->text(), QStringLiteral("キャラは送らないが選択されています"));
    // The name list is created empty and only read.
    EXPECT_TRUE(QFileInfo::exists(folder.file(QStringLiteral("★MailData/PPMASTER20.INI"))));
    EXPECT_EQ(w->List1->count(), 0);
    EXPECT_EQ(w->Text1->text(), QStringLiteral("0"));
    ASSERT_EQ(w->Combo1->count(), 8);
    EXPECT_EQ(w->Combo1->itemText(7), QStringLiteral("こんにちわ。お変わりなく、お元気ですか？"));
    EXPECT_TRUE(w->Text14->isVisibleTo(w));
    EXPECT_TRUE(w->Text14->toPlainText().isEmpty());
    EXPECT_FALSE(w->Command2->isVisibleTo(w));
    EXPECT_FALSE(w->Command9->isEnabled());
    EXPECT_TRUE(w->AttachCommand->isEnabled() && w->Command10->isEnabled());
    EXPECT_EQ(w->Timer1->interval(), 500);
    EXPECT_TRUE(w->Timer1->isActive());
    // The rule in words sits between the dog frame and the To field, its line uncut.
    const TwipsScale scale = TwipsScale::onScreen();
    EXPECT_EQ(w->Label12->pos(), QPoint(scale.toPixelsX(240), scale.toPixelsY(2520)));
    EXPECT_LT(w->Frame1->geometry().bottom(), w->Label12->y());
    EXPECT_LT(w->Label12->geometry().bottom(), w->ToText->y());
    EXPECT_LE(w->Label12->sizeHint().height(), w->Label12->height());
    // The round marks are named by their separate labels.
    EXPECT_EQ(w->Option[3]->accessibleName(), QStringLiteral("１"));
    EXPECT_EQ(w->Option[13]->accessibleName(), QStringLiteral("１０"));
    EXPECT_EQ(w->Option[8]->accessibleName(), QStringLiteral("送らない"));

    // A dog chosen while bulk send is on goes back to "送らない" at the next tick, hidden or not.
    w->Option[2]->click();
    EXPECT_EQ(w->List1->palette().color(QPalette::Base), QColor(0, 128, 0));
    w->Option[5]->click();
    EXPECT_EQ(w->Text2->text(), QStringLiteral("犬送信、③が選択されました"));
    QTest::qWait(600);
    EXPECT_TRUE(w->Option[8]->isChecked());
    EXPECT_EQ(w->Text2->text(), QStringLiteral("犬は送らないが選択されました"));
    EXPECT_TRUE(w->Option[2]->isChecked());

    // "取消" ends bulk send; then the fortune gives way to a dog.
    w->ToText->setPlainText(QStringLiteral("a@example.test"));
    w->Option[1]->click();
    EXPECT_TRUE(w->ToText->toPlainText().isEmpty());
    EXPECT_EQ(w->List1->palette().color(QPalette::Base), QColor(255, 255, 255));
    w->Option[9]->click();
    w->Check1->setChecked(true);
    w->applyExclusivity();
    EXPECT_FALSE(w->Check1->isChecked());
    EXPECT_EQ(w->chosenDog(), 6);

    // The start-up's compose window is the one "新規作成" shows; closing destroys it and the
    // next one loads afresh.
    main->findChild<CommandLabel *>(QStringLiteral("Label9"))->activate();
    EXPECT_TRUE(w->isVisible());
    const QPointer<WriteForm> first = w;
    w->Command3->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    EXPECT_TRUE(Forms::writeForm()->Option[8]->isChecked());
}

TEST_F(Compose, AddressListAttachmentsAndTextCommands)
{
    // The name list is longer than the book: its third name has no address.
    for (int n = 1; n <= 3; ++n)
        ASSERT_TRUE(AddressBook::WriteAddressRecord(AddressBook::MasterFile(), n, QStringLiteral("名%1").arg(n),
                                                    QStringLiteral("m%1@example.test").arg(n)));
    const QString longAddress = QStringLiteral("   ") + QString(66, u'a') + QStringLiteral("@example.test");
    ASSERT_TRUE(AddressBook::WriteAddressRecord(AddressBook::BookFile(), 1, QStringLiteral("長い"), longAddress));
    ASSERT_TRUE(AddressBook::WriteAddressRecord(AddressBook::BookFile(), 2, QStringLiteral("花子"),
                                                QStringLiteral("hanako@example.test")));

    WriteForm *w = Forms::writeForm();
    ASSERT_EQ(w->List1->count(), 3);
    EXPECT_EQ(w->List1->item(0)->text().size(), 90); // the name field as read, fill included
    w->setOuterSize(9700, 8200);                     // the panel in view, still with the name list
    press(w->List1, 2);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text, QStringLiteral("この名前のメールアドレスはアドレス帳にありません。"));
    EXPECT_TRUE(w->ToText->toPlainText().isEmpty());

    w->Command4->click();
    EXPECT_EQ(w->outerSize(), QSizeF(9700, 8200));
    EXPECT_TRUE(w->AddressPanel->isVisibleTo(w));
    ASSERT_EQ(w->List1->count(), 2);
    EXPECT_EQ(w->Text1->text(), QStringLiteral("2"));
    press(w->List1, -1); // nothing under the pointer, nothing selected
    ASSERT_EQ(prompter.messages.size(), 2u);
    EXPECT_EQ(prompter.messages[1].text, QStringLiteral("データが選択されていません"));
    EXPECT_EQ(prompter.messages[1].icon, Prompter::Icon::Exclamation);
    press(w->List1, 0);
    EXPECT_EQ(w->ToText->toPlainText(), longAddress.left(60).trimmed());
    press(w->List1, 1);
    EXPECT_EQ(w->ToText->toPlainText(), QStringLiteral("hanako@example.test"));
    w->Command6->click();
    EXPECT_EQ(w->outerSize(), QSizeF(7100, 8200));
    EXPECT_FALSE(w->AddressPanel->isVisibleTo(w));

    // Attachments: "追加" without one opens no dialog; a cancelled dialog changes nothing.
    prompter.fileNames = {QStringLiteral("/tmp/a b.txt"), QString(), QStringLiteral("/tmp/写真.jpg"),
                          QStringLiteral("/tmp/c.txt")};
    w->Command9->setEnabled(true);
    w->Command9->click();
    EXPECT_TRUE(w->List2->isVisibleTo(w));
    EXPECT_EQ(prompter.fileNames.size(), 4u);
    w->AttachCommand->click();
    EXPECT_FALSE(w->AttachCommand->isEnabled());
    w->Command9->click();
    w->Command9->click();
    EXPECT_EQ(w->AttachText->text(), QStringLiteral("/tmp/a b.txt,/tmp/写真.jpg"));
    EXPECT_EQ(w->List2->count(), 2);
    w->Command10->click();
    EXPECT_TRUE(w->AttachText->text().isEmpty());
    EXPECT_FALSE(w->List2->isVisibleTo(w));
    EXPECT_FALSE(w->Command9->isEnabled() || w->Command10->isEnabled());
    w->AttachCommand->click();
    EXPECT_TRUE(w->Command9->isEnabled());
    EXPECT_FALSE(w->Command10->isEnabled()); // nothing enables it again

    // The greeting replaces the body when the combo loses the focus; an empty one empties it.
    w->BodyText->setPlainText(QStringLiteral("typed"));
    w->Combo1->setCurrentIndex(3);
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QCoreApplication::sendEvent(w->Combo1, &out);
    EXPECT_EQ(w->BodyText->toPlainText(), QStringLiteral("いつもお世話になっております。"));
    w->Combo1->setEditText(QString());
    QCoreApplication::sendEvent(w->Combo1, &out);
    EXPECT_TRUE(w->BodyText->toPlainText().isEmpty());

    // The clipboard into To and onto the body; To keeps 60 characters.
    QGuiApplication::clipboard()->setText(QStringLiteral("x@example.test, y@example.test"));
    w->Command7->click();
    w->Command5->click();
    w->Command5->click();
    EXPECT_EQ(w->ToText->toPlainText(), QStringLiteral("x@example.test, y@example.test"));
    EXPECT_EQ(w->BodyText->toPlainText(),
              QStringLiteral("x@example.test, y@example.testx@example.test, y@example.test"));
    w->ToText->setPlainText(QString(70, u'z'));
    EXPECT_EQ(w->ToText->toPlainText(), QString(60, u'z'));

    // The paste strip opens only for "zemi".
    QTest::mouseDClick(w->Label7, Qt::LeftButton);
    EXPECT_EQ(w->outerSize().height(), 8200);
    w->ToText->setPlainText(QStringLiteral("zemi"));
    QTest::mouseDClick(w->Label7, Qt::LeftButton);
    EXPECT_EQ(w->outerSize(), QSizeF(7100, 8955));
    ASSERT_TRUE(w->Command2->isVisibleTo(w) && w->Command2->isEnabled());
    w->Command2->click();
    EXPECT_EQ(w->Text4->text(), QStringLiteral("x@example.test, y@example.test"));

    // "クリア" keeps the dog, the greetings and the size.
    w->Option[4]->click();
    w->Command11->click();
    EXPECT_TRUE(w->ToText->toPlainText().isEmpty() && w->BodyText->toPlainText().isEmpty());
    EXPECT_EQ(w->chosenDog(), 2);
    EXPECT_EQ(w->outerSize(), QSizeF(7100, 8955));
    EXPECT_TRUE(w->AttachCommand->isEnabled());
}

TEST_F(Compose, ReplyWindowAttachmentButtonsFollowTheFieldAndStopHidesIt)
{
    BackForm *reply = Forms::backForm();
    EXPECT_EQ(reply->windowTitle(), QStringLiteral("返事を書く"));
    EXPECT_FALSE(reply->List2->isVisibleTo(reply));
    EXPECT_TRUE(reply->Command9->isEnabled() && reply->Command10->isEnabled());
    const TwipsScale scale = TwipsScale::onScreen();
    reply->show();
    for (const int width : {600, 900}) {
        reply->resize(width, 500);
        const double field = scale.toTwipsX(reply->AttachText->width());
        EXPECT_NEAR(field, 0.4 * scale.toTwipsX(reply->frameGeometry().width()), scale.perPixelX());
        EXPECT_EQ(reply->AttachCommand->x(), scale.toPixelsX(field + 1240));
        EXPECT_EQ(reply->Command9->x(), scale.toPixelsX(field + 2060));
        EXPECT_EQ(reply->Command10->x(), scale.toPixelsX(field + 2940));
        EXPECT_EQ(reply->BodyText->height(),
                  scale.toPixelsY(float(scale.toTwipsY(reply->frameGeometry().height())) * 0.74f));
    }

    // "本文に貼付" with an empty clipboard: three CR LF pairs, a CR, the answered mail.
    reply->setAnsweredBody(QStringLiteral("  元のメール  "));
    QGuiApplication::clipboard()->clear();
    reply->Command4->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("\r\n\r\n\r\n\r元のメール"));
    EXPECT_EQ(reply->bodyText(), QStringLiteral("\r\n\r\n\r\n\r\n元のメール"));

    // "送信中止": the main window takes the reply's place; the reply keeps what was typed.
    reply->move(140, 90);
    reply->show();
    reply->ToText->setText(QStringLiteral("kept@example.test"));
    reply->Command3->click();
    EXPECT_FALSE(reply->isVisible());
    EXPECT_TRUE(Forms::mainForm()->isVisible());
    EXPECT_EQ(Forms::mainForm()->pos(), reply->pos());
    EXPECT_EQ(Forms::existingBackForm(), reply);
    EXPECT_EQ(reply->ToText->text(), QStringLiteral("kept@example.test"));
}

} // namespace
