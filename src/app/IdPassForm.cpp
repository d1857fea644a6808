#include "IdPassForm.h"

#include "app/AccountSettings.h"
#include "kit/WindowKit.h"
#include "platform/ProgramFolder.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

IdPassForm::IdPassForm(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("IdPassForm"));
    setWindowTitle(QStringLiteral("ID,PASS"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(201, 118);

    Label1 = Kit::place(new QLabel(QStringLiteral("ID"), this), "Label1", {8, 12, 40, 16});
    IdText = Kit::place(new QLineEdit(this), "IdText", {64, 8, 109, 18});
    Label2_0 = Kit::place(new QLabel(QStringLiteral("Password"), this), "Label2", {8, 40, 56, 16});
    PassText = Kit::place(new QLineEdit(this), "PassText", {64, 40, 109, 18});
    PassText->setEchoMode(QLineEdit::Password);
    Check1 = Kit::place(new QCheckBox(this), "Check1", {28, 68, 17, 17});
    Label2_1 = Kit::place(new QLabel(QStringLiteral("IDパスワードを保存する"), this), "Label2_1", {52, 68, 125, 17});
    Label2_1->setStyleSheet(QStringLiteral("color: rgb(0, 0, 255);"));
    Label2_1->setBuddy(Check1);
    OkCommand = Kit::place(new QPushButton(QStringLiteral("OK"), this), "OkCommand", {60, 92, 57, 21});
    OkCommand->setDefault(true);
    OkCommand->setAutoDefault(true);
    CancelCommand = Kit::place(new QPushButton(QStringLiteral("Cancel"), this), "CancelCommand", {124, 92, 57, 21});

    setTabOrder(IdText, PassText);
    setTabOrder(PassText, OkCommand);
    setTabOrder(OkCommand, CancelCommand);
    setTabOrder(CancelCommand, Check1);

    connect(OkCommand, &QPushButton::clicked, this, &IdPassForm::ok);
    connect(CancelCommand, &QPushButton::clicked, this, &QWidget::close);

    const QString file = ProgramFolder::idPassIni();
    IdText->setText(IdPassFile::read(file, QStringLiteral("NAME")));
    PassText->setText(IdPassFile::read(file, QStringLiteral("NAME2")));

    Kit::centreOnScreen(this);
}

void IdPassForm::ok()
{
    AccountSettings &settings = AccountSettings::instance();
    settings.AccountId = IdText->text();
    settings.AccountPassword = PassText->text();
    const QString file = ProgramFolder::idPassIni();
    if (Check1->isChecked()) {
        IdPassFile::write(file, QStringLiteral("NAME"), settings.AccountId);
        IdPassFile::write(file, QStringLiteral("NAME2"), settings.AccountPassword);
        IdPassFile::write(file, QStringLiteral("NAME3"), QStringLiteral("1"));
    } else {
        IdPassFile::write(file, QStringLiteral("NAME3"), QStringLiteral("0"));
    }
    close();
}

void IdPassForm::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // Enter presses the button that has the focus, else the default button OK.
        if (auto *button = qobject_cast<QPushButton *>(focusWidget()))
            button->click();
        else
            ok();
        return;
    }
    QWidget::keyPressEvent(event);
}
