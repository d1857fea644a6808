#include "Twips.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>

namespace {

QScreen *screen()
{
    return QGuiApplication::primaryScreen();
}

int whole(double value)
{
    return int(std::lround(value));
}

} // namespace

namespace Twips {

float perPixelX()
{
    const QScreen *s = screen();
    return s && s->logicalDotsPerInchX() > 0 ? float(1440.0 / s->logicalDotsPerInchX()) : 15.0f;
}

float perPixelY()
{
    const QScreen *s = screen();
    return s && s->logicalDotsPerInchY() > 0 ? float(1440.0 / s->logicalDotsPerInchY()) : 15.0f;
}

int screenWidth()
{
    const QScreen *s = screen();
    return int(float(s ? s->geometry().width() : 1024) * perPixelX());
}

int screenHeight()
{
    const QScreen *s = screen();
    return int(float(s ? s->geometry().height() : 768) * perPixelY());
}

} // namespace Twips

TwipsScale TwipsScale::onScreen()
{
    return TwipsScale(Twips::perPixelX(), Twips::perPixelY());
}

int TwipsScale::toPixelsX(double twips) const
{
    return whole(twips / double(m_x));
}

int TwipsScale::toPixelsY(double twips) const
{
    return whole(twips / double(m_y));
}

QPoint TwipsScale::toPixels(const QPointF &twips) const
{
    return QPoint(toPixelsX(twips.x()), toPixelsY(twips.y()));
}

QSize TwipsScale::toPixels(const QSizeF &twips) const
{
    return QSize(toPixelsX(twips.width()), toPixelsY(twips.height()));
}

QRect TwipsScale::toPixels(const QRectF &twips) const
{
    // Each edge value converts on its own, as a window placed by twips expects.
    return QRect(toPixelsX(twips.x()), toPixelsY(twips.y()), toPixelsX(twips.width()), toPixelsY(twips.height()));
}

QPoint TwipsScale::toTwips(const QPoint &pixels) const
{
    return QPoint(whole(toTwipsX(pixels.x())), whole(toTwipsY(pixels.y())));
}

QSizeF TwipsScale::toTwips(const QSize &pixels) const
{
    return QSizeF(toTwipsX(pixels.width()), toTwipsY(pixels.height()));
}
