#pragma once

#include <QWidget>

class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

// The address book window: registers and deletes the entries of Ppdata20.data and lists them.
class FriendForm : public QWidget
{
    Q_OBJECT
public:
    explicit FriendForm(QWidget *parent = nullptr);
    ~FriendForm() override;

    // Reloads the list and the count from the file (created empty when missing). False when the
    // book could be neither read nor created; the list is then empty.
    bool RefreshAddressList();
    // A row of the list: the address field, two spaces, the name field, both untrimmed.
    static QString rowText(const QString &address, const QString &name);

    // Controls, named as the program's other windows know them.
    QLabel *Label1, *Label2, *Label3;
    QLineEdit *Text2; // name
    QLineEdit *Text4; // mail address
    QPushButton *Command1, *Command2, *Command3, *Command4, *Command5;
    QLineEdit *Text3; // number of entries
    QListWidget *List1;
    QFrame *Picture1;
    QLabel *Label7; // status line
    QLabel *Label5; // the keep-out note beside Command2

private:
    void registerEntry();
    void deleteEntry();
    void pasteAddress();
};
