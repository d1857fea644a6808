// The hover help rules, on a window shaped like the compose window: a help box over the body,
// buttons that explain themselves (one disabled), a frame with an option button inside, and
// controls the help knows nothing of.
#include "kit/HoverHelp.h"
#include "kit/WindowKit.h"

#include <QComboBox>
#include <QFrame>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// The pointer moves onto `widget` as the window system reports it: to the widget under the
// pointer, passed on to its parents while unhandled.
void pointTo(QWidget *widget, QPoint at = QPoint(4, 4))
{
    QTest::mouseMove(widget, at);
}

} // namespace

TEST(HoverHelp, ShowsHidesOrLeavesTheBoxByWhatIsUnderThePointer)
{
    QWidget window;
    window.resize(400, 300);
    auto *send = Kit::place(new QPushButton(QStringLiteral("送信"), &window), "Command1", {10, 10, 80, 25});
    auto *add = Kit::place(new QPushButton(QStringLiteral("追加"), &window), "Command9", {100, 10, 80, 25});
    add->setEnabled(false);
    auto *combo = Kit::place(new QComboBox(&window), "Combo1", {200, 10, 150, 25});
    auto *frame = Kit::place(new QFrame(&window), "Frame1", {10, 50, 180, 80});
    auto *option = Kit::place(new QRadioButton(frame), "Option3", {10, 10, 20, 20});
    option->setMouseTracking(true); // its moves reach the frame, which must not count them as its own
    auto *box = Kit::place(new QPlainTextEdit(&window), "Text14", {60, 170, 200, 80});
    auto *body = Kit::place(new QPlainTextEdit(&window), "BodyText", {10, 150, 380, 140});
    box->hide();

    auto *help = new HoverHelp(box);
    help->showOver(send, QStringLiteral("送信します。"));
    help->showOver(add, QStringLiteral("添付ファイルを複数送信する際に使用します。"));
    help->showOver(frame, QStringLiteral("キャラを選定します。"));
    help->turnOffOver(body, HoverHelp::Off::Hide);
    help->turnOffOverBackground(&window, HoverHelp::Off::Hide);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    pointTo(send);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->toPlainText(), QStringLiteral("送信します。"));
    // Shown over the body that lay on top of it.
    EXPECT_TRUE(box->isAncestorOf(window.childAt(box->geometry().center())));

    // Other controls, a disabled one and an option button inside the frame change nothing.
    pointTo(combo);
    pointTo(add);
    pointTo(option);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->toPlainText(), QStringLiteral("送信します。"));

    pointTo(frame, QPoint(150, 60));
    EXPECT_EQ(box->toPlainText(), QStringLiteral("キャラを選定します。"));

    // The body and the background hide the box and keep its text.
    pointTo(body->viewport(), QPoint(5, 5));
    EXPECT_FALSE(box->isVisible());
    EXPECT_EQ(box->toPlainText(), QStringLiteral("キャラを選定します。"));
    pointTo(send);
    EXPECT_TRUE(box->isVisible());
    pointTo(&window, QPoint(395, 100));
    EXPECT_FALSE(box->isVisible());
    EXPECT_EQ(box->toPlainText(), QStringLiteral("送信します。"));

    EXPECT_EQ(help->textOver(add), QStringLiteral("添付ファイルを複数送信する際に使用します。"));
    EXPECT_TRUE(help->textOver(combo).isEmpty());
}
