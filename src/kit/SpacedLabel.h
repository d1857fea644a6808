#pragma once

#include <QLabel>

// A word-wrapped label whose text lays itself out with runs of ideographic spaces (U+3000): a
// run of two or more ends a line, as the text's author meant it, instead of filling a line at
// whatever width this font gives. A run at the very start is dropped. text() stays the text as
// written; only the drawing differs.
class SpacedLabel : public QLabel
{
    Q_OBJECT
public:
    SpacedLabel(const QString &text, QWidget *parent);

    // The text as it is drawn.
    QString shownText() const;

protected:
    void paintEvent(QPaintEvent *event) override;
};
