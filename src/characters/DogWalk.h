#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QtGlobal>

#include <vector>

// The arithmetic of one dog, in twips: its runs in a random direction, the step of each tick,
// the screen limits and the frame slot it shows. Random numbers come from RandomSource.
class DogWalk
{
public:
    // The frame box: 64 pixels at 15 twips per pixel.
    static constexpr int FrameBox = 960;
    // The kennel spot, measured from the main window's outer top-left corner.
    static constexpr int KennelOffset = 3500;

    DogWalk(float twipsPerPixelX, float twipsPerPixelY);

    // One walk tick: the new top-left position, kept fully on a screen of `screen` twips.
    QPoint walkTick(QPoint current, QSize screen);
    // One kennel tick: the kennel spot for a main window at `mainTopLeft` twips.
    QPoint kennelTick(QPoint mainTopLeft);

    // The slot shown by the last tick (0 before the first).
    int slot() const { return m_slot; }
    // slot = phase + 2 * (faces right) + 4 * (moves up), phase = run counter modulo 2.
    static int frameSlot(int counter, int dx, int dy);

    qint16 dx() const { return m_dx; }
    qint16 dy() const { return m_dy; }
    qint16 walkCounter() const { return m_walkCounter; }
    qint16 kennelCounter() const { return m_kennelCounter; }

private:
    // Draws r1, r2, r3: the run length and the step; `dxFactor` widens the horizontal step.
    void newRun(qint16 &counter, double dxFactor);

    float m_factorX;
    float m_factorY;
    qint16 m_dx = 0;
    qint16 m_dy = 0;
    qint16 m_walkCounter = 0;
    qint16 m_kennelCounter = 0;
    int m_slot = 0;
};

// The outline of a picture: every pixel whose colour differs from the top-left pixel, as
// rectangles in y-x bands (runs of a row, with equal rows below merged), ready for a window shape.
// `pixels` holds `height` rows of `stride` 32-bit colours.
std::vector<QRect> outlineBands(const quint32 *pixels, int width, int height, qsizetype stride);
