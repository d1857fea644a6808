#include "app/AccountSettings.h"
#include "app/AutoCheck.h"
#include "app/Forms.h"
#include "app/IdPassForm.h"
#include "app/MainForm.h"
#include "app/OptionForm.h"
#include "kit/HoverHelp.h"
#include "platform/Browser.h"

#include "ScriptedPrompter.h"

#include <QApplication>
#include <QCheckBox>
#include <QScreen>
#include <QTest>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

#include <functional>

namespace {

// Serves events until `done` holds, for at most two seconds.
bool waitUntil(const std::function<bool()> &done)
{
    for (int waited = 0; !done() && waited < 2000; waited += 20)
        QTest::qWait(20);
    return done();
}

QUrl g_opened;
int g_opens = 0;

bool recordOpen(const QUrl &url)
{
    g_opened = url;
    ++g_opens;
    return true;
}

bool refuseOpen(const QUrl &)
{
    return false;
}

class MainWindow : public testing::Test
{
protected:
    void SetUp() override { AccountSettings::instance() = AccountSettings(); }
    void TearDown() override
    {
        Forms::destroyAll();
        AccountSettings::instance() = AccountSettings();
        Browser::setOpener(nullptr);
    }

    MainForm *start()
    {
        MainForm *form = Forms::mainForm();
        form->startUp();
        return form;
    }

    void hover(MainForm *form, QPoint at)
    {
        QMouseEvent move(QEvent::MouseMove, at, form->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(form, &move);
    }

    void click(QWidget *label)
    {
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(2, 2), label->mapToGlobal(QPointF(2, 2)),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(label, &press);
    }

    CommandLabel *label(MainForm *form, const char *name)
    {
        return form->findChild<CommandLabel *>(QString::fromLatin1(name));
    }

    TempProgramFolder folder;
    ScriptedPrompter prompter;
};

struct LabelRow
{
    const char *name;
    const char *caption;
    QRect geometry;
    QColor colour;
    const char *hover;
};

const LabelRow kLabels[] = {
    {"Label9", "     新規作成", {16, 160, 81, 17}, Qt::white, "メールの新規作成・送信を行います。"},
    {"Label8", "        受信", {16, 188, 81, 17}, Qt::white, "新着メールの受信を行います。"},
    {"Label7", "   着信履歴", {24, 215, 73, 13}, Qt::white,
     "着信（着信履歴）したメールを見ます。画面はマウスでストレッチが出来ます。"},
    {"Label6", "     送信履歴", {16, 240, 81, 17}, Qt::white,
     "送信（送信履歴）したメールを見ます。画面はマウスでストレッチが出来ます。"},
    {"Label10", "   アドレス帳", {416, 160, 81, 17}, Qt::white,
     "アドレス帳への登録を行います。着信からの自動入力、送信時の一発入力が可能になります。"},
    {"Label11", "      設定", {416, 188, 73, 13}, Qt::white,
     "ID,PASS,サーバーの設定。これを行わないと通信エラーになります。デスクトップ上を動くキャラの設定もここで！"},
    {"Label5", "     HomePage", {408, 215, 81, 13}, Qt::white, "メーラー専門店、作者のホームページです。"},
    {"Label4", "      Small", {416, 240, 73, 13}, Qt::white, "フォーム（画面）を最小化します。"},
    {"Label13", "       お散歩", {304, 69, 81, 17}, Qt::blue,
     "犬小屋から犬を出します。デスクトップ上を自由に駆け回ります。"},
    {"Label14", "       ハウス", {304, 101, 81, 17}, Qt::blue,
     "犬を犬小屋に入れます。散歩させない限り出ることは出来ません。フォーム（メイン画面）を移動させても中に入ったまま出られません。"},
    {"Label19", "愛犬を格納", {120, 104, 89, 17}, Qt::white, "愛犬を格納します。文書編集時他、ちょっと邪魔という時に。"},
    {"Label15", "    Cry", {416, 264, 73, 25}, Qt::white, ""},
    {"Label18", "One", {408, 296, 41, 17}, Qt::white, "一度だけ犬の鳴き声を聞きます。"},
    {"Label17", "Loop", {464, 296, 41, 17}, Qt::white, "連続して泣き声を聞きます。（結構うるさい）"},
    {"Label16", "Quiet", {32, 288, 57, 33}, Qt::white, "連続して鳴いている犬の鳴き声をとめます。"},
    {"Label1", "Wanderpup Ver 1.0", {132, 135, 137, 17}, Qt::white,
     "新着時に可愛いキャラがデスクトップ上をコミカルに動きます。５個のキャラから選べます。送信者がキャラを選定することも・・・"},
};

} // namespace

TEST_F(MainWindow, CaptionSizeAndEveryLabel)
{
    MainForm *form = start();
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Wanderpup　Ver 1.0"));
    EXPECT_EQ(form->size(), QSize(512, 347));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_FALSE(form->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);
    for (const LabelRow &row : kLabels) {
        SCOPED_TRACE(row.name);
        CommandLabel *l = label(form, row.name);
        ASSERT_NE(l, nullptr);
        EXPECT_EQ(l->text(), QString::fromUtf8(row.caption));
        EXPECT_EQ(l->geometry(), row.geometry);
        // The caption's ink fits its box, the font made smaller only where it must.
        const QFontMetrics fitted(l->fittedFont());
        EXPECT_LE(fitted.tightBoundingRect(l->text()).height(), row.geometry.height());
        EXPECT_LE(fitted.horizontalAdvance(l->text()), row.geometry.width());
        EXPECT_EQ(l->palette().color(QPalette::Active, QPalette::WindowText), row.colour);
        EXPECT_EQ(form->findChild<HoverHelp *>()->textOver(l), QString::fromUtf8(row.hover));
    }
    EXPECT_EQ(form->Label2->geometry(), QRect(120, 24, 297, 41));
    EXPECT_TRUE(form->Label2->text().isEmpty());
    EXPECT_EQ(form->Text1->geometry(), QRect(112, 0, 249, 18));
    EXPECT_GE(form->Text2->y(), 347); // below the visible area
}

TEST_F(MainWindow, StartUpStateInOrder)
{
    MainForm *form = start();
    EXPECT_TRUE(form->Label13->isEnabled());
    EXPECT_FALSE(form->Label14->isEnabled());
    EXPECT_TRUE(form->Label17->isEnabled());
    EXPECT_TRUE(form->Label18->isEnabled());
    EXPECT_FALSE(form->Label16->isEnabled());
    EXPECT_TRUE(form->Text1->isHidden());
    EXPECT_EQ(form->Text2->text(), QStringLiteral("Text2"));
    EXPECT_TRUE(form->Timer1->isActive());
    EXPECT_EQ(form->Timer1->interval(), 1000);
    EXPECT_FALSE(form->Timer2->isActive());
    EXPECT_TRUE(form->ChkLoop->isChecked());
    EXPECT_FALSE(form->ChkOnMem->isChecked());
    EXPECT_FALSE(form->ChkSynchro->isChecked());
    EXPECT_TRUE(form->ChkLoop->isHidden());
    EXPECT_NE(Forms::existingSetForm(), nullptr); // the saved dog choice was loaded into it
}

TEST_F(MainWindow, NoTimerOfTheAutomaticCheckWhileItIsOff)
{
    MainForm *form = start();
    ASSERT_NE(form->autoCheck(), nullptr);
    EXPECT_EQ(form->autoCheck()->timer(), nullptr);
    EXPECT_EQ(form->findChild<QTimer *>(QStringLiteral("AutoCheckTimer")), nullptr);
    // Turned on in the server dialog: the next check is due after the interval; off: no timer.
    AccountSettings::instance().AutoCheckMinutes = 10;
    form->autoCheck()->apply();
    ASSERT_NE(form->autoCheck()->timer(), nullptr);
    EXPECT_TRUE(form->autoCheck()->timer()->isActive());
    EXPECT_GT(form->autoCheck()->timer()->remainingTime(), 9 * 60 * 1000);
    AccountSettings::instance().AutoCheckMinutes = 0;
    form->autoCheck()->apply();
    EXPECT_EQ(form->findChild<QTimer *>(QStringLiteral("AutoCheckTimer")), nullptr);
}

TEST_F(MainWindow, ServerDialogOpensOnlyWithoutPop3Server)
{
    folder.write(QStringLiteral("petpost.ini"), "pop3=lower.case.is.ignored\r\n");
    MainForm *form = start();
    ASSERT_NE(Forms::existingOptionForm(), nullptr);
    EXPECT_TRUE(Forms::existingOptionForm()->isVisible());
    // The dialog, not the main window that shows after it, gets the keyboard; the main window
    // is centred on the screen all the same.
    form->show();
    EXPECT_TRUE(waitUntil([] { return QApplication::activeWindow() == Forms::existingOptionForm(); }));
    EXPECT_EQ(QApplication::focusWidget(), Forms::existingOptionForm()->SmtpText);
    const QPoint offCentre = form->frameGeometry().center() - form->screen()->geometry().center();
    EXPECT_LE(offCentre.manhattanLength(), 1);
    Forms::destroyAll();

    folder.write(QStringLiteral("petpost.ini"), "POP3=pop.example.jp\r\n");
    AccountSettings::instance() = AccountSettings();
    start();
    EXPECT_EQ(AccountSettings::instance().Pop3Server, QStringLiteral("pop.example.jp"));
    EXPECT_EQ(Forms::existingOptionForm(), nullptr);
}

TEST_F(MainWindow, OutlineCutsTheDoorway)
{
    EXPECT_EQ(MainForm::outline(), QPolygon({{0, 0}, {0, 368}, {118, 368}, {118, 185}, {397, 185}, {397, 368},
                                             {513, 368}, {513, 0}}));
    MainForm *form = start();
    // In the client area the doorway is cut where the picture paints it (from y 164), whatever
    // frame the window gets.
    const QRegion shape = form->mask();
    EXPECT_TRUE(shape.contains(QPoint(117, 300)));
    EXPECT_FALSE(shape.contains(QPoint(118, 300)));
    EXPECT_FALSE(shape.contains(QPoint(396, 164)));
    EXPECT_TRUE(shape.contains(QPoint(396, 163)));
    EXPECT_FALSE(shape.contains(QPoint(250, 346)));
    EXPECT_TRUE(shape.contains(QPoint(397, 300)));
    EXPECT_TRUE(shape.contains(QPoint(250, 100)));
    QImage picture(QStringLiteral(":/app/doghouse.png"));
    EXPECT_EQ(picture.pixelColor(250, 165), QColor(Qt::black));
    EXPECT_NE(picture.pixelColor(250, 162), QColor(Qt::black));
}

TEST_F(MainWindow, HoverHelp)
{
    MainForm *form = start();
    CommandLabel *receive = label(form, "Label8");
    hover(form, receive->geometry().center());
    EXPECT_EQ(form->Label2->text(), QStringLiteral("新着メールの受信を行います。"));

    // Over "Cry", the help line and the status box nothing changes.
    hover(form, label(form, "Label15")->geometry().center());
    hover(form, form->Label2->geometry().center());
    EXPECT_EQ(form->Label2->text(), QStringLiteral("新着メールの受信を行います。"));

    // A disabled command shows no help.
    hover(form, form->Label16->geometry().center());
    EXPECT_EQ(form->Label2->text(), QStringLiteral("新着メールの受信を行います。"));

    // The picture empties the help line.
    hover(form, QPoint(60, 60));
    EXPECT_TRUE(form->Label2->text().isEmpty());
}

TEST_F(MainWindow, ClockShowsDateTwoBlanksAndTime)
{
    MainForm *form = start();
    form->tickClock();
    const QString text = form->Text2->text();
    const QLocale locale = QLocale::system();
    EXPECT_TRUE(text.startsWith(locale.toString(QDate::currentDate(), QLocale::ShortFormat) + QStringLiteral("  ")))
        << text.toStdString();
}

TEST_F(MainWindow, WalkAndKennelSwitchTheirLabels)
{
    MainForm *form = start();
    click(form->Label13);
    EXPECT_FALSE(form->Label13->isEnabled());
    EXPECT_TRUE(form->Label14->isEnabled());
    click(form->Label13); // disabled: no effect
    EXPECT_TRUE(form->Label14->isEnabled());
    click(form->Label14);
    EXPECT_TRUE(form->Label13->isEnabled());
    EXPECT_FALSE(form->Label14->isEnabled());
}

TEST_F(MainWindow, BarkWithoutSoundFileReportsAndKeepsStates)
{
    MainForm *form = start();
    click(form->Label17); // Loop
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text, QStringLiteral("API がエラーを返しました"));
    EXPECT_EQ(prompter.messages[0].title, QStringLiteral("エラー"));
    EXPECT_EQ(prompter.messages[0].icon, Prompter::Icon::Critical);
    EXPECT_FALSE(form->Label17->isEnabled());
    EXPECT_TRUE(form->Label18->isEnabled());
    EXPECT_TRUE(form->Label16->isEnabled());
    EXPECT_TRUE(form->ChkLoop->isChecked());

    click(form->Label18); // One
    EXPECT_TRUE(form->Label17->isEnabled());
    EXPECT_FALSE(form->Label18->isEnabled());
    EXPECT_FALSE(form->ChkLoop->isChecked());

    click(form->Label16); // Quiet
    EXPECT_TRUE(form->Label17->isEnabled());
    EXPECT_FALSE(form->Label18->isEnabled()); // stays until Loop is used
    EXPECT_FALSE(form->Label16->isEnabled());
    EXPECT_EQ(prompter.messages.size(), 2u);
}

TEST_F(MainWindow, HomePageOpensOurAddressEveryClick)
{
    MainForm *form = start();
    Browser::setOpener(recordOpen);
    g_opens = 0;
    click(label(form, "Label5"));
    click(label(form, "Label5"));
    EXPECT_EQ(g_opens, 2);
    EXPECT_EQ(g_opened, QUrl(QString::fromLatin1(MainForm::HomePage)));
    // A double click, through the window system's path, is one click.
    form->show();
    const QWidget *label5 = label(form, "Label5");
    QTest::mouseDClick(form->windowHandle(), Qt::LeftButton, {}, label5->mapTo(form, label5->rect().center()));
    EXPECT_EQ(g_opens, 3);

    Browser::setOpener(refuseOpen);
    click(label(form, "Label5"));
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_TRUE(prompter.messages[0].text.contains(QString::fromLatin1(MainForm::HomePage)));
}

TEST_F(MainWindow, SmallMinimises)
{
    MainForm *form = start();
    form->show();
    click(label(form, "Label4"));
    EXPECT_TRUE(form->windowState() & Qt::WindowMinimized);
}

TEST_F(MainWindow, ReceiveSendsDogsToKennelAndWritesHelpLine)
{
    MainForm *form = start();
    click(form->Label13);
    click(label(form, "Label8"));
    EXPECT_EQ(form->Label2->text(), QStringLiteral("メールを受信します。")); // no server: no check ran
    EXPECT_TRUE(form->Label13->isEnabled());
    EXPECT_FALSE(form->Label14->isEnabled());
}

TEST_F(MainWindow, ClosingEndsTheProgramWithoutAsking)
{
    MainForm *form = start();
    form->show();
    Forms::idPassForm()->show();
    QTimer::singleShot(0, form, &QWidget::close);
    QTimer guard; // the loop must end by itself
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QApplication::exit(99); });
    guard.start(5000);
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_TRUE(prompter.messages.empty());
}
