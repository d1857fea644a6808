#include "OptionForm.h"

#include "app/AccountSettings.h"
#include "kit/WindowKit.h"
#include "platform/Cp932.h"
#include "platform/Fonts.h"
#include "platform/ProgramFolder.h"
#include "platform/Prompter.h"
#include "receive/StoredMails.h"
#include "transport/ServerAddress.h"
#include "transport/TypedInput.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

const QString kBlueText = QStringLiteral("color: rgb(0, 0, 255);");

} // namespace

OptionForm::OptionForm(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("OptionForm"));
    setWindowTitle(QStringLiteral("サーバー設定"));
    Kit::fixWindow(this, QSize(209, 231), true);
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setFont(Fonts::proportionalGothic(9));

    Label1 = Kit::place(new QLabel(QStringLiteral("SMTPサーバー名(&S)"), this), "Label1", {8, 8, 177, 16});
    SmtpText = Kit::place(new QLineEdit(this), "SmtpText", {8, 24, 177, 18});
    Label2 = Kit::place(new QLabel(QStringLiteral("POP3サーバー名(&P)"), this), "Label2", {8, 48, 177, 16});
    Pop3Text = Kit::place(new QLineEdit(this), "Pop3Text", {8, 64, 177, 18});
    Label3 = Kit::place(new QLabel(QStringLiteral("メールアドレス(&M)"), this), "Label3", {8, 88, 177, 16});
    MailText = Kit::place(new QLineEdit(this), "MailText", {8, 104, 177, 18});
    ApopCheck = Kit::place(new QCheckBox(QStringLiteral("APOP を使用する(&A)"), this), "ApopCheck", {44, 136, 145, 17});
    // One row more than the dialog first had: the buttons moved down to make room.
    KeepCheck = Kit::place(new QCheckBox(QStringLiteral("サーバーにメールを残す"), this), "KeepCheck", {44, 156, 145, 17});
    OkCommand = Kit::place(new QPushButton(QStringLiteral("設定"), this), "OkCommand", {44, 188, 65, 25});
    CancelCommand = Kit::place(new QPushButton(QStringLiteral("中止"), this), "CancelCommand", {124, 188, 61, 25});
    for (QLabel *label : {Label1, Label2, Label3})
        label->setStyleSheet(kBlueText);
    ApopCheck->setStyleSheet(kBlueText);
    KeepCheck->setStyleSheet(kBlueText);
    Kit::captionFor(SmtpText, Label1);
    Kit::captionFor(Pop3Text, Label2);
    Kit::captionFor(MailText, Label3);
    for (QLineEdit *box : {SmtpText, Pop3Text, MailText})
        Kit::asciiOnly(box);
    Kit::fitCaption(ApopCheck);
    Kit::fitCaption(KeepCheck);

    setTabOrder(SmtpText, Pop3Text);
    setTabOrder(Pop3Text, ApopCheck);
    setTabOrder(ApopCheck, KeepCheck);
    setTabOrder(KeepCheck, OkCommand);
    setTabOrder(OkCommand, CancelCommand);
    setTabOrder(CancelCommand, MailText);

    connect(OkCommand, &QPushButton::clicked, this, &OptionForm::ok);
    connect(CancelCommand, &QPushButton::clicked, this, &QWidget::close);
    connect(KeepCheck, &QCheckBox::clicked, this, &OptionForm::keepClicked);

    const AccountSettings &settings = AccountSettings::instance();
    SmtpText->setText(settings.SmtpServer);
    Pop3Text->setText(settings.Pop3Server);
    MailText->setText(settings.MailAddress);
    ApopCheck->setChecked(settings.UseApop != 0);
    KeepCheck->setChecked(settings.LeaveOnServer);

    Kit::centreOnScreen(this);
}

void OptionForm::ok()
{
    if (!takeTypedText())
        return;
    AccountSettings &settings = AccountSettings::instance();
    settings.SmtpServer = SmtpText->text();
    settings.Pop3Server = Pop3Text->text();
    settings.MailAddress = MailText->text();
    settings.UseApop = ApopCheck->isChecked() ? 1 : 0;
    settings.LeaveOnServer = KeepCheck->isChecked();
    if (!Petpost::save(ProgramFolder::petpostIni(), settings)) {
        // The settings still hold for this run; the user learns they were not kept.
        MsgBox(QStringLiteral("設定ファイル petpost.ini に書き込めませんでした。\r\n"
                              "設定はこのプログラムを終了するまで有効です。"),
               Prompter::Buttons::Ok, Prompter::Icon::Exclamation);
    }
    close();
}

bool OptionForm::takeTypedText()
{
    const struct
    {
        QLineEdit *box;
        TypedInput::Checked typed;
    } fields[] = {{SmtpText, TypedInput::server(SmtpText->text(), false)},
                  {Pop3Text, TypedInput::server(Pop3Text->text(), true)},
                  {MailText, TypedInput::addresses(MailText->text(), false)}};
    for (const auto &field : fields)
        field.box->setText(field.typed.text);
    for (const auto &field : fields) {
        if (field.typed.problem.isEmpty())
            continue;
        MsgBox(TypedInput::message(field.box->accessibleName(), field.typed), Prompter::Buttons::Ok,
               Prompter::Icon::Exclamation);
        field.box->setFocus();
        field.box->selectAll();
        return false;
    }
    return true;
}

void OptionForm::keepClicked(bool checked)
{
    const AccountSettings &settings = AccountSettings::instance();
    if (checked || !settings.LeaveOnServer)
        return;
    // The mails this program stored while leaving them there, by the record the check keeps.
    const ServerAddress server = ServerAddress::parse(Cp932::fromUnicode(settings.Pop3Server), true);
    StoredMails stored(ProgramFolder::storedMailsRecord(), IdPassFile::account().id + u'@' + server.display);
    const QString count = stored.load() && stored.count() > 0
                              ? QStringLiteral("（このプログラムが受信して保存した%1通）").arg(stored.count())
                              : QString();
    const int answer = MsgBox(
        QStringLiteral("「サーバーにメールを残す」をやめると、次の受信で、サーバーに残してあるメール%1を"
                       "サーバーから削除します。\r\nほかのプログラムやWebメールでは、それらのメールを読めなくなります。"
                       "\r\nやめますか？")
            .arg(count),
        Prompter::Buttons::YesNoDefaultNo, Prompter::Icon::Question);
    if (answer != Prompter::Yes)
        KeepCheck->setChecked(true);
}

void OptionForm::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}
