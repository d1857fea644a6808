#include "IdPassForm.h"

#include "app/AccountSettings.h"
#include "app/Forms.h"
#include "kit/WindowKit.h"
#include "platform/Fonts.h"
#include "platform/ProgramFolder.h"
#include "platform/Prompter.h"
#include "transport/TypedInput.h"

#include <QCheckBox>
#include <QDir>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

IdPassForm::IdPassForm(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("IdPassForm"));
    setWindowTitle(QStringLiteral("ID,PASS"));
    setFont(Fonts::proportionalGothic(9));

    Label1 = Kit::place(new QLabel(QStringLiteral("ID"), this), "Label1", {8, 12, 40, 16});
    IdText = Kit::place(new QLineEdit(this), "IdText", {64, 8, 109, 18});
    Label2_0 = Kit::place(new QLabel(QStringLiteral("Password"), this), "Label2", {8, 40, 56, 16});
    Kit::narrowText(Label2_0, 52);
    PassText = Kit::place(new QLineEdit(this), "PassText", {64, 40, 109, 18});
    Kit::starPassword(PassText);
    Check1 = Kit::place(new QCheckBox(this), "Check1", {28, 68, 17, 17});
    Kit::indicatorSize(Check1, 17);
    Label2_1 = Kit::place(new QLabel(QStringLiteral("IDパスワードを保存する"), this), "Label2_1", {52, 68, 125, 17});
    Label2_1->setStyleSheet(QStringLiteral("color: rgb(0, 0, 255);"));
    Kit::fitCaption(Label2_1);
    OkCommand = Kit::place(new QPushButton(QStringLiteral("OK"), this), "OkCommand", {60, 92, 57, 21});
    OkCommand->setDefault(true);
    OkCommand->setAutoDefault(true);
    CancelCommand = Kit::place(new QPushButton(QStringLiteral("Cancel"), this), "CancelCommand", {124, 92, 57, 21});
    // What the box decides, said where the choice is made.
    SaveNote = Kit::place(new QLabel(QStringLiteral("保存しないときは、このプログラムを\n終了するまで使われます。"), this),
                          "SaveNote", {8, 118, 185, 0});
    Kit::fitCaption(SaveNote);

    Kit::captionFor(IdText, Label1);
    Kit::captionFor(PassText, Label2_0);
    Kit::captionFor(Check1, Label2_1);
    Kit::asciiOnly(IdText);
    Kit::asciiOnly(PassText);
    Kit::fixWindow(this, QSize(201, SaveNote->geometry().bottom() + 1 + 6), true);

    setTabOrder(IdText, PassText);
    setTabOrder(PassText, OkCommand);
    setTabOrder(OkCommand, CancelCommand);
    setTabOrder(CancelCommand, Check1);

    connect(OkCommand, &QPushButton::clicked, this, &IdPassForm::ok);
    connect(CancelCommand, &QPushButton::clicked, this, &QWidget::close);

    // The account in use: what was confirmed in this run is shown again, not the older saved one.
    const IdPassFile::Account account = IdPassFile::account();
    IdText->setText(account.id);
    PassText->setText(account.password);

    Kit::centreOnScreen(this);
}

void IdPassForm::ok()
{
    // An ID typed on a full-width keyboard is meant in ASCII.
    IdText->setText(TypedInput::narrowed(IdText->text()));
    AccountSettings &settings = AccountSettings::instance();
    settings.AccountId = IdText->text();
    settings.AccountPassword = PassText->text();
    settings.AccountConfirmed = true;
    const QString file = ProgramFolder::idPassIni();
    if (Check1->isChecked()) {
        const bool saved = IdPassFile::write(file, QStringLiteral("NAME"), settings.AccountId)
                           && IdPassFile::write(file, QStringLiteral("NAME2"), settings.AccountPassword)
                           && IdPassFile::write(file, QStringLiteral("NAME3"), QStringLiteral("1"));
        if (!saved)
            MsgBox(saveFailureText(file), Prompter::Buttons::Ok, Prompter::Icon::Exclamation);
    } else {
        IdPassFile::write(file, QStringLiteral("NAME3"), QStringLiteral("0"));
    }
    emit confirmed();
    close();
}

bool IdPassForm::askForCheck()
{
    const QPointer<IdPassForm> form = Forms::idPassForm();
    // Modality takes effect when a window is shown.
    form->hide();
    form->setWindowModality(Qt::ApplicationModal);
    QEventLoop wait;
    bool answered = false;
    connect(form, &IdPassForm::confirmed, &wait, [&answered, &wait] {
        answered = true;
        wait.quit();
    });
    // Closed in any other way, the dialog is gone (it is destroyed when it closes).
    connect(form, &QObject::destroyed, &wait, &QEventLoop::quit);
    Kit::bringToFront(form);
    wait.exec();
    if (form) {
        form->setWindowModality(Qt::NonModal);
        form->close();
    }
    return answered;
}

QString IdPassForm::saveFailureText(const QString &file)
{
    return QStringLiteral("IDとパスワードを保存できませんでした。\r\n%1\r\n"
                          "受信には保存したIDとパスワードが使われるため、このままでは受信できません。"
                          "★MailDataフォルダがあり、書き込めることを確かめてから、もう一度保存して下さい。")
        .arg(QDir::toNativeSeparators(file));
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
