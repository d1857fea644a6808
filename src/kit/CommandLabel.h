#pragma once

#include <QColor>
#include <QLabel>

// A caption drawn over a window's picture that works as a command. It has a transparent
// background and its text colour, engraved grey while it is disabled; a disabled command does
// nothing. Every way of running the command goes through activate(): the left mouse button,
// Enter or Space while it has the keyboard focus, and a screen reader's "press" action. A double
// click is one click: its second press runs nothing.
//
// A label becomes a command once something connects to activated(): from then on Tab reaches
// it and a screen reader sees a button named by its caption. Without a connection it is a
// plain caption. The text is fitted into the label's box: moved up where the font's descent
// would be cut, and drawn smaller only where its ink does not fit at all.
class CommandLabel : public QLabel
{
    Q_OBJECT
public:
    CommandLabel(const QString &caption, const QColor &colour, QWidget *parent);

    // Runs the command (emits activated) unless the label is disabled.
    void activate();
    // Whether anything runs when the label is activated.
    bool isCommand() const;

    // The font the caption is drawn with: the label's own, or smaller where that does not fit.
    QFont fittedFont() const;

signals:
    void activated();

protected:
    void connectNotify(const QMetaMethod &signal) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    bool m_focusShown = false; // the focus came from the keyboard, so it is marked
};
