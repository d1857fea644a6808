#pragma once

#include <QLabel>

class QFontMetrics;

// A word-wrapped label for Japanese text that breaks its lines where the text reads well:
// - a run of two or more ideographic spaces (U+3000) ends a line, as the text's author meant
//   it, instead of filling a line at whatever width this font gives; a run at the very start
//   is dropped;
// - a line that is too long breaks after its last "。" or "、" in its second half, and only
//   where there is none anywhere that fits, never before closing punctuation.
// text() stays the text as written; only the drawing differs.
class WrappingLabel : public QLabel
{
    Q_OBJECT
public:
    WrappingLabel(const QString &text, QWidget *parent);

    // The text as it is drawn in `width` pixels, one line per line.
    QStringList shownLines(int width) const;
    static QStringList wrap(const QString &text, const QFontMetrics &metrics, int width);

protected:
    void paintEvent(QPaintEvent *event) override;
};
