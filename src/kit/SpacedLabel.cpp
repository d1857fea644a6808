#include "SpacedLabel.h"

#include <QPainter>
#include <QRegularExpression>
#include <QStyle>

SpacedLabel::SpacedLabel(const QString &text, QWidget *parent) : QLabel(text, parent)
{
    setWordWrap(true);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

QString SpacedLabel::shownText() const
{
    QString shown = text();
    shown.remove(QRegularExpression(QStringLiteral("^\u3000{2,}")));
    shown.replace(QRegularExpression(QStringLiteral("\u3000{2,}")), QStringLiteral("\n"));
    return shown;
}

void SpacedLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    style()->drawItemText(&painter, contentsRect(), int(alignment()) | Qt::TextWordWrap, palette(), isEnabled(),
                          shownText(), foregroundRole());
}
