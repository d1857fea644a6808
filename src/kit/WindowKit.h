#pragma once

#include <QAnyStringView>
#include <QRect>
#include <QRectF>

class QObject;
class QWidget;

// The small steps every window takes while it builds itself. A control carries the name the
// other windows and the tests know it by as its objectName; its place comes in pixels where the
// window's rules are written in pixels, in twips where they are written in twips.
namespace Kit {

void nameObject(QObject *control, QAnyStringView name);
void placeWidget(QWidget *control, QAnyStringView name, const QRect &pixels);
void placeWidgetInTwips(QWidget *control, QAnyStringView name, const QRectF &twips);

template <class Control>
Control *named(Control *control, QAnyStringView name)
{
    nameObject(control, name);
    return control;
}

// Names the control and places it at a rectangle of its parent, in pixels.
template <class Control>
Control *place(Control *control, QAnyStringView name, const QRect &pixels)
{
    placeWidget(control, name, pixels);
    return control;
}

// Names the control and places it at a rectangle of its parent, in twips, converted with the
// screen's factors of the moment.
template <class Control>
Control *placeInTwips(Control *control, QAnyStringView name, const QRectF &twips)
{
    placeWidgetInTwips(control, name, twips);
    return control;
}

// Moves a top-level window so that its middle lies on the middle of its screen.
void centreOnScreen(QWidget *window);

} // namespace Kit
