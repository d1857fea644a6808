#include "OptionForm.h"

#include "app/AccountSettings.h"
#include "app/AutoCheck.h"
#include "app/Autostart.h"
#include "kit/WindowKit.h"
#include "platform/Cp932.h"
#include "platform/Fonts.h"
#include "platform/ProgramFolder.h"
#include "platform/Prompter.h"
#include "receive/StoredMails.h"
#include "transport/ServerAddress.h"
#include "transport/TypedInput.h"

#include <QCheckBox>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

#include <cmath>

namespace {

const QString kBlueText = QStringLiteral("color: rgb(0, 0, 255);");

} // namespace

OptionForm::OptionForm(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("OptionForm"));
    setWindowTitle(QStringLiteral("サーバー設定"));
    // The rows of the automatic check below the server's, the buttons below them.
    constexpr int kMore = 102;
    Kit::fixWindow(this, QSize(209, 231 + kMore), true);
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
    AutoRecvCheck = Kit::place(new QCheckBox(QStringLiteral("自動受信する"), this), "AutoRecvCheck", {44, 176, 145, 17});
    IntervalBox = Kit::place(new QSpinBox(this), "IntervalBox", {64, 196, 45, 20});
    IntervalLabel = Kit::place(new QLabel(QStringLiteral("分ごと"), this), "IntervalLabel", {113, 198, 72, 16});
    StartCheck = Kit::place(new QCheckBox(QStringLiteral("起動時に受信する"), this), "StartCheck", {44, 220, 145, 17});
    NotifyCheck = Kit::place(new QCheckBox(QStringLiteral("通知する"), this), "NotifyCheck", {44, 240, 145, 17});
    LoginCheck = Kit::place(new QCheckBox(QStringLiteral("ログイン時に起動する"), this), "LoginCheck", {44, 260, 145, 17});
    OkCommand = Kit::place(new QPushButton(QStringLiteral("設定"), this), "OkCommand", {44, 188 + kMore, 65, 25});
    CancelCommand = Kit::place(new QPushButton(QStringLiteral("中止"), this), "CancelCommand", {124, 188 + kMore, 61, 25});
    IntervalBox->setRange(1, 120);
    IntervalBox->setValue(10);
    IntervalBox->setAlignment(Qt::AlignRight);
    Kit::captionFor(IntervalBox, IntervalLabel);
    IntervalBox->setAccessibleName(QStringLiteral("自動受信の間隔（分ごと）"));
    if (QLineEdit *edit = IntervalBox->findChild<QLineEdit *>())
        edit->setAccessibleName(IntervalBox->accessibleName()); // where the keyboard is inside the box
    IntervalLabel->setStyleSheet(kBlueText);
    for (QCheckBox *box : {AutoRecvCheck, StartCheck, NotifyCheck, LoginCheck}) {
        box->setStyleSheet(kBlueText);
        Kit::fitCaption(box);
    }
    connect(AutoRecvCheck, &QCheckBox::toggled, IntervalBox, &QWidget::setEnabled);
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
    setTabOrder(KeepCheck, AutoRecvCheck);
    setTabOrder(AutoRecvCheck, IntervalBox);
    setTabOrder(IntervalBox, StartCheck);
    setTabOrder(StartCheck, NotifyCheck);
    setTabOrder(NotifyCheck, LoginCheck);
    setTabOrder(LoginCheck, OkCommand);
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
    AutoRecvCheck->setChecked(settings.AutoCheckMinutes > 0);
    if (settings.AutoCheckMinutes > 0)
        IntervalBox->setValue(int(std::lround(settings.AutoCheckMinutes)));
    IntervalBox->setEnabled(AutoRecvCheck->isChecked());
    StartCheck->setChecked(settings.CheckAtStart);
    NotifyCheck->setChecked(settings.NotifyNewMail);
    LoginCheck->setChecked(Autostart::isOn());

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
    applyAutomaticCheck(settings);
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

void OptionForm::applyAutomaticCheck(AccountSettings &settings)
{
    // A time shorter than the box offers (written into the file) stays while the box is untouched.
    const bool same = settings.AutoCheckMinutes > 0 && IntervalBox->value() == int(std::lround(settings.AutoCheckMinutes));
    settings.AutoCheckMinutes = !AutoRecvCheck->isChecked() ? 0 : same ? settings.AutoCheckMinutes : IntervalBox->value();
    settings.CheckAtStart = StartCheck->isChecked();
    settings.NotifyNewMail = NotifyCheck->isChecked();
    if (LoginCheck->isChecked() != Autostart::isOn() && !Autostart::set(LoginCheck->isChecked())) {
        MsgBox(QStringLiteral("ログイン時に起動する設定（%1）を書き込めませんでした。")
                   .arg(QDir::toNativeSeparators(Autostart::entryPath())),
               Prompter::Buttons::Ok, Prompter::Icon::Exclamation);
    }
    if (AutoCheck *check = AutoCheck::current())
        check->apply();
}

void OptionForm::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}
