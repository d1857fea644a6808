#pragma once

#include "characters/DogWalk.h"
#include "kit/Twips.h"

#include <QImage>
#include <QPoint>
#include <QRegion>
#include <QWidget>

#include <array>

class QTimer;

// One dog on the desktop: a frameless, always-on-top window without a task-bar entry, cut to
// the outline of the frame it shows. It walks over the screen (Timer1) or sits in the kennel in
// the main window's doorway (Timer2), stepping through its two drawings on every tick.
class DogWindow : public QWidget
{
    Q_OBJECT
public:
    explicit DogWindow(int formNumber, QWidget *parent = nullptr);
    ~DogWindow() override;

    int formNumber() const { return m_formNumber; }
    // Form4 is dog 1, Form1 dog 2, Form5 dog 3, Form3 dog 4, Form2 dog 5, Form6..10 dogs 6..10.
    int dogNumber() const;
    // The window title, never displayed.
    static QString titleOf(int formNumber);

    // Walk mode runs Timer1 (200 ms) and stops Timer2; kennel mode the other way round.
    // An interval of 0 stops a timer.
    void setTimer1Interval(int ms);
    void setTimer2Interval(int ms);
    QTimer *Timer1; // walk
    QTimer *Timer2; // kennel

    // The picture of frame slot 0..7 of a dog: 0 and 1 its two drawings facing left, 2 and 3
    // the same mirrored, 4 to 7 repeat 0 to 3.
    static QImage framePicture(int dogNumber, int slot);
    // Every pixel that differs from the top-left pixel, merged into horizontal bands.
    static QRegion BuildOutline(const QImage &picture);

    const QRegion &outline(int slot) const { return m_outlines[size_t(slot)]; }
    // Puts another picture into a frame slot, with its outline (the drawings are assets; a test
    // may give a dog odd ones).
    void setFramePicture(int slot, const QImage &picture);
    int shownSlot() const { return m_slot; }
    const DogWalk &walk() const { return m_walk; }
    // Left and Top in twips.
    QPoint twipsPosition() const;

    // The ticks, also run by tests and benchmarks.
    void walkTick();
    void kennelTick();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void BuildOutlines();
    void moveToTwips(QPoint twips);
    void showFrame(int slot);
    void applyShape(const QRegion &outline);

    int m_formNumber;
    // The screen's twips factors as they were when the dog was made.
    TwipsScale m_scale;
    DogWalk m_walk;
    std::array<QImage, 8> Picture1;
    std::array<QRegion, 8> m_outlines;
    int m_slot = 0;
    bool m_dragging = false;
    QPoint m_dragOffset;
};
