// The window registry: one list of windows, and a clear stop for a window that reaches itself.
#include "app/Forms.h"
#include "app/MainForm.h"
#include "characters/DogWindow.h"
#include "characters/SetForm.h"
#include "kit/CommandLabel.h"

#include "TestSupport.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QPointer>

#include <gtest/gtest.h>

namespace {

Forms::Slot *g_selfReaching = nullptr;

// A window whose load steps touch its own registry entry.
class SelfReachingWindow : public QWidget
{
public:
    SelfReachingWindow() { g_selfReaching->touch(); }
};

} // namespace

TEST(Forms, OneInstanceForgottenOnCloseAndDestroyAllReachesEveryWindow)
{
    TempProgramFolder folder;
    Forms::Slot probe("ProbeWindow", [] { return new QWidget(); });
    QWidget *first = probe.touch();
    EXPECT_EQ(probe.touch(), first);
    EXPECT_FALSE(first->isVisible());
    first->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(probe.existing(), nullptr);

    // A slot made after the program's own windows is in the same list.
    const QPointer<QWidget> again = probe.touch();
    const QPointer<SetForm> settings = Forms::setForm();
    const QPointer<DogWindow> dog = Forms::dogWindow(7);
    Forms::destroyAll();
    EXPECT_TRUE(again.isNull());
    EXPECT_TRUE(settings.isNull());
    EXPECT_TRUE(dog.isNull());
    EXPECT_EQ(Forms::existingSetForm(), nullptr);
    EXPECT_EQ(Forms::existingDogWindow(7), nullptr);
}

TEST(FormsDeathTest, AWindowThatReachesItselfWhileBeingMadeStopsTheProgramWithItsName)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            Forms::Slot slot("SelfReachingWindow", [] { return new SelfReachingWindow(); });
            g_selfReaching = &slot;
            slot.touch();
        },
        "SelfReachingWindow.*being created");
}

TEST(Forms, TheDogSettingsWindowOpensOnTheScreen)
{
    TempProgramFolder folder;
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    // Where a window manager may put it beside a main window near the screen's edge.
    Forms::setForm()->move(area.right() - 120, area.bottom() - 40);
    Forms::mainForm()->findChild<CommandLabel *>(QStringLiteral("Label11"))->activate(); // "設定"
    EXPECT_TRUE(area.contains(Forms::setForm()->frameGeometry()));
    Forms::destroyAll();
}
