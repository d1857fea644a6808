#include "WindowKit.h"

#include "kit/Twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace Kit {

void nameObject(QObject *control, QAnyStringView name)
{
    control->setObjectName(name.toString());
}

void placeWidget(QWidget *control, QAnyStringView name, const QRect &pixels)
{
    nameObject(control, name);
    control->setGeometry(pixels);
}

void placeWidgetInTwips(QWidget *control, QAnyStringView name, const QRectF &twips)
{
    placeWidget(control, name, TwipsScale::onScreen().toPixels(twips));
}

void centreOnScreen(QWidget *window)
{
    const QScreen *screen = window->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    // Before the window is first shown its frame is not known yet and is its client area.
    const QRect outer(QPoint(0, 0), window->frameGeometry().size());
    window->move(screen->geometry().center() - outer.center());
}

} // namespace Kit
