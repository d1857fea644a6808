#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The POP3 account dialog: ID and password, optionally saved to iniIdPass.ini.
class IdPassForm : public QWidget
{
    Q_OBJECT
public:
    explicit IdPassForm(QWidget *parent = nullptr);

    QLabel *Label1;
    QLineEdit *IdText;
    QLabel *Label2_0;
    QLineEdit *PassText;
    QCheckBox *Check1;
    QLabel *Label2_1;
    QPushButton *OkCommand;
    QPushButton *CancelCommand;
    QLabel *SaveNote; // that only saved values are used

    void ok();
    // What the user reads when the ID and password could not be saved to `file`.
    static QString saveFailureText(const QString &file);

protected:
    void keyPressEvent(QKeyEvent *event) override;
};
