#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The server dialog: SMTP and POP3 servers, the user's mail address and APOP, saved to petpost.ini.
class OptionForm : public QWidget
{
    Q_OBJECT
public:
    explicit OptionForm(QWidget *parent = nullptr);

    QLabel *Label1, *Label2, *Label3;
    QLineEdit *SmtpText, *Pop3Text, *MailText;
    QCheckBox *ApopCheck;
    QCheckBox *KeepCheck; // leave mail on the server
    QPushButton *OkCommand, *CancelCommand;

    void ok();

protected:
    void keyPressEvent(QKeyEvent *event) override;
};
