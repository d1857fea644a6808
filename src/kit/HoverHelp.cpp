#include "HoverHelp.h"

#include <QAbstractScrollArea>
#include <QEnterEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace {

QString boxText(const QWidget *box)
{
    if (auto *label = qobject_cast<const QLabel *>(box))
        return label->text();
    if (auto *plain = qobject_cast<const QPlainTextEdit *>(box))
        return plain->toPlainText();
    if (auto *rich = qobject_cast<const QTextEdit *>(box))
        return rich->toPlainText();
    if (auto *line = qobject_cast<const QLineEdit *>(box))
        return line->text();
    return QString();
}

void setBoxText(QWidget *box, const QString &text)
{
    // Rewriting a text box on every pointer move would reset its scroll position for nothing.
    if (boxText(box) == text)
        return;
    if (auto *label = qobject_cast<QLabel *>(box))
        label->setText(text);
    else if (auto *plain = qobject_cast<QPlainTextEdit *>(box))
        plain->setPlainText(text);
    else if (auto *rich = qobject_cast<QTextEdit *>(box))
        rich->setPlainText(text);
    else if (auto *line = qobject_cast<QLineEdit *>(box))
        line->setText(text);
}

} // namespace

HoverHelp::HoverHelp(QWidget *box) : QObject(box->window()), m_box(box)
{
    setObjectName(QStringLiteral("hoverHelp"));
}

void HoverHelp::watch(QWidget *widget, const Rule &rule)
{
    m_controls.insert(widget, rule);
    // Moves reach a widget only when it tracks the mouse; without that they are lost, not passed on.
    widget->setMouseTracking(true);
    widget->installEventFilter(this);
    connect(widget, &QObject::destroyed, this, [this](QObject *gone) {
        m_controls.remove(static_cast<QWidget *>(gone));
    });
}

void HoverHelp::showOver(QWidget *control, const QString &text)
{
    Rule rule;
    rule.control = control;
    rule.shows = true;
    rule.text = text;
    watch(control, rule);
    if (auto *area = qobject_cast<QAbstractScrollArea *>(control))
        watch(area->viewport(), rule);
    // A screen reader reads the same explanation, as the pointer is not its way in.
    if (control->accessibleDescription().isEmpty())
        control->setAccessibleDescription(text);
}

void HoverHelp::turnOffOver(QWidget *control, Off how)
{
    Rule rule;
    rule.control = control;
    rule.off = how;
    watch(control, rule);
    if (auto *area = qobject_cast<QAbstractScrollArea *>(control))
        watch(area->viewport(), rule);
}

void HoverHelp::turnOffOverBackground(QWidget *area, Off how)
{
    m_backgrounds.insert(area, how);
    area->setMouseTracking(true);
    area->installEventFilter(this);
    connect(area, &QObject::destroyed, this, [this](QObject *gone) {
        m_backgrounds.remove(static_cast<QWidget *>(gone));
    });
}

QString HoverHelp::textOver(const QWidget *control) const
{
    const auto rule = m_controls.constFind(control);
    return rule != m_controls.constEnd() && rule->shows ? rule->text : QString();
}

void HoverHelp::show(const QString &text)
{
    if (!m_box)
        return;
    setBoxText(m_box, text);
    if (m_box->isHidden()) {
        m_box->show();
        m_box->raise(); // the box lies over other controls
    }
}

void HoverHelp::turnOff(Off how)
{
    if (!m_box)
        return;
    if (how != Off::Hide)
        setBoxText(m_box, QString());
    if (how != Off::Empty)
        m_box->hide();
}

void HoverHelp::pointerOver(QWidget *under)
{
    const auto rule = m_controls.constFind(under);
    if (rule == m_controls.constEnd() || !rule->control->isEnabled())
        return;
    if (rule->shows)
        show(rule->text);
    else
        turnOff(rule->off);
}

bool HoverHelp::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseMove && type != QEvent::Enter)
        return QObject::eventFilter(watched, event);

    // Only widgets are watched. A move that a control passes on to its parent arrives here again
    // in the parent's coordinates and finds the same control under the pointer.
    auto *widget = static_cast<QWidget *>(watched);
    QWidget *under = widget;
    if (type == QEvent::MouseMove) {
        if (QWidget *child = widget->childAt(static_cast<QMouseEvent *>(event)->position().toPoint()))
            under = child;
    } else if (auto *enter = dynamic_cast<QEnterEvent *>(event)) {
        if (QWidget *child = widget->childAt(enter->position().toPoint()))
            under = child;
    }

    const auto background = m_backgrounds.constFind(widget);
    if (under == widget && background != m_backgrounds.constEnd()) {
        // Entering a window passes over its edge; only a move over the bare area counts.
        if (type == QEvent::MouseMove)
            turnOff(*background);
    } else {
        pointerOver(under);
    }
    return QObject::eventFilter(watched, event);
}
