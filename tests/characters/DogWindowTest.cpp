// The dog windows as real widgets on the offscreen platform.
#include "TestSupport.h"
#include "app/Forms.h"
#include "app/MainForm.h"
#include "characters/DogTable.h"
#include "characters/DogWindow.h"
#include "platform/RandomSource.h"

#include <QApplication>
#include <QCursor>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

class DogWindowTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        Forms::destroyAll();
        RandomSource::unpin();
    }
};

void press(QWidget *widget, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent event(QEvent::MouseButtonPress, at, widget->mapToGlobal(at), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

void moveMouse(QWidget *widget, QPoint at, Qt::MouseButtons buttons)
{
    QMouseEvent event(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

} // namespace

TEST_F(DogWindowTest, TenWindowsWithTheirDogNumbersAndTitles)
{
    const char *titles[] = {
        "",      "気分・・・２", "気分・・・５", "気分・・・４", "気分・・・１", "気分・・・２",
        "Form6", "Form7",        "Form8",        "Form9",        "Form10"};
    const int dogs[] = {0, 2, 5, 4, 1, 3, 6, 7, 8, 9, 10};
    for (int form = 1; form <= 10; ++form) {
        DogWindow *dog = Forms::dogWindow(form);
        EXPECT_EQ(dog->objectName(), QStringLiteral("Form%1").arg(form));
        EXPECT_EQ(dog->windowTitle(), QString::fromUtf8(titles[form]));
        EXPECT_EQ(dog->dogNumber(), dogs[form]);
        EXPECT_EQ(DogTable::formOfDog(dogs[form]), form);
        const Qt::WindowFlags flags = dog->windowFlags();
        EXPECT_TRUE(flags.testFlag(Qt::FramelessWindowHint));
        EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
        EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool); // no task-bar entry
        EXPECT_FALSE(dog->isVisible());
        EXPECT_EQ(dog->size(), QSize(64, 64));
        // Kennel mode from the start.
        EXPECT_TRUE(dog->Timer2->isActive());
        EXPECT_EQ(dog->Timer2->interval(), 200);
        EXPECT_FALSE(dog->Timer1->isActive());
    }
}

TEST_F(DogWindowTest, EveryFrameIsCutToItsDog)
{
    const QRgb background = qRgb(235, 235, 235);
    for (int dog = 1; dog <= 10; ++dog) {
        DogWindow *window = Forms::dogWindow(DogTable::formOfDog(dog));
        for (int slot = 0; slot < 8; ++slot) {
            const QImage picture = DogWindow::framePicture(dog, slot);
            ASSERT_EQ(picture.size(), QSize(64, 64));
            ASSERT_EQ(picture.pixel(0, 0), background) << "dog " << dog;
            int dogPixels = 0;
            for (int y = 0; y < 64; ++y)
                for (int x = 0; x < 64; ++x)
                    if (picture.pixel(x, y) != background) {
                        ++dogPixels;
                        ASSERT_TRUE(window->outline(slot).contains(QPoint(x, y)));
                    }
            int area = 0;
            for (const QRect &r : window->outline(slot))
                area += r.width() * r.height();
            EXPECT_EQ(area, dogPixels) << "dog " << dog << " slot " << slot;
            // A friendly dog, neither a speck nor a block, in few enough rectangles for any shape store.
            EXPECT_GT(dogPixels, 600);
            EXPECT_LT(dogPixels, 2600);
            EXPECT_LE(window->outline(slot).rectCount(), 201);
        }
        // Slots 2 and 3 are the mirrored drawings, 4 to 7 repeat 0 to 3.
        EXPECT_EQ(DogWindow::framePicture(dog, 2), DogWindow::framePicture(dog, 0).mirrored(true, false));
        EXPECT_EQ(DogWindow::framePicture(dog, 5), DogWindow::framePicture(dog, 1));
        EXPECT_NE(DogWindow::framePicture(dog, 0), DogWindow::framePicture(dog, 1));
    }
}

TEST_F(DogWindowTest, OutlineHolesAndEmptyFrames)
{
    QImage picture(64, 64, QImage::Format_RGB32);
    picture.fill(qRgb(235, 235, 235));
    EXPECT_TRUE(DogWindow::BuildOutline(picture).isEmpty());
    // A dog with an eye of the transparent colour gets a hole there.
    for (int y = 10; y < 20; ++y)
        for (int x = 10; x < 30; ++x)
            picture.setPixel(x, y, qRgb(90, 60, 30));
    picture.setPixel(15, 15, qRgb(235, 235, 235));
    const QRegion outline = DogWindow::BuildOutline(picture);
    EXPECT_TRUE(outline.contains(QPoint(14, 15)));
    EXPECT_FALSE(outline.contains(QPoint(15, 15)));
    EXPECT_EQ(outline.boundingRect(), QRect(10, 10, 20, 10));
}

TEST_F(DogWindowTest, BornAtTheMousePointer)
{
    QCursor::setPos(QPoint(300, 200));
    DogWindow *dog = Forms::dogWindow(7);
    EXPECT_EQ(dog->pos(), QPoint(300, 200));
    EXPECT_EQ(dog->twipsPosition(), QPoint(4500, 3000));
}

TEST_F(DogWindowTest, KennelTicksFollowTheMainWindow)
{
    MainForm *main = Forms::mainForm();
    main->move(100, 50);
    DogWindow *dog = Forms::dogWindow(3);
    DogWindow *other = Forms::dogWindow(5);
    dog->kennelTick();
    other->kennelTick();
    // 3500 twips from the main window's outer corner: 233.3 pixels, placed on a whole pixel.
    const QPoint corner = main->frameGeometry().topLeft();
    EXPECT_EQ(dog->pos(), corner + QPoint(233, 233));
    EXPECT_EQ(other->pos(), dog->pos()); // every dog in the kennel sits on the same spot
    EXPECT_EQ(dog->mask(), dog->outline(dog->shownSlot()));

    main->move(400, 300);
    dog->kennelTick();
    EXPECT_EQ(dog->pos(), main->frameGeometry().topLeft() + QPoint(233, 233));
}

TEST_F(DogWindowTest, WalkTicksStayOnTheScreenAndShowTheirSlot)
{
    DogWindow *dog = Forms::dogWindow(1);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    dog->move(screen.right() - 70, screen.bottom() - 70);
    for (int tick = 0; tick < 200; ++tick) {
        dog->walkTick();
        ASSERT_TRUE(screen.contains(dog->geometry())) << "tick " << tick;
        ASSERT_EQ(dog->shownSlot(),
                  DogWalk::frameSlot(dog->walk().walkCounter(), dog->walk().dx(), dog->walk().dy()));
        ASSERT_EQ(dog->mask(), dog->outline(dog->shownSlot()));
    }
}

TEST_F(DogWindowTest, LeftDragMovesOnlyThatDog)
{
    DogWindow *five = Forms::dogWindow(DogTable::formOfDog(5));
    DogWindow *one = Forms::dogWindow(DogTable::formOfDog(1));
    five->move(200, 200);
    one->move(400, 400);
    five->show();
    one->show();
    // Without a window manager the dog follows the pointer by itself.
    press(five, QPoint(30, 40), Qt::LeftButton, Qt::LeftButton);
    moveMouse(five, QPoint(80, 70), Qt::LeftButton);
    EXPECT_EQ(five->pos(), QPoint(250, 230));
    EXPECT_EQ(one->pos(), QPoint(400, 400));
    QMouseEvent release(QEvent::MouseButtonRelease, QPoint(50, 40), five->mapToGlobal(QPoint(50, 40)),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(five, &release);
    moveMouse(five, QPoint(10, 10), Qt::NoButton);
    EXPECT_EQ(five->pos(), QPoint(250, 230));
}

TEST_F(DogWindowTest, RightPressEndsTheProgramOtherButtonsDoNothing)
{
    DogWindow *dog = Forms::dogWindow(2);
    dog->show();
    press(dog, QPoint(20, 20), Qt::MiddleButton, Qt::MiddleButton);
    press(dog, QPoint(20, 20), Qt::RightButton, Qt::RightButton | Qt::MiddleButton);
    QTimer::singleShot(0, dog, [dog] { press(dog, QPoint(20, 20), Qt::RightButton, Qt::RightButton); });
    // Should the press not end the event loop, the guard does, with another code.
    QTimer guard;
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(7); });
    guard.start(3000);
    EXPECT_EQ(QApplication::exec(), 0);
}
