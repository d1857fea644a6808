#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>

class QWidget;

// A window's hover help: one help box (a label, line edit or text box) that explains the control
// under the mouse pointer.
//
// - Over a control given a text (showOver), the box shows that text and comes into view.
// - Over a control or a background given an Off rule, the box hides, empties, or both.
//   A control's rule covers its own area, not the controls inside it (a frame's own area, not
//   its option buttons); a text box's rule covers its viewport as well.
// - A background is the bare area of a widget, where no control lies under the pointer.
// - Over any other control, and over a disabled one, the box stays as it is.
class HoverHelp : public QObject
{
    Q_OBJECT
public:
    enum class Off {
        Hide,         // out of view, text kept
        Empty,        // text emptied, the box stays in view (a help line)
        HideAndEmpty, // out of view and emptied
    };

    // The help belongs to the box's window and ends with it.
    explicit HoverHelp(QWidget *box);

    void showOver(QWidget *control, const QString &text);
    void turnOffOver(QWidget *control, Off how);
    void turnOffOverBackground(QWidget *area, Off how);

    // What the help shows over `control`: its text, empty when it has none.
    QString textOver(const QWidget *control) const;

    // The box shows `text` / is turned off, whatever lies under the pointer.
    void show(const QString &text);
    void turnOff(Off how);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Rule
    {
        QWidget *control = nullptr; // whose enabled state counts
        bool shows = false;
        QString text;
        Off off = Off::Hide;
    };

    void watch(QWidget *widget, const Rule &rule);
    // The pointer is over `under`, which is not a bare background.
    void pointerOver(QWidget *under);

    QPointer<QWidget> m_box;
    QHash<const QWidget *, Rule> m_controls;
    QHash<const QWidget *, Off> m_backgrounds;
};
