#include "DogWindow.h"

DogWindow::DogWindow(int formNumber, QWidget *parent) : QWidget(parent), m_formNumber(formNumber)
{
    setObjectName(QStringLiteral("Form%1").arg(formNumber));
}

void DogWindow::setTimer1Interval(int) {}
void DogWindow::setTimer2Interval(int) {}
