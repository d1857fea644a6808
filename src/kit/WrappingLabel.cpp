#include "WrappingLabel.h"

#include <QPainter>
#include <QRegularExpression>
#include <QStyle>

namespace {

bool endsPhrase(QChar c)
{
    return c == u'。' || c == u'、';
}

bool mayNotStartALine(QChar c)
{
    return QStringView(u"。、）」』，．！？ー").contains(c);
}

bool mayNotEndALine(QChar c)
{
    return QStringView(u"（「『").contains(c);
}

// How many characters of `text` go on the next line of `width` pixels.
qsizetype nextLineLength(const QString &text, const QFontMetrics &metrics, int width)
{
    qsizetype fitting = 0;
    while (fitting < text.size() && metrics.horizontalAdvance(text.left(fitting + 1)) <= width)
        ++fitting;
    if (fitting == text.size())
        return fitting;
    for (qsizetype end = fitting; end > fitting / 2; --end)
        if (endsPhrase(text[end - 1]))
            return end;
    qsizetype end = fitting;
    while (end > 1 && (mayNotStartALine(text[end]) || mayNotEndALine(text[end - 1])))
        --end;
    return qMax<qsizetype>(end, 1);
}

} // namespace

WrappingLabel::WrappingLabel(const QString &text, QWidget *parent) : QLabel(text, parent)
{
    setWordWrap(true);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

QStringList WrappingLabel::wrap(const QString &text, const QFontMetrics &metrics, int width)
{
    QString spaced = text;
    spaced.remove(QRegularExpression(QStringLiteral("^\u3000{2,}")));
    QStringList lines;
    for (QString rest : spaced.split(QRegularExpression(QStringLiteral("\u3000{2,}")))) {
        do {
            const qsizetype length = nextLineLength(rest, metrics, width);
            lines << rest.left(length);
            rest = rest.mid(length);
        } while (!rest.isEmpty());
    }
    return lines;
}

QStringList WrappingLabel::shownLines(int width) const
{
    return wrap(text(), fontMetrics(), width);
}

void WrappingLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect area = contentsRect();
    // A little room to spare: on a denser screen the same font may lay out a little wider, and
    // Qt's own wrapping then still keeps every character in view.
    const QString shown = shownLines(int(area.width() / 1.04)).join(u'\n');
    style()->drawItemText(&painter, area, int(alignment()) | Qt::TextWordWrap, palette(), isEnabled(), shown,
                          foregroundRole());
}
