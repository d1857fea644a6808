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

private:
    // Takes what was typed into the three boxes as the mail needs it; false (the user told why)
    // when a box holds what cannot be a server or an address.
    bool takeTypedText();
    // Unticking "サーバーにメールを残す" asks first: the next check deletes what was left there.
    void keepClicked(bool checked);
};
