// The windows as the keyboard and a screen reader reach them: every stop of the Tab chain is a
// named, visible control, and the command labels of the main window work without a mouse.
#include "app/AccountSettings.h"
#include "app/Forms.h"
#include "app/IdPassForm.h"
#include "app/MainForm.h"
#include "app/OptionForm.h"
#include "characters/SetForm.h"
#include "viewer/TyakuForm.h"

#include "ScriptedPrompter.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class Accessibility : public testing::Test
{
protected:
    void SetUp() override
    {
        AccountSettings::instance() = AccountSettings();
        folder.write(QStringLiteral("petpost.ini"), "POP3=pop.example.jp\r\n");
    }
    void TearDown() override
    {
        Forms::destroyAll();
        AccountSettings::instance() = AccountSettings();
    }

    static QString name(QWidget *widget)
    {
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(widget);
        return iface ? iface->text(QAccessible::Name) : QString();
    }

    TempProgramFolder folder;
    ScriptedPrompter prompter;
};

} // namespace

TEST_F(Accessibility, EveryTabStopIsANamedControlTheUserCanSee)
{
    MainForm *main = Forms::mainForm();
    main->startUp();
    Forms::tyakuForm()->OpenHistory(1);
    const QList<QWidget *> windows{main, Forms::idPassForm(), Forms::optionForm(), Forms::setForm(),
                                   Forms::tyakuForm()};
    int stops = 0;
    for (QWidget *window : windows) {
        window->show();
        for (QWidget *w : window->findChildren<QWidget *>()) {
            // Tab passes by what is not in view (Qt hides toolbar items that do not fit).
            if (!(w->focusPolicy() & Qt::TabFocus) || w->isWindow() || !w->isVisibleTo(window))
                continue;
            SCOPED_TRACE((window->objectName() + QLatin1Char('/') + w->objectName() + QLatin1Char(' ')
                          + QString::fromLatin1(w->metaObject()->className()))
                             .toStdString());
            EXPECT_TRUE(window->rect().intersects(QRect(w->mapTo(window, QPoint(0, 0)), w->size())));
            EXPECT_FALSE(name(w).trimmed().isEmpty());
            ++stops;
        }
    }
    // The boxes nobody sees are no stops at all, for the keyboard or a screen reader.
    for (QWidget *unseen : std::initializer_list<QWidget *>{main->Text2, main->ChkLoop, main->ChkOnMem,
                                                             main->ChkSynchro, Forms::tyakuForm()->Text5}) {
        EXPECT_EQ(unseen->focusPolicy(), Qt::NoFocus) << unseen->objectName().toStdString();
        EXPECT_FALSE(unseen->isVisibleTo(unseen->window())) << unseen->objectName().toStdString();
    }
    EXPECT_GT(stops, 30);

    // Boxes and pictures are named after their captions.
    EXPECT_EQ(name(Forms::idPassForm()->IdText), QStringLiteral("ID"));
    EXPECT_EQ(name(Forms::idPassForm()->PassText), QStringLiteral("Password"));
    EXPECT_EQ(name(Forms::idPassForm()->Check1), QStringLiteral("IDパスワードを保存する"));
    EXPECT_EQ(name(Forms::optionForm()->Pop3Text), QStringLiteral("POP3サーバー名"));
    EXPECT_EQ(name(Forms::setForm()->Check[4]), QStringLiteral("1")); // dog 1's box
    EXPECT_EQ(name(Forms::setForm()->Image1[10]), QStringLiteral("10"));
    EXPECT_EQ(name(Forms::tyakuForm()->Text8), QStringLiteral("From"));
    EXPECT_FALSE(name(Forms::tyakuForm()->rtfEd).isEmpty());
}

TEST_F(Accessibility, CommandLabelsWorkFromTheKeyboardAndForAScreenReader)
{
    MainForm *main = Forms::mainForm();
    main->startUp();
    main->show();
    auto *settings = main->findChild<CommandLabel *>(QStringLiteral("Label11"));
    auto *cry = main->findChild<CommandLabel *>(QStringLiteral("Label15"));

    // Tab runs through the command labels only; "ハウス" is disabled and skipped.
    QWidget *first = main->findChild<CommandLabel *>(QStringLiteral("Label9"));
    QList<QWidget *> chain{first};
    for (QWidget *w = first->nextInFocusChain(); w != first; w = w->nextInFocusChain())
        if ((w->focusPolicy() & Qt::TabFocus) && w->isEnabled() && w->isVisibleTo(main))
            chain << w;
    EXPECT_EQ(chain.size(), 12); // 14 commands, "ハウス" and "Quiet" disabled
    for (QWidget *w : chain)
        EXPECT_TRUE(qobject_cast<CommandLabel *>(w)) << w->objectName().toStdString();
    EXPECT_FALSE(chain.contains(main->Label14));
    EXPECT_FALSE(chain.contains(cry));

    // Enter and Space run the command that has the focus.
    settings->setFocus(Qt::TabFocusReason);
    QTest::keyClick(settings, Qt::Key_Return);
    ASSERT_NE(Forms::existingSetForm(), nullptr);
    EXPECT_TRUE(Forms::existingSetForm()->isVisible());
    Forms::setForm()->setTicked(4, true);
    main->Label19->setFocus(Qt::TabFocusReason);
    QTest::keyClick(main->Label19, Qt::Key_Space);
    EXPECT_FALSE(Forms::setForm()->isTicked(4));

    // A screen reader sees a button named by the caption, with a press action.
    QAccessibleInterface *walk = QAccessible::queryAccessibleInterface(main->Label13);
    ASSERT_NE(walk, nullptr);
    EXPECT_EQ(walk->role(), QAccessible::Button);
    EXPECT_EQ(walk->text(QAccessible::Name), QStringLiteral("お散歩"));
    EXPECT_EQ(walk->text(QAccessible::Description),
              QStringLiteral("犬小屋から犬を出します。デスクトップ上を自由に駆け回ります。"));
    QAccessibleActionInterface *actions = walk->actionInterface();
    ASSERT_NE(actions, nullptr);
    ASSERT_TRUE(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
    actions->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_FALSE(main->Label13->isEnabled()); // the dogs went for a walk
    EXPECT_TRUE(main->Label14->isEnabled());
    EXPECT_TRUE(walk->state().disabled);
    actions->doAction(QAccessibleActionInterface::pressAction()); // disabled: nothing happens
    EXPECT_TRUE(main->Label14->isEnabled());

    // "Cry" runs nothing: plain text without actions.
    QAccessibleInterface *caption = QAccessible::queryAccessibleInterface(cry);
    EXPECT_EQ(caption->role(), QAccessible::StaticText);
    EXPECT_EQ(caption->text(QAccessible::Name), QStringLiteral("Cry"));
    EXPECT_FALSE(caption->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));
}

TEST_F(Accessibility, AsciiFieldsKeepTheInputMethodOff)
{
    IdPassForm *idPass = Forms::idPassForm();
    OptionForm *option = Forms::optionForm();
    for (QLineEdit *box : {idPass->IdText, idPass->PassText, option->SmtpText, option->Pop3Text, option->MailText}) {
        SCOPED_TRACE(box->objectName().toStdString());
        EXPECT_FALSE(box->testAttribute(Qt::WA_InputMethodEnabled));
    }
    // Japanese text still goes where it belongs.
    EXPECT_TRUE(Forms::tyakuForm()->Text7->testAttribute(Qt::WA_InputMethodEnabled));
}
