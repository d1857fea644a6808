#pragma once

#include <QWidget>

#include <array>

class HoverHelp;
class QCheckBox;
class QFrame;
class QLabel;
class QPlainTextEdit;
class QPushButton;

// The dog settings window: the dog selection for new mail and its saved copy CharaData.ini.
// Closing the window only hides it, so the selection (the ten check boxes) lives on.
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

    // Whether a value read from CharaData.ini chooses its dog: it must read as the number 1.
    static bool readsAsChosen(const QString &value);

    QPushButton *Command1, *Command2, *Command3, *Command4, *Command5;
    QLabel *Label7, *Label8, *Label9, *Label10;
    QPlainTextEdit *Text2;
    QFrame *Frame1;
    std::array<QCheckBox *, 11> Check{}; // Check[1] .. Check[10]
    std::array<QLabel *, 11> Image1{};   // by dog number

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void lookAtDogs();

    HoverHelp *m_help;
};
