#include "TyakuForm.h"

TyakuForm::TyakuForm(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("TyakuForm"));
}

void TyakuForm::OpenHistory(int) {}
