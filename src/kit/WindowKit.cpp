#include "WindowKit.h"

#include "kit/Twips.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProxyStyle>
#include <QRegularExpression>
#include <QScreen>
#include <QThread>
#include <QWidget>

#include <functional>

namespace {

// The screen a window is mostly on; the one it belongs to before it has a place.
const QScreen *screenOf(const QWidget *window)
{
    if (const QScreen *screen = QGuiApplication::screenAt(window->frameGeometry().center()))
        return screen;
    return window->screen() ? window->screen() : QGuiApplication::primaryScreen();
}

// Moves a window, frame included, inside the screen's area for windows (the desktop without its
// panels). A window larger than that area keeps its top-left corner, and so its title bar, on it.
void bringInside(QWidget *window)
{
    const QScreen *screen = screenOf(window);
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const QRect frame = window->frameGeometry();
    const int x = qMax(area.left(), qMin(frame.left(), area.right() + 1 - frame.width()));
    const int y = qMax(area.top(), qMin(frame.top(), area.bottom() + 1 - frame.height()));
    if (x != frame.left() || y != frame.top())
        window->move(x, y);
}

void centreNow(QWidget *window)
{
    const QScreen *screen = window->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    // Before the window is first shown its frame is not known yet and is its client area.
    const QRect outer(QPoint(0, 0), window->frameGeometry().size());
    window->move(screen->availableGeometry().center() - outer.center());
    bringInside(window);
}

// Whether the window manager has put its frame around a window (before, the frame is the window).
bool framed(const QWidget *window)
{
    return window->frameGeometry().size() != window->size();
}

// Watches the events of the window it belongs to, found again by its name.
class WindowWatch : public QObject
{
public:
    WindowWatch(QWidget *window, const QString &name) : QObject(window)
    {
        setObjectName(name);
        window->installEventFilter(this);
    }
};

// Brings a window inside its screen each time it is shown, and once more when the window manager
// has framed it there (its frame, and where the manager put it, are unknown before).
class OnScreenWhenShown : public WindowWatch
{
public:
    static inline const QString Name = QStringLiteral("onScreenWhenShown");

    explicit OnScreenWhenShown(QWidget *window) : WindowWatch(window, Name) {}

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *window = static_cast<QWidget *>(watched);
        const QEvent::Type type = event->type();
        if (type == QEvent::Show) {
            m_framed = framed(window);
            bringInside(window);
        } else if (!m_framed && (type == QEvent::Move || type == QEvent::Resize) && window->isVisible()
                   && framed(window)) {
            m_framed = true;
            bringInside(window);
        }
        return false;
    }

private:
    bool m_framed = false;
};

// Centres the window once more as soon as its frame is known, then goes.
class CentreWhenFramed : public WindowWatch
{
public:
    static inline const QString Name = QStringLiteral("centreWhenFramed");

    explicit CentreWhenFramed(QWidget *window) : WindowWatch(window, Name) {}

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        const QEvent::Type type = event->type();
        if (type == QEvent::Move || type == QEvent::Show || type == QEvent::Resize) {
            auto *window = static_cast<QWidget *>(watched);
            if (window->isVisible() && framed(window)) {
                window->removeEventFilter(this);
                centreNow(window);
                deleteLater();
            }
        }
        return false;
    }
};

// Per-control looks the application's style does not offer: the password character and the
// size of a check box's box.
class ControlStyle : public QProxyStyle
{
public:
    QChar passwordCharacter;
    int indicatorPixels = 0;

    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter && !passwordCharacter.isNull())
            return passwordCharacter.unicode();
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }

    int pixelMetric(PixelMetric metric, const QStyleOption *option, const QWidget *widget) const override
    {
        if ((metric == PM_IndicatorWidth || metric == PM_IndicatorHeight) && indicatorPixels > 0)
            return indicatorPixels;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

// Changes the control's own style and lets the control take the change in.
void restyle(QWidget *control, const std::function<void(ControlStyle &)> &change)
{
    auto *style = dynamic_cast<ControlStyle *>(control->style());
    if (!style || style->parent() != control) {
        style = new ControlStyle;
        style->setParent(control);
        change(*style);
        control->setStyle(style);
        return;
    }
    change(*style);
    QEvent changed(QEvent::StyleChange);
    QCoreApplication::sendEvent(control, &changed);
}

bool g_waiting = false;

} // namespace

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
    centreNow(window);
    if (!window->findChild<QObject *>(CentreWhenFramed::Name, Qt::FindDirectChildrenOnly))
        new CentreWhenFramed(window);
}

void bringToFront(QWidget *window)
{
    window->show();
    window->raise();
    window->activateWindow();
}

void swapForms(QWidget *shown, QWidget *hidden)
{
    delete shown->findChild<QObject *>(CentreWhenFramed::Name, Qt::FindDirectChildrenOnly);
    shown->move(hidden->pos());
    // The other window may have stood where this one, larger, does not fit (its frame known once
    // it is shown).
    bringInside(shown);
    shown->show();
    bringInside(shown);
    hidden->hide();
}

void keepOnScreenWhenShown(QWidget *window)
{
    if (!window->findChild<QObject *>(OnScreenWhenShown::Name, Qt::FindDirectChildrenOnly))
        new OnScreenWhenShown(window);
}

void fixWindow(QWidget *window, const QSize &client, bool dialog)
{
    // Without CustomizeWindowHint the window manager is asked for every button there is.
    window->setWindowFlags((dialog ? Qt::Dialog : Qt::Window) | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                           | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    window->setFixedSize(client);
}

void captionFor(QWidget *control, QLabel *caption)
{
    caption->setBuddy(control);
    QString name = caption->text();
    name.remove(QRegularExpression(QStringLiteral("\\(&.\\)$")));
    name.remove(u'&');
    control->setAccessibleName(name);
}

void asciiOnly(QLineEdit *box)
{
    box->setAttribute(Qt::WA_InputMethodEnabled, false);
    box->setInputMethodHints(Qt::ImhPreferLatin | Qt::ImhLatinOnly | Qt::ImhNoAutoUppercase
                             | Qt::ImhNoPredictiveText);
}

void showFromStart(QLineEdit *box)
{
    QObject::connect(box, &QLineEdit::textChanged, box, [box] {
        // While the user types, the cursor stays where the user put it.
        if (!box->hasFocus())
            box->setCursorPosition(0);
    });
}

void starPassword(QLineEdit *box)
{
    restyle(box, [](ControlStyle &style) { style.passwordCharacter = u'*'; });
    box->setEchoMode(QLineEdit::Password);
}

void indicatorSize(QCheckBox *box, int pixels)
{
    restyle(box, [pixels](ControlStyle &style) { style.indicatorPixels = pixels; });
    box->updateGeometry();
}

void fitCaption(QWidget *caption)
{
    const QSize hint = caption->sizeHint();
    // A label is its text; a check box or button needs only a line of text's height, however
    // much its style would like around it.
    const int height = qobject_cast<QLabel *>(caption) ? hint.height() : caption->fontMetrics().height();
    caption->resize(qMax(caption->width(), hint.width()), qMax(caption->height(), height));
}

void narrowText(QLabel *label, int pixels)
{
    QFont font = label->font();
    while (QFontMetrics(font).horizontalAdvance(label->text()) > pixels && font.pointSizeF() > 6)
        font.setPointSizeF(font.pointSizeF() - 0.25);
    label->setFont(font);
}

void keepControlsInside(QWidget *window, QWidget *area, const QSize &margin)
{
    const QRect controls = area->childrenRect().translated(area->mapTo(window, QPoint(0, 0)));
    window->setMinimumSize(controls.right() + 1 + margin.width(), controls.bottom() + 1 + margin.height());
}

void keepWindowsAlive()
{
    // A send runs the transport on a worker thread; only the window thread has windows to keep.
    if (QThread::currentThread() != QCoreApplication::instance()->thread())
        return;
    if (g_waiting)
        return;
    g_waiting = true;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    g_waiting = false;
}

bool waitingOnNetwork()
{
    return g_waiting;
}

} // namespace Kit
