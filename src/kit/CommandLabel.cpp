#include "CommandLabel.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMetaMethod>
#include <QPainter>

namespace {

const QColor kDisabledText(128, 128, 128);
const QColor kDisabledShadow(255, 255, 255);
constexpr qreal kSmallestPoints = 5.0;

// What a screen reader sees of a command label: a button named by its caption (without the
// blanks that place it) that can be pressed; a label that runs nothing is plain text.
class CommandLabelAccessible : public QAccessibleWidget
{
public:
    explicit CommandLabelAccessible(CommandLabel *label) : QAccessibleWidget(label, QAccessible::Button) {}

    QAccessible::Role role() const override
    {
        return label()->isCommand() ? QAccessible::Button : QAccessible::StaticText;
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && label()->accessibleName().isEmpty())
            return label()->text().trimmed();
        return QAccessibleWidget::text(t);
    }

    QStringList actionNames() const override
    {
        QStringList names = QAccessibleWidget::actionNames();
        if (label()->isCommand())
            names.prepend(pressAction());
        return names;
    }

    void doAction(const QString &name) override
    {
        if (name == pressAction())
            label()->activate();
        else
            QAccessibleWidget::doAction(name);
    }

private:
    CommandLabel *label() const { return static_cast<CommandLabel *>(widget()); }
};

QAccessibleInterface *commandLabelInterface(const QString &className, QObject *object)
{
    if (className == QLatin1String("CommandLabel") && object && object->isWidgetType())
        return new CommandLabelAccessible(static_cast<CommandLabel *>(object));
    return nullptr;
}

// Where the caption's baseline goes in a box of `height` pixels: at the top as a label draws
// it, moved up where the font's descent would be cut (the same for every caption of the font,
// so that neighbours stay on one line), never so far that the ink's top is cut.
int baselineFor(const QFontMetrics &metrics, const QRect &ink, int height)
{
    return qMax(qMin(metrics.ascent(), height - metrics.descent()), -ink.top());
}

// Whether the caption fits the box in `font`: its ink from the top of its glyphs down to the
// font's descent, and its advance.
bool fits(const QFont &font, const QString &caption, const QSize &box)
{
    const QFontMetrics metrics(font);
    return -metrics.tightBoundingRect(caption).top() + metrics.descent() <= box.height()
           && metrics.horizontalAdvance(caption) <= box.width();
}

} // namespace

CommandLabel::CommandLabel(const QString &caption, const QColor &colour, QWidget *parent)
    : QLabel(caption, parent)
{
    static const bool accessible = [] {
        QAccessible::installFactory(commandLabelInterface);
        return true;
    }();
    (void)accessible;

    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::Disabled, QPalette::WindowText, kDisabledText);
    setPalette(palette);
    setAttribute(Qt::WA_TranslucentBackground);
    setFocusPolicy(Qt::NoFocus);
}

void CommandLabel::activate()
{
    if (isEnabled())
        emit activated();
}

bool CommandLabel::isCommand() const
{
    return isSignalConnected(QMetaMethod::fromSignal(&CommandLabel::activated));
}

void CommandLabel::connectNotify(const QMetaMethod &signal)
{
    if (signal == QMetaMethod::fromSignal(&CommandLabel::activated))
        setFocusPolicy(Qt::TabFocus);
    QLabel::connectNotify(signal);
}

void CommandLabel::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && isEnabled()) {
        event->accept();
        activate();
        return;
    }
    QLabel::mousePressEvent(event);
}

void CommandLabel::mouseDoubleClickEvent(QMouseEvent *event)
{
    // Many users double-click out of habit; the press that began it has run the command already.
    if (event->button() == Qt::LeftButton) {
        event->accept();
        return;
    }
    QLabel::mouseDoubleClickEvent(event);
}

void CommandLabel::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        if (!event->isAutoRepeat()) {
            event->accept();
            activate();
        }
        return;
    default:
        QLabel::keyPressEvent(event);
    }
}

void CommandLabel::focusInEvent(QFocusEvent *event)
{
    // The focus a window hands its first control when it opens, and a click, are not marked:
    // the window looks as it always did until the keyboard is used.
    switch (event->reason()) {
    case Qt::TabFocusReason:
    case Qt::BacktabFocusReason:
    case Qt::ShortcutFocusReason:
    case Qt::OtherFocusReason:
        m_focusShown = true;
        break;
    case Qt::MouseFocusReason:
        m_focusShown = false;
        break;
    default:
        break;
    }
    QLabel::focusInEvent(event);
    update();
}

void CommandLabel::focusOutEvent(QFocusEvent *event)
{
    QLabel::focusOutEvent(event);
    update();
}

QFont CommandLabel::fittedFont() const
{
    QFont font = this->font();
    const QString caption = text();
    while (font.pointSizeF() > kSmallestPoints && !fits(font, caption, size()))
        font.setPointSizeF(font.pointSizeF() - 0.25);
    return font;
}

void CommandLabel::paintEvent(QPaintEvent *)
{
    const QString caption = text();
    QPainter painter(this);
    const QFont font = fittedFont();
    painter.setFont(font);
    const QFontMetrics metrics(font);
    const QRect ink = metrics.tightBoundingRect(caption);
    const QPoint origin(0, baselineFor(metrics, ink, height()));
    const QColor colour = palette().color(QPalette::Normal, QPalette::WindowText);
    if (isEnabled()) {
        painter.setPen(colour);
        painter.drawText(origin, caption);
    } else {
        // Engraved grey, as disabled captions have always looked: plainly not the live colour.
        painter.setPen(kDisabledShadow);
        painter.drawText(origin + QPoint(1, 1), caption);
        painter.setPen(kDisabledText);
        painter.drawText(origin, caption);
    }
    if (m_focusShown && hasFocus()) {
        QPen pen(colour, 1, Qt::DotLine);
        pen.setCosmetic(true);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        const QRect around = ink.translated(origin).adjusted(-2, -2, 2, 2) & rect().adjusted(0, 0, -1, -1);
        painter.drawRect(around);
    }
}
