#pragma once

#include <QWidget>

// The history window: lists the received or the sent history and shows one mail.
class TyakuForm : public QWidget
{
    Q_OBJECT
public:
    explicit TyakuForm(QWidget *parent = nullptr);

    // mode 1: received history, 2: sent history.
    void OpenHistory(int mode);
};
