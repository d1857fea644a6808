// Walk, kennel, put-away, the visibility sync and the dog settings window.
#include "TestSupport.h"
#include "app/Forms.h"
#include "app/IdPassForm.h"
#include "app/OptionForm.h"
#include "app/MainForm.h"
#include "characters/DogCommands.h"
#include "characters/DogWindow.h"
#include "characters/SetForm.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

class DogCommandsTest : public ::testing::Test
{
protected:
    void TearDown() override { Forms::destroyAll(); }
    TempProgramFolder folder;
};

void click(QWidget *label)
{
    QMouseEvent event(QEvent::MouseButtonPress, QPointF(3, 3), label->mapToGlobal(QPointF(3, 3)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(label, &event);
}

int existingDogs()
{
    int count = 0;
    for (int form = 1; form <= 10; ++form)
        count += Forms::existingDogWindow(form) ? 1 : 0;
    return count;
}

QByteArray crlf(const char *text) { return QByteArray(text).replace("\n", "\r\n"); }

} // namespace

TEST_F(DogCommandsTest, WalkAndKennelSwitchAllTenAndTheirLabels)
{
    MainForm *main = Forms::mainForm();
    main->startUp();
    EXPECT_TRUE(main->Label13->isEnabled());
    EXPECT_FALSE(main->Label14->isEnabled());
    click(main->Label14); // disabled: ignored
    EXPECT_EQ(existingDogs(), 0);

    click(main->Label13);
    EXPECT_FALSE(main->Label13->isEnabled());
    EXPECT_TRUE(main->Label14->isEnabled());
    ASSERT_EQ(existingDogs(), 10);
    for (int form = 1; form <= 10; ++form) {
        DogWindow *dog = Forms::existingDogWindow(form);
        EXPECT_FALSE(dog->isVisible()); // created hidden, walking unseen
        EXPECT_TRUE(dog->Timer1->isActive());
        EXPECT_EQ(dog->Timer1->interval(), 200);
        EXPECT_FALSE(dog->Timer2->isActive());
    }
    click(main->Label13); // now disabled
    EXPECT_TRUE(Forms::existingDogWindow(4)->Timer1->isActive());

    Forms::closeDogWindow(6);
    click(main->Label14);
    EXPECT_TRUE(main->Label13->isEnabled());
    EXPECT_FALSE(main->Label14->isEnabled());
    ASSERT_EQ(existingDogs(), 10);
    for (int form = 1; form <= 10; ++form) {
        DogWindow *dog = Forms::existingDogWindow(form);
        EXPECT_TRUE(dog->Timer2->isActive());
        EXPECT_FALSE(dog->Timer1->isActive());
    }
}

TEST_F(DogCommandsTest, SyncShowsTickedDogsAndClosesTheOthers)
{
    SetForm *settings = Forms::setForm();
    settings->setTicked(1, true);
    settings->setTicked(10, true);
    Forms::dogWindow(4)->show(); // a dog out on new mail whose box is not ticked
    DogCommands::syncVisibility();
    ASSERT_TRUE(Forms::existingDogWindow(1));
    EXPECT_TRUE(Forms::existingDogWindow(1)->isVisible());
    EXPECT_EQ(Forms::existingDogWindow(1)->dogNumber(), 2);
    EXPECT_TRUE(Forms::existingDogWindow(10)->isVisible());
    EXPECT_EQ(existingDogs(), 2);

    // A visible dog stays where it is.
    Forms::existingDogWindow(1)->move(123, 45);
    settings->setTicked(10, false);
    DogCommands::syncVisibility();
    EXPECT_EQ(Forms::existingDogWindow(1)->pos(), QPoint(123, 45));
    EXPECT_FALSE(Forms::existingDogWindow(10));
}

TEST_F(DogCommandsTest, LookAtDogsRunsTheSyncUntilTheWindowCloses)
{
    MainForm *main = Forms::mainForm();
    SetForm *settings = Forms::setForm();
    settings->show();
    settings->Check[3]->setChecked(true);
    settings->Command4->click();
    EXPECT_TRUE(main->Timer2->isActive());
    EXPECT_EQ(main->Timer2->interval(), 500);
    EXPECT_TRUE(QTest::qWaitFor(
        [] { return Forms::existingDogWindow(3) && Forms::existingDogWindow(3)->isVisible(); }, 2000));
    settings->Check[5]->setChecked(true);
    EXPECT_TRUE(QTest::qWaitFor([] { return Forms::existingDogWindow(5) != nullptr; }, 2000));

    // Closing hides the window: the sync stops, its dogs go away, the choice of dogs stays.
    EXPECT_TRUE(settings->close() == false || !settings->isVisible());
    EXPECT_FALSE(main->Timer2->isActive());
    EXPECT_EQ(existingDogs(), 0);
    ASSERT_EQ(Forms::existingSetForm(), settings);
    EXPECT_FALSE(settings->isVisible());
    EXPECT_TRUE(settings->isTicked(3));
    EXPECT_TRUE(settings->isTicked(5));
}

TEST_F(DogCommandsTest, ClosingWithoutTheSyncLeavesTheDogsOut)
{
    Forms::mainForm();
    SetForm *settings = Forms::setForm();
    settings->show();
    Forms::dogWindow(2)->show();
    settings->close();
    EXPECT_TRUE(Forms::existingDogWindow(2));
}

TEST_F(DogCommandsTest, PutAwayUnticksAllAndPutsTheDogsAway)
{
    MainForm *main = Forms::mainForm();
    SetForm *settings = Forms::setForm();
    for (int k = 1; k <= 10; ++k)
        settings->setTicked(k, true);
    DogCommands::syncVisibility();
    ASSERT_EQ(existingDogs(), 10);
    click(main->Label19);
    for (int k = 1; k <= 10; ++k)
        EXPECT_FALSE(settings->isTicked(k));
    EXPECT_EQ(existingDogs(), 0);

    // The settings window's own button does the same; the saved choice is not touched.
    settings->setTicked(7, true);
    Forms::dogWindow(7)->show();
    settings->Command5->click();
    EXPECT_FALSE(settings->isTicked(7));
    EXPECT_EQ(existingDogs(), 0);
    EXPECT_FALSE(QFile::exists(folder.file(QStringLiteral("★MailData/CharaData.ini"))));

    // Dogs that walk unseen are not out: they walk on, and show up where they have walked to.
    main->walkCommand();
    Forms::dogWindow(7)->show();
    DogWindow *unseen = Forms::existingDogWindow(3);
    unseen->walkTick();
    const QPoint walkedTo = unseen->pos();
    click(main->Label19);
    EXPECT_FALSE(Forms::existingDogWindow(7));
    EXPECT_EQ(existingDogs(), 9);
    ASSERT_EQ(Forms::existingDogWindow(3), unseen);
    EXPECT_TRUE(unseen->Timer1->isActive());
    unseen->show();
    EXPECT_EQ(unseen->pos(), walkedTo);
}

TEST_F(DogCommandsTest, SettingsWindowTextsAndBoxOrder)
{
    SetForm *s = Forms::setForm();
    const QString ideo(QChar(0x3000));
    EXPECT_EQ(s->windowTitle(), QStringLiteral("設定"));
    EXPECT_EQ(s->Command1->text(), QStringLiteral("ID/PASS"));
    EXPECT_EQ(s->Command2->text(), QStringLiteral("POPサーバー"));
    EXPECT_EQ(s->Command3->text(), QStringLiteral("犬設定"));
    EXPECT_EQ(s->Command4->text(), QStringLiteral("犬を見る"));
    EXPECT_EQ(s->Command5->text(), QStringLiteral("愛犬を格納"));
    EXPECT_EQ(s->Label10->text(), ideo.repeated(9) + QStringLiteral("愛犬一覧表"));
    EXPECT_EQ(s->Label9->text(), ideo.repeated(18) + QStringLiteral("１～５の番号は「犬種」です。"));
    EXPECT_EQ(s->Label8->text(),
              QStringLiteral("出現させた犬を消滅させたい場合は、この「設定」フォームを終了させて下さい。"));
    EXPECT_EQ(s->Label7->text(),
              ideo +
                  QStringLiteral(
                      "新着メールがあった場合の犬の設定。複数選べます。メールチェック以外でも確認可能。") +
                  ideo.repeated(16) +
                  QStringLiteral("この設定は「犬設定」ボタンをクリックすると保存されます。") +
                  ideo.repeated(34) + QStringLiteral("相手が犬を送信して来たときは、それが優先されます。") +
                  ideo.repeated(37) +
                  QStringLiteral("犬の確認を行いたい場合は、１～１０（複数、全部でも良い。但し、ハードの処理"
                                 "速度に自信のある方のみ）をチェックし、「犬を見る」をクリックして下さい。"));

    // Top row left to right: dogs 1 to 5 over Check4, Check1, Check5, Check3, Check2.
    const int topRow[] = {4, 1, 5, 3, 2};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(s->findChild<QCheckBox *>(QStringLiteral("Check%1").arg(topRow[i])),
                  s->Check[size_t(topRow[i])]);
        if (i > 0) {
            EXPECT_GT(s->Check[size_t(topRow[i])]->x(), s->Check[size_t(topRow[i - 1])]->x());
        }
        EXPECT_EQ(s->Check[size_t(topRow[i])]->y(), s->Check[1]->y());
    }
    for (int k = 6; k <= 10; ++k)
        EXPECT_GT(s->Check[size_t(k)]->y(), s->Check[1]->y());
    // The list pictures: dog 1 faces right (mirrored), dog 2 left.
    EXPECT_EQ(s->Image1[1]->pixmap().toImage().convertToFormat(QImage::Format_RGB32),
              DogWindow::framePicture(1, 2));
    EXPECT_EQ(s->Image1[2]->pixmap().toImage().convertToFormat(QImage::Format_RGB32),
              DogWindow::framePicture(2, 0));
}

TEST_F(DogCommandsTest, HoverHelpInTheSettingsWindow)
{
    SetForm *s = Forms::setForm();
    s->show();
    EXPECT_FALSE(s->Text2->isVisible());
    QTest::mouseMove(s->Command4, QPoint(5, 5));
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(s->Command4, &enter);
    EXPECT_TRUE(s->Text2->isVisible());
    EXPECT_EQ(s->Text2->toPlainText(),
              QStringLiteral("愛犬の確認を行いたい時にどうぞ。見るだけで、保存は行われません。"));
    QApplication::sendEvent(s->Command3, &enter);
    EXPECT_EQ(s->Text2->toPlainText(),
              QStringLiteral("新着メール受信時（新着メールがあった場合のみ）に出現させたい愛犬をチェックボッ"
                             "クスで選択し、このボタンで設定を保存します。"));
    QApplication::sendEvent(s->Frame1, &enter);
    EXPECT_FALSE(s->Text2->isVisible());
    EXPECT_TRUE(s->Text2->toPlainText().isEmpty());
}

TEST_F(DogCommandsTest, TheButtonsOpenTheAccountDialogs)
{
    SetForm *s = Forms::setForm();
    s->Command1->click();
    ASSERT_TRUE(Forms::existingIdPassForm());
    EXPECT_TRUE(Forms::existingIdPassForm()->isVisible());
    // An ID dialog that is open already comes to the front.
    s->show();
    s->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(s));
    s->Command1->click();
    EXPECT_TRUE(QTest::qWaitForWindowActive(Forms::existingIdPassForm()));
    s->Command2->click();
    ASSERT_TRUE(Forms::existingOptionForm());
    EXPECT_TRUE(Forms::existingOptionForm()->isVisible());
}

TEST_F(DogCommandsTest, SavedChoiceByteForByte)
{
    SetForm *s = Forms::setForm();
    s->SaveDogChoice();
    EXPECT_EQ(folder.read(QStringLiteral("★MailData/CharaData.ini")),
              crlf("[EXEINI]\nNAME1=0\nNAME2=0\nNAME3=0\nNAME4=0\nNAME5=0\nNAME6=0\nNAME7=0\nNAME8=0\nNAME9="
                   "0\nNAME10=0\n"));

    // Dogs 1 and 10: Check4 and Check10, keys NAME3 and NAME10.
    s->Check[4]->setChecked(true);
    s->Check[10]->setChecked(true);
    s->Command3->click();
    EXPECT_EQ(folder.read(QStringLiteral("★MailData/CharaData.ini")),
              crlf("[EXEINI]\nNAME1=0\nNAME2=0\nNAME3=1\nNAME4=0\nNAME5=0\nNAME6=0\nNAME7=0\nNAME8=0\nNAME9="
                   "0\nNAME10=1\n"));
    EXPECT_TRUE(s->isTicked(4));
    EXPECT_TRUE(s->isTicked(10));
    EXPECT_EQ(
        std::count_if(s->Check.begin() + 1, s->Check.end(), [](QCheckBox *b) { return b->isChecked(); }), 2);
}

TEST_F(DogCommandsTest, SavingKeepsOtherContentAndFailsSilentlyWithoutTheFolder)
{
    folder.write(QStringLiteral("★MailData/CharaData.ini"), crlf("[OTHER]\nX=1\n[EXEINI]\nNAME5=1\n"));
    SetForm *s = Forms::setForm();
    s->Check[1]->setChecked(true);
    s->SaveDogChoice();
    const QByteArray saved = folder.read(QStringLiteral("★MailData/CharaData.ini"));
    EXPECT_TRUE(saved.startsWith(crlf("[OTHER]\nX=1\n[EXEINI]\n")));
    EXPECT_TRUE(saved.contains("NAME4=1\r\n"));
    EXPECT_TRUE(saved.contains("NAME5=0\r\n"));

    QDir(folder.file(QStringLiteral("★MailData"))).removeRecursively();
    s->SaveDogChoice(); // no message, no crash
    EXPECT_TRUE(s->isTicked(1));
}

TEST_F(DogCommandsTest, LoadingReadsEachKeyByItsOwnValue)
{
    folder.write(
        QStringLiteral("★MailData/CharaData.ini"),
        crlf("[EXEINI]\nNAME1=yes\nNAME2= 1\nNAME3=01\nNAME4=1.0\nNAME5=2\nNAME6=0\nNAME7=1\nNAME8=\n"
             "NAME9=1.5\nNAME10=1x\n"));
    SetForm *s = Forms::setForm();
    s->Check[6]->setChecked(true); // loading never unticks
    s->LoadDogChoice();
    // NAME2 -> Check5, NAME3 -> Check4, NAME4 -> Check1, NAME7 -> Check7.
    for (int k = 1; k <= 10; ++k)
        EXPECT_EQ(s->isTicked(k), k == 5 || k == 4 || k == 1 || k == 7 || k == 6) << "Check" << k;
}

TEST_F(DogCommandsTest, SettingsCommandRefreshesDogsOneToFiveOnly)
{
    folder.write(QStringLiteral("★MailData/CharaData.ini"), crlf("[EXEINI]\nNAME3=1\nNAME6=1\n"));
    MainForm *main = Forms::mainForm();
    main->startUp();
    SetForm *s = Forms::setForm();
    EXPECT_TRUE(s->isTicked(4));
    EXPECT_TRUE(s->isTicked(6));
    s->Check[4]->setChecked(false);
    s->Check[6]->setChecked(false);
    click(main->findChild<QLabel *>(QStringLiteral("Label11")));
    EXPECT_TRUE(s->isVisible());
    EXPECT_TRUE(s->isTicked(4));
    EXPECT_FALSE(s->isTicked(6));
}

TEST(ReadsAsChosen, OnlyTheNumberOne)
{
    for (const char *yes : {"1", " 1", "01", "1.0", "+1"})
        EXPECT_TRUE(SetForm::readsAsChosen(QString::fromLatin1(yes))) << yes;
    for (const char *no : {"0", "2", "", "yes", "1.5", "1x", "0.99"})
        EXPECT_FALSE(SetForm::readsAsChosen(QString::fromLatin1(no))) << no;
}
