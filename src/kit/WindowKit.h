#pragma once

#include <QAnyStringView>
#include <QRect>
#include <QRectF>
#include <QSize>

class QCheckBox;
class QLabel;
class QLineEdit;
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

// Moves a top-level window so that its middle lies on the middle of its screen's area for
// windows (inside it), and once more when the window manager has put its frame around it (the
// frame is unknown before).
void centreOnScreen(QWidget *window);

// Shows a window, or brings it to the front with the keyboard focus when it is open already.
void bringToFront(QWidget *window);

// Puts window `shown` at `hidden`'s top-left corner (moved no further than it takes to keep it
// on the screen), shows it and hides `hidden`. A centring still waiting for `shown`'s frame is
// dropped: the window now belongs where it was put.
void swapForms(QWidget *shown, QWidget *hidden);

// Each time the window is shown, wherever it was put (by the program, by the window manager next
// to another window), it is moved as far as it takes to lie inside the screen's area for windows.
void keepOnScreenWhenShown(QWidget *window);

// A window of a fixed client size whose title bar offers a close box only.
void fixWindow(QWidget *window, const QSize &client, bool dialog);

// `caption` is the label that names `control`: a screen reader reads its text (without the
// access-key mark) as the control's name, and its access key moves the focus to the control.
void captionFor(QWidget *control, QLabel *caption);

// A box for text that is ASCII by nature (IDs, server names, mail addresses): the input method
// stays off, so "taro" is not turned into kana.
void asciiOnly(QLineEdit *box);

// A box that shows a value written by the program from its first character, not its end.
void showFromStart(QLineEdit *box);

// A password box that shows every character as "*".
void starPassword(QLineEdit *box);

// A bare check box whose box is `pixels` square at every scale.
void indicatorSize(QCheckBox *box, int pixels);

// Grows `caption` (a label, check box or button) to the right and down where its text needs
// more room than its box, never shrinking it.
void fitCaption(QWidget *caption);

// Draws `label`'s text smaller where it is wider than `pixels`, so that it keeps clear of what
// stands beside it.
void narrowText(QLabel *label, int pixels);

// The smallest size of a sizable window: what its controls placed at fixed points need.
void keepControlsInside(QWidget *window, QWidget *area, const QSize &margin = QSize(8, 8));

// Lets the windows repaint and their timers run (the dogs keep walking, the clock ticks) while
// the program waits for the network on the user-interface thread. Clicks and keys wait until
// the call returns. Does nothing when called again from inside itself.
void keepWindowsAlive();
// True while keepWindowsAlive() runs, that is while a network call waits further down the stack.
bool waitingOnNetwork();

} // namespace Kit
