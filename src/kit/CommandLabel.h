#pragma once

#include <QColor>
#include <QLabel>

// A caption drawn over a window's picture that works as a command. It has a transparent
// background and its text colour, dimmed while it is disabled; a disabled command does nothing.
// Every way of running the command goes through activate(): today the left mouse button.
class CommandLabel : public QLabel
{
    Q_OBJECT
public:
    CommandLabel(const QString &caption, const QColor &colour, QWidget *parent);

    // Runs the command (emits activated) unless the label is disabled.
    void activate();

signals:
    void activated();

protected:
    void mousePressEvent(QMouseEvent *event) override;
};
