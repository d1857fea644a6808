#pragma once

#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QSize>
#include <QSizeF>

// Window positions are kept in twips (1/1440 inch) where the program's rules are written in
// twips; the screen's twips-per-pixel factors convert (15 at 96 dots per inch).
namespace Twips {

float perPixelX();
float perPixelY();
// The primary screen's size in twips.
int screenWidth();
int screenHeight();

} // namespace Twips

// Converts between twips and pixels with one pair of twips-per-pixel factors: the screen's at
// the moment (onScreen), or a pair a window read once and keeps.
// Whole pixels, and twips as a QPoint, are rounded half away from zero; other twips stay exact.
class TwipsScale
{
public:
    TwipsScale(float perPixelX, float perPixelY) : m_x(perPixelX), m_y(perPixelY) {}
    static TwipsScale onScreen();

    float perPixelX() const { return m_x; }
    float perPixelY() const { return m_y; }

    int toPixelsX(double twips) const;
    int toPixelsY(double twips) const;
    QPoint toPixels(const QPointF &twips) const;
    QSize toPixels(const QSizeF &twips) const;
    QRect toPixels(const QRectF &twips) const;

    double toTwipsX(int pixels) const { return pixels * double(m_x); }
    double toTwipsY(int pixels) const { return pixels * double(m_y); }
    QPoint toTwips(const QPoint &pixels) const;
    QSizeF toTwips(const QSize &pixels) const;

private:
    float m_x;
    float m_y;
};
