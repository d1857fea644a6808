#pragma once

#include <QWidget>

class QCheckBox;

// The dog settings window: the dog selection for new mail and its saved copy CharaData.ini.
class SetForm : public QWidget
{
    Q_OBJECT
public:
    explicit SetForm(QWidget *parent = nullptr);

    // Ticks the box of every dog whose key NAME1 .. NAME<keyCount> reads as chosen; never unticks.
    void LoadDogChoice(int keyCount = 10);
    void SaveDogChoice();

    // Check1 .. Check10; box K belongs to dog window FormK.
    bool isTicked(int checkNumber) const;
    void setTicked(int checkNumber, bool ticked);
};
