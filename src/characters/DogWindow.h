#pragma once

#include <QWidget>

// One dog on the desktop: a frameless, always-on-top window cut to the dog's outline.
class DogWindow : public QWidget
{
    Q_OBJECT
public:
    explicit DogWindow(int formNumber, QWidget *parent = nullptr);

    int formNumber() const { return m_formNumber; }

    // Walk mode runs Timer1 (200 ms) and stops Timer2; kennel mode the other way round.
    void setTimer1Interval(int ms);
    void setTimer2Interval(int ms);

private:
    int m_formNumber;
};
