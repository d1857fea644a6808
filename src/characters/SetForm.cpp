#include "SetForm.h"

SetForm::SetForm(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("SetForm"));
}

void SetForm::LoadDogChoice(int) {}
void SetForm::SaveDogChoice() {}
bool SetForm::isTicked(int) const { return false; }
void SetForm::setTicked(int, bool) {}
