#include "CommandLabel.h"

#include <QMouseEvent>

CommandLabel::CommandLabel(const QString &caption, const QColor &colour, QWidget *parent)
    : QLabel(caption, parent)
{
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::Disabled, QPalette::WindowText, colour.darker(190));
    setPalette(palette);
    setAttribute(Qt::WA_TranslucentBackground);
}

void CommandLabel::activate()
{
    if (isEnabled())
        emit activated();
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
