#include "Twips.h"

#include <QGuiApplication>
#include <QScreen>

namespace {

QScreen *screen()
{
    return QGuiApplication::primaryScreen();
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
