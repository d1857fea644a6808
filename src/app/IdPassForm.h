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
    QLabel *SaveNote; // how long values that are not saved are used

    void ok();

    // Asks for the ID and password on behalf of a mail check, which waits for the answer as for a
    // message box (the other windows wait too). True after "OK": the ID and password just
    // confirmed, saved or not, are then the account. False after "Cancel" or the close box.
    static bool askForCheck();

    // What the user reads when the ID and password could not be saved to `file`.
    static QString saveFailureText(const QString &file);

signals:
    void confirmed();

protected:
    void keyPressEvent(QKeyEvent *event) override;
};
