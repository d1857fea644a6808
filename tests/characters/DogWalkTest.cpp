// The walk arithmetic and the outline bands, without any window.
#include "characters/DogWalk.h"
#include "platform/RandomSource.h"

#include <gtest/gtest.h>

#include <deque>

namespace {

// Pins the random source to the given numbers, then to 0.5 forever.
class PinnedRandom
{
public:
    explicit PinnedRandom(std::deque<double> numbers)
        : m_numbers(std::move(numbers))
    {
        RandomSource::pin([this] {
            if (m_numbers.empty())
                return 0.5;
            const double r = m_numbers.front();
            m_numbers.pop_front();
            return r;
        });
    }
    ~PinnedRandom() { RandomSource::unpin(); }

private:
    std::deque<double> m_numbers;
};

const QSize kScreen(1280 * 15, 800 * 15);
const double kAlmostOne = 0.9999999;

} // namespace

TEST(DogWalk, RunDrawsSpanTheirRanges)
{
    {
        PinnedRandom random({0.0, 0.0, 0.0});
        DogWalk walk(15, 15);
        walk.walkTick(QPoint(5000, 5000), kScreen);
        EXPECT_EQ(walk.walkCounter(), 5); // a run of 6 ticks, one used
        EXPECT_EQ(walk.dx(), -375);
        EXPECT_EQ(walk.dy(), -75);
    }
    {
        PinnedRandom random({kAlmostOne, kAlmostOne, kAlmostOne});
        DogWalk walk(15, 15);
        walk.walkTick(QPoint(5000, 5000), kScreen);
        EXPECT_EQ(walk.walkCounter(), 25);
        EXPECT_EQ(walk.dx(), 375);
        EXPECT_EQ(walk.dy(), 75);
    }
    {
        // The kennel draws the step without the factor 5.
        PinnedRandom random({0.0, 0.0, 0.0});
        DogWalk walk(15, 15);
        walk.kennelTick(QPoint(0, 0));
        EXPECT_EQ(walk.dx(), -75);
        EXPECT_EQ(walk.kennelCounter(), 5);
    }
}

TEST(DogWalk, StepsByTheDrawnStepUntilTheRunEnds)
{
    PinnedRandom random({0.0, 0.6, 0.4, /* second run */ 0.0, 0.2, 0.8});
    DogWalk walk(15, 15);
    QPoint at(6000, 6000);
    for (int tick = 0; tick < 6; ++tick) {
        const QPoint next = walk.walkTick(at, kScreen);
        EXPECT_EQ(next - at, QPoint(75, -15)) << "tick " << tick;
        at = next;
    }
    EXPECT_EQ(walk.walkCounter(), 0);
    const QPoint next = walk.walkTick(at, kScreen);
    EXPECT_EQ(next - at, QPoint(-225, 45));
}

TEST(DogWalk, ScreenEdgesHoldTheDogWithoutTurningIt)
{
    PinnedRandom random({kAlmostOne, kAlmostOne, 0.0});
    DogWalk walk(15, 15);
    QPoint at(kScreen.width() - 1000, 30);
    for (int tick = 0; tick < 20; ++tick) {
        at = walk.walkTick(at, kScreen);
        ASSERT_LE(at.x() + DogWalk::FrameBox, kScreen.width());
        ASSERT_GE(at.y(), 0);
    }
    // Pressed against the right edge and the top, still facing right and moving up.
    EXPECT_EQ(at, QPoint(kScreen.width() - DogWalk::FrameBox, 0));
    EXPECT_GT(walk.dx(), 0);
    EXPECT_EQ(walk.slot() & 6, 6);

    // The lower left corner: limits at 0 and at the screen height.
    PinnedRandom back({0.0, 0.0, kAlmostOne});
    DogWalk other(15, 15);
    EXPECT_EQ(other.walkTick(QPoint(100, kScreen.height() - 960), kScreen),
              QPoint(0, kScreen.height() - 960));
}

TEST(DogWalk, ZeroStepFacesLeftAndMovesOnlyVertically)
{
    PinnedRandom random({0.0, 0.5, kAlmostOne});
    DogWalk walk(15, 15);
    const QPoint next = walk.walkTick(QPoint(3000, 3000), kScreen);
    EXPECT_EQ(walk.dx(), 0);
    EXPECT_EQ(next.x(), 3000);
    EXPECT_GT(next.y(), 3000);
    EXPECT_LT(walk.slot(), 2);
}

TEST(DogWalk, FrameSlotFollowsParityFacingAndClimbing)
{
    struct Row
    {
        int counter, dx, dy, slot;
    };
    const Row rows[] = {
        {4, -10, 5, 0},  {3, -10, 5, 1}, {4, 10, 5, 2},  {3, 10, 5, 3}, {4, -10, -5, 4},
        {3, -10, -5, 5}, {4, 10, -5, 6}, {3, 10, -5, 7}, {0, 0, 0, 0}, // no step: facing left, first phase
    };
    for (const Row &row : rows)
        EXPECT_EQ(DogWalk::frameSlot(row.counter, row.dx, row.dy), row.slot)
            << row.counter << " " << row.dx << " " << row.dy;
}

TEST(DogWalk, KennelSpotAndCountersKeptAcrossModes)
{
    PinnedRandom random({0.5, 0.9, 0.5, /* walk */ 0.5, 0.1, 0.5});
    DogWalk walk(15, 15);
    EXPECT_EQ(walk.kennelTick(QPoint(1500, 3000)), QPoint(5000, 6500));
    EXPECT_EQ(walk.kennelCounter(), 15);
    EXPECT_GT(walk.dx(), 0);
    walk.walkTick(QPoint(5000, 6500), kScreen);
    EXPECT_EQ(walk.walkCounter(), 15);
    // Back in the kennel the kennel run goes on where it stopped; the step is the shared one.
    walk.kennelTick(QPoint(0, 0));
    EXPECT_EQ(walk.kennelCounter(), 14);
    EXPECT_LT(walk.dx(), 0);
}

TEST(OutlineBands, CutsEveryPixelOfTheTopLeftColour)
{
    const quint32 g = 0xffebebeb, d = 0xff302010;
    // 5 x 4: a 2 x 2 block, a row of its own, and a hole of the background colour inside.
    const quint32 pixels[] = {
        g, d, d, g, g, g, d, d, g, g, d, d, g, d, d, g, g, g, g, g,
    };
    const std::vector<QRect> bands = outlineBands(pixels, 5, 4, 5);
    const std::vector<QRect> expected = {QRect(1, 0, 2, 2), QRect(0, 2, 2, 1), QRect(3, 2, 2, 1)};
    EXPECT_EQ(bands, expected);

    const quint32 uniform[] = {d, d, d, d};
    EXPECT_TRUE(outlineBands(uniform, 2, 2, 2).empty());
}
