#include "app/AccountSettings.h"
#include "app/Forms.h"
#include "app/IdPassForm.h"
#include "app/OptionForm.h"
#include "platform/Cp932.h"
#include "platform/ProgramFolder.h"
#include "receive/StoredMails.h"

#include "ScriptedPrompter.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class Dialogs : public testing::Test
{
protected:
    void SetUp() override { AccountSettings::instance() = AccountSettings(); }
    void TearDown() override
    {
        Forms::destroyAll();
        AccountSettings::instance() = AccountSettings();
    }

    QByteArray idPassBytes() const { return folder.read(QStringLiteral("★MailData/iniIdPass.ini")); }

    TempProgramFolder folder;
    ScriptedPrompter prompter;
};

void typeInto(IdPassForm *form, const QString &id, const QString &password, bool save)
{
    form->IdText->setText(id);
    form->PassText->setText(password);
    form->Check1->setChecked(save);
}

// The widgets that Tab visits, starting at `first`.
QList<QWidget *> tabChain(QWidget *first, int length)
{
    QList<QWidget *> chain{first};
    for (QWidget *w = first->nextInFocusChain(); chain.size() < length && w != first; w = w->nextInFocusChain()) {
        if (w->focusPolicy() & Qt::TabFocus)
            chain << w;
    }
    return chain;
}

} // namespace

TEST_F(Dialogs, IdPassSavedWithBoxTickedIsPrivateAndReloads)
{
    IdPassForm *form = Forms::idPassForm();
    EXPECT_EQ(form->windowTitle(), QStringLiteral("ID,PASS"));
    EXPECT_TRUE(form->IdText->text().isEmpty());
    EXPECT_EQ(form->PassText->echoMode(), QLineEdit::Password);
    typeInto(form, QStringLiteral("taro"), QStringLiteral("pa ss  "), true);
    form->OkCommand->click();

    EXPECT_EQ(AccountSettings::instance().AccountId, QStringLiteral("taro"));
    EXPECT_EQ(AccountSettings::instance().AccountPassword, QStringLiteral("pa ss  "));
    const QString path = ProgramFolder::idPassIni();
    EXPECT_EQ(QFile::permissions(path) & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
              QFile::Permissions());
    // The INI reader takes values without surrounding blanks, so trailing blanks of a password
    // survive only in the file itself.
    EXPECT_EQ(idPassBytes(), QByteArray("[EXEINI]\r\nNAME=taro\r\nNAME2=pa ss  \r\nNAME3=1\r\n"));

    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    IdPassForm *again = Forms::idPassForm();
    EXPECT_EQ(again->IdText->text(), QStringLiteral("taro"));
    EXPECT_FALSE(again->Check1->isChecked());
}

TEST_F(Dialogs, IdPassUntickedKeepsEarlierSavedAccount)
{
    IdPassForm *form = Forms::idPassForm();
    typeInto(form, QStringLiteral("taro"), QStringLiteral("one"), true);
    form->ok();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    form = Forms::idPassForm();
    typeInto(form, QStringLiteral("ｊｉｒｏ"), QStringLiteral("two"), false); // a full-width keyboard
    form->ok();
    EXPECT_EQ(AccountSettings::instance().AccountId, QStringLiteral("jiro"));
    EXPECT_EQ(idPassBytes(), QByteArray("[EXEINI]\r\nNAME=taro\r\nNAME2=one\r\nNAME3=0\r\n"));
    EXPECT_EQ(IdPassFile::read(ProgramFolder::idPassIni(), QStringLiteral("NAME")), QStringLiteral("taro"));
    // Not saved, but the account of this run: the dialog shows it again, receiving and sending use it.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(Forms::idPassForm()->IdText->text(), QStringLiteral("jiro"));
    EXPECT_EQ(IdPassFile::smtpCredentials().password, QByteArray("two"));
}

TEST_F(Dialogs, IdPassCancelChangesNothingAndTabOrderFollowsTheForm)
{
    IdPassForm *form = Forms::idPassForm();
    EXPECT_EQ(tabChain(form->IdText, 5),
              (QList<QWidget *>{form->IdText, form->PassText, form->OkCommand, form->CancelCommand, form->Check1}));
    typeInto(form, QStringLiteral("x"), QStringLiteral("y"), true);
    form->CancelCommand->click();
    EXPECT_TRUE(AccountSettings::instance().AccountId.isEmpty());
    EXPECT_TRUE(idPassBytes().isEmpty());
}

TEST_F(Dialogs, IdPassEnterConfirmsAndEscapeCancels)
{
    IdPassForm *form = Forms::idPassForm();
    typeInto(form, QStringLiteral("taro"), QStringLiteral("secret"), false);
    form->show();
    form->PassText->setFocus();
    QTest::keyClick(form->PassText, Qt::Key_Return);
    EXPECT_EQ(AccountSettings::instance().AccountId, QStringLiteral("taro"));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    AccountSettings::instance() = AccountSettings();
    form = Forms::idPassForm();
    typeInto(form, QStringLiteral("jiro"), QStringLiteral("x"), false);
    form->show();
    form->CancelCommand->setFocus();
    QTest::keyClick(form->CancelCommand, Qt::Key_Return);
    EXPECT_TRUE(AccountSettings::instance().AccountId.isEmpty());
    EXPECT_TRUE(form->isHidden());
}

TEST_F(Dialogs, IdPassThatCannotBeSavedSaysSoAndStillTakesEffect)
{
    QDir(folder.file(QStringLiteral("★MailData"))).removeRecursively();
    IdPassForm *form = Forms::idPassForm();
    typeInto(form, QStringLiteral("taro"), QStringLiteral("secret"), false);
    form->ok(); // nothing was to be saved: nothing to say
    EXPECT_TRUE(prompter.messages.empty());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    form = Forms::idPassForm();
    typeInto(form, QStringLiteral("taro"), QStringLiteral("secret"), true);
    form->ok();
    EXPECT_EQ(AccountSettings::instance().AccountPassword, QStringLiteral("secret"));
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text, IdPassForm::saveFailureText(ProgramFolder::idPassIni()));
    EXPECT_FALSE(prompter.messages[0].text.contains(QStringLiteral("secret")));
    EXPECT_FALSE(QDir(folder.file(QStringLiteral("★MailData"))).exists());
}

TEST_F(Dialogs, FixedDialogsLookAsDesigned)
{
    IdPassForm *idPass = Forms::idPassForm();
    OptionForm *option = Forms::optionForm();
    for (QWidget *dialog : {static_cast<QWidget *>(idPass), static_cast<QWidget *>(option)}) {
        SCOPED_TRACE(dialog->objectName().toStdString());
        // A close box only: a window manager shows every button unless told which.
        EXPECT_TRUE(dialog->windowFlags() & Qt::CustomizeWindowHint);
        EXPECT_TRUE(dialog->windowFlags() & Qt::WindowCloseButtonHint);
        EXPECT_FALSE(dialog->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
        EXPECT_EQ(dialog->minimumSize(), dialog->maximumSize());
        // Every caption shows whole.
        for (QWidget *caption : dialog->findChildren<QWidget *>()) {
            if (!caption->inherits("QLabel") && !caption->inherits("QAbstractButton"))
                continue;
            if (auto *label = qobject_cast<QLabel *>(caption); label && label->wordWrap())
                continue;
            for (const QString &line : caption->property("text").toString().remove(u'&').split(u'\n'))
                EXPECT_GE(caption->width(), caption->fontMetrics().horizontalAdvance(line))
                    << caption->objectName().toStdString();
        }
    }
    EXPECT_TRUE(option->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(idPass->width(), 201);
    EXPECT_EQ(idPass->Check1->geometry(), QRect(28, 68, 17, 17));
    EXPECT_EQ(idPass->Check1->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, idPass->Check1), 17);
    idPass->PassText->setText(QStringLiteral("abc"));
    EXPECT_EQ(idPass->PassText->displayText(), QStringLiteral("***"));
    // "Password" keeps clear of its box.
    EXPECT_LE(idPass->Label2_0->x() + idPass->Label2_0->fontMetrics().horizontalAdvance(idPass->Label2_0->text()) + 4,
              idPass->PassText->x());
    EXPECT_EQ(option->ApopCheck->geometry(), QRect(44, 136, 145, 17));
    // The dialog tells how long values that are not saved are used.
    EXPECT_TRUE(idPass->SaveNote->isVisibleTo(idPass));
    EXPECT_LE(idPass->SaveNote->geometry().bottom(), idPass->height());
}

TEST_F(Dialogs, OptionFormLoadsSavesAndStaysOnTop)
{
    AccountSettings::instance().SmtpServer = QStringLiteral("smtp.old");
    AccountSettings::instance().UseApop = 1;
    OptionForm *form = Forms::optionForm();
    EXPECT_EQ(form->windowTitle(), QStringLiteral("サーバー設定"));
    EXPECT_TRUE(form->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(form->SmtpText->text(), QStringLiteral("smtp.old"));
    EXPECT_TRUE(form->ApopCheck->isChecked());
    EXPECT_EQ(tabChain(form->SmtpText, 7),
              (QList<QWidget *>{form->SmtpText, form->Pop3Text, form->ApopCheck, form->KeepCheck, form->OkCommand,
                                form->CancelCommand, form->MailText}));
    EXPECT_FALSE(form->KeepCheck->isChecked());

    form->SmtpText->setText(QStringLiteral("smtp.example.jp"));
    form->Pop3Text->setText(QStringLiteral("pop.example.jp:995"));
    form->MailText->setText(QStringLiteral("taro@example.jp"));
    form->ApopCheck->setChecked(true);
    form->OkCommand->click();

    EXPECT_EQ(folder.read(QStringLiteral("petpost.ini")),
              QByteArray("SMTP=smtp.example.jp\r\nPOP3=pop.example.jp:995\r\nMAIL=taro@example.jp\r\nAPOP=1\r\n"));
    EXPECT_EQ(AccountSettings::instance().Pop3Server, QStringLiteral("pop.example.jp:995"));
    EXPECT_EQ(AccountSettings::instance().UseApop, 1);

    // Leaving mail on the server is one more line, which older copies of the program pass over.
    form = Forms::optionForm();
    EXPECT_EQ(form->KeepCheck->text(), QStringLiteral("サーバーにメールを残す"));
    form->KeepCheck->setChecked(true);
    form->OkCommand->click();
    EXPECT_EQ(folder.read(QStringLiteral("petpost.ini")),
              QByteArray("SMTP=smtp.example.jp\r\nPOP3=pop.example.jp:995\r\nMAIL=taro@example.jp\r\nAPOP=1\r\nKEEP=1\r\n"));
    AccountSettings reread;
    Petpost::load(folder.file(QStringLiteral("petpost.ini")), reread);
    EXPECT_TRUE(reread.LeaveOnServer);
}

TEST_F(Dialogs, OptionFormCancelLeavesSettingsAndFileAlone)
{
    folder.write(QStringLiteral("petpost.ini"), "POP3=keep\r\n");
    AccountSettings::instance().Pop3Server = QStringLiteral("keep");
    OptionForm *form = Forms::optionForm();
    form->SmtpText->setText(QStringLiteral("changed"));
    form->Pop3Text->setText(QStringLiteral("changed"));
    form->MailText->setText(QStringLiteral("changed"));
    form->ApopCheck->setChecked(true);
    form->CancelCommand->click();
    EXPECT_EQ(AccountSettings::instance().Pop3Server, QStringLiteral("keep"));
    EXPECT_TRUE(AccountSettings::instance().SmtpServer.isEmpty());
    EXPECT_EQ(folder.read(QStringLiteral("petpost.ini")), QByteArray("POP3=keep\r\n"));
}

TEST_F(Dialogs, OptionFormThatCannotWriteTellsTheUser)
{
    QFile::remove(folder.file(QStringLiteral("petpost.ini")));
    QDir().mkdir(folder.file(QStringLiteral("petpost.ini"))); // a folder where the file should be
    OptionForm *form = Forms::optionForm();
    form->Pop3Text->setText(QStringLiteral("pop.example.jp"));
    form->ok();
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].title, QStringLiteral("Wanderpup"));
    EXPECT_EQ(AccountSettings::instance().Pop3Server, QStringLiteral("pop.example.jp"));
}

TEST_F(Dialogs, FullWidthSettingsAreSavedInAsciiAndWhatCannotBeThereIsNamed)
{
    OptionForm *form = Forms::optionForm();
    form->SmtpText->setText(QStringLiteral("ｓｍｔｐ．ｅｘａｍｐｌｅ．ｊｐ"));
    form->Pop3Text->setText(QStringLiteral("ｐｏｐ３ｓ：／／ｐｏｐ．ｅｘａｍｐｌｅ．ｊｐ"));
    form->MailText->setText(QStringLiteral("ｔａｒｏ＠ｅｘａｍｐｌｅ．ｊｐ"));
    form->OkCommand->click();
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_EQ(folder.read(QStringLiteral("petpost.ini")),
              QByteArray("SMTP=smtp.example.jp\r\nPOP3=pop3s://pop.example.jp\r\nMAIL=taro@example.jp\r\nAPOP=0\r\n"));
    EXPECT_EQ(AccountSettings::instance().MailAddress, QStringLiteral("taro@example.jp"));

    // The dialog stays open on a character no server name has, and says which; a name beside
    // the address keeps its full-width letters.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    form = Forms::optionForm();
    form->Pop3Text->setText(QStringLiteral("pop.example　jp"));
    form->MailText->setText(QStringLiteral("ＡＢＣ　太郎 ＜ｔａｒｏ＠ｅｘａｍｐｌｅ．ｊｐ＞"));
    form->OkCommand->click();
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text, QStringLiteral("「POP3サーバー名」の「pop.example jp」は使えません。\r\n"
                                                        "サーバー名に使えない文字（空白）が含まれています。"));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(Forms::existingOptionForm(), form);
    EXPECT_EQ(AccountSettings::instance().Pop3Server, QStringLiteral("pop3s://pop.example.jp"));
    form->Pop3Text->setText(QStringLiteral("pop.example.jp"));
    form->OkCommand->click();
    EXPECT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(folder.read(QStringLiteral("petpost.ini")),
              Cp932::fromUnicode(QStringLiteral("SMTP=smtp.example.jp\r\nPOP3=pop.example.jp\r\n"
                                                "MAIL=ＡＢＣ　太郎 <taro@example.jp>\r\nAPOP=0\r\n")));
}

TEST_F(Dialogs, UntickingLeaveOnServerAsksFirstWithNoAsTheDefault)
{
    folder.usePetpost(QStringLiteral("SMTP=\r\nPOP3=pop.example.jp\r\nMAIL=\r\nAPOP=0\r\nKEEP=1\r\n"));
    folder.saveAccount(QStringLiteral("taro"), QStringLiteral("secret"));
    StoredMails stored(ProgramFolder::storedMailsRecord(), QStringLiteral("taro@pop.example.jp:110"));
    stored.add("uidl-1", 100);
    stored.add("uidl-2", 200);
    ASSERT_TRUE(stored.save());
    OptionForm *form = Forms::optionForm();
    ASSERT_TRUE(form->KeepCheck->isChecked());

    form->KeepCheck->click(); // answered with the default button
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].buttons, Prompter::Buttons::YesNoDefaultNo);
    EXPECT_TRUE(prompter.messages[0].text.contains(QStringLiteral("次の受信で、サーバーに残してあるメール（このプログラム"
                                                                  "が受信して保存した2通）をサーバーから削除します")))
        << prompter.messages[0].text.toStdString();
    EXPECT_TRUE(form->KeepCheck->isChecked());

    prompter.answers = {Prompter::Yes};
    form->KeepCheck->click();
    EXPECT_FALSE(form->KeepCheck->isChecked());
    form->KeepCheck->click(); // ticking asks nothing
    EXPECT_EQ(prompter.messages.size(), 2u);
    prompter.answers = {Prompter::Yes};
    form->KeepCheck->click();
    EXPECT_EQ(prompter.messages.size(), 3u);
    form->OkCommand->click();
    EXPECT_FALSE(folder.read(QStringLiteral("petpost.ini")).contains("KEEP"));
}
