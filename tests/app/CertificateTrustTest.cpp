// A server certificate no authority vouches for: the real Dovecot and SMTP servers with their
// self-signed certificate and no cacert.pem. The window is the real one, answered by clicks.
#include "MailServers.h"
#include "ScriptedPrompter.h"
#include "app/AccountSettings.h"
#include "app/CertificateForm.h"
#include "app/Forms.h"
#include "app/MainForm.h"
#include "receive/IncomingMail.h"
#include "send/BackForm.h"
#include "transport/MailTransport.h"
#include "transport/TrustStore.h"

#include <QAccessible>
#include <QApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

// Answers each certificate window as it opens, in order (true: trust), and notes what it showed.
class WindowAnswers
{
public:
    struct Seen
    {
        QString heading, reasons, server, subject, fingerprint, trusted;
    };

    explicit WindowAnswers(std::vector<bool> answers) : m_answers(std::move(answers))
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { answer(); });
        m_timer.start(20);
    }

    std::vector<Seen> seen;
    std::function<void(CertificateForm *)> instead; // of pressing a button

private:
    void answer()
    {
        QList<QPointer<CertificateForm>> open;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *form = qobject_cast<CertificateForm *>(w))
                open.append(form);
        for (CertificateForm *form : std::as_const(open)) {
            if (!form || !form->isVisible() || m_handled.contains(form))
                continue;
            m_handled.append(form);
            seen.push_back({form->Heading->text(), form->Reasons->text(), form->ServerText->text(),
                            form->SubjectText->text(), form->FingerprintText->text(),
                            form->TrustedText ? form->TrustedText->text() : QString()});
            if (instead) {
                instead(form);
                return;
            }
            const bool trust = seen.size() <= m_answers.size() && m_answers[seen.size() - 1];
            QTest::mouseClick(trust ? form->TrustCommand : form->CancelCommand, Qt::LeftButton);
        }
    }

    std::vector<bool> m_answers;
    QList<QPointer<QWidget>> m_handled;
    QTimer m_timer;
};

class CertificateTrust : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_servers = new MailServers();
        MailTransport::instance().setTimeout(15000);
    }
    static void TearDownTestSuite()
    {
        delete s_servers;
        s_servers = nullptr;
    }

    void SetUp() override
    {
        ASSERT_TRUE(s_servers->ok()) << s_servers->error().toStdString();
        for (const char *user : {"taro", "hanako"})
            s_servers->clearMails(QString::fromLatin1(user));
        folder.usePetpost(QStringLiteral("SMTP=127.0.0.1:%1\r\nPOP3=127.0.0.1:%2\r\nMAIL=hanako@example.test\r\nAPOP=0\r\n")
                              .arg(s_servers->smtpPort())
                              .arg(s_servers->pop3Port()));
        folder.saveAccount(QStringLiteral("taro"), QStringLiteral("taro-pass-1"));
        IncomingMail::reset();
    }

    void TearDown() override
    {
        Forms::destroyAll();
        AccountSettings::instance() = AccountSettings();
    }

    // The SHA-256 of the certificate the servers present now, as the window shows it.
    static QString serverFingerprint()
    {
        return ServerCertificate::hex(QCryptographicHash::hash(
            MailServers::certificateDer(s_servers->certificateFile()), QCryptographicHash::Sha256));
    }

    void addMail(const QByteArray &subject)
    {
        ASSERT_TRUE(s_servers->addMail(QStringLiteral("taro"), "From: bob@example.org\r\nTo: taro@example.test\r\n"
                                                               "Subject: "
                                                                   + subject + "\r\n\r\nHello.\r\n"));
    }
    int storedMails() const { return int(folder.read(QStringLiteral("★MailData/ppdata2.data")).size() / 32284); }
    QByteArray trustFile() const { return folder.read(QStringLiteral("★MailData/trustedcerts.txt")); }
    QString popServer() const { return QStringLiteral("127.0.0.1:%1").arg(s_servers->pop3Port()); }
    static QString logins(const QString &log) { return QString::number(log.count(QStringLiteral("Login: user=<"))); }

    static MailServers *s_servers;
    TempProgramFolder folder;
    ScriptedPrompter prompter;
};

MailServers *CertificateTrust::s_servers = nullptr;

} // namespace

TEST_F(CertificateTrust, FirstContactAsksBeforeTheLoginAndTrustingFetchesInTheSameClick)
{
    addMail("first");
    const QString fingerprint = serverFingerprint();
    {
        // "中止": nothing is stored, nothing logs in, no second message.
        WindowAnswers answers({false});
        const qsizetype logBefore = s_servers->dovecotLog().size();
        Forms::mainForm()->receiveCommand();
        ASSERT_EQ(answers.seen.size(), 1u);
        const WindowAnswers::Seen &seen = answers.seen[0];
        EXPECT_EQ(seen.server, popServer());
        EXPECT_EQ(seen.fingerprint, fingerprint);
        EXPECT_EQ(seen.subject, QStringLiteral("CN=localhost"));
        EXPECT_TRUE(seen.reasons.contains(QStringLiteral("認証局"))) << seen.reasons.toStdString();
        EXPECT_TRUE(seen.trusted.isEmpty());
        EXPECT_TRUE(prompter.messages.empty()) << prompter.messages[0].text.toStdString();
        EXPECT_TRUE(trustFile().isEmpty());
        EXPECT_EQ(s_servers->mailCount(QStringLiteral("taro")), 1);
        EXPECT_EQ(logins(s_servers->dovecotLog().mid(logBefore)), QStringLiteral("0"));
        EXPECT_NE(Forms::mainForm()->Text1->text(), QStringLiteral("新着メール有り。"));
    }
    {
        // The main window goes while the question waits: the check ends, nothing is stored.
        WindowAnswers answers({});
        answers.instead = [](CertificateForm *form) {
            const QPointer<CertificateForm> asked = form;
            delete Forms::existingMainForm();
            EXPECT_TRUE(asked.isNull()); // it belonged to the main window
            if (asked)
                asked->reject();
        };
        QApplication::setActiveWindow(Forms::mainForm());
        Forms::mainForm()->receiveCommand();
        ASSERT_EQ(answers.seen.size(), 1u);
        EXPECT_TRUE(trustFile().isEmpty());
        EXPECT_EQ(s_servers->mailCount(QStringLiteral("taro")), 1);
    }
    {
        // Trusted: the same click logs in and fetches; the decision is in the data folder.
        WindowAnswers answers({true});
        const qsizetype logBefore = s_servers->dovecotLog().size();
        Forms::mainForm()->receiveCommand();
        EXPECT_EQ(logins(s_servers->dovecotLog().mid(logBefore)), QStringLiteral("1"));
        ASSERT_EQ(answers.seen.size(), 1u);
        EXPECT_TRUE(prompter.messages.empty()) << prompter.messages[0].text.toStdString();
        EXPECT_EQ(storedMails(), 1);
        EXPECT_EQ(s_servers->mailCount(QStringLiteral("taro")), 0);
        EXPECT_EQ(Forms::mainForm()->Text1->text(), QStringLiteral("新着メール有り。"));
        const QByteArray pin =
            popServer().toLatin1() + ' ' + fingerprint.toLatin1().replace(":", "").toLower() + " unvouched\r\n";
        EXPECT_EQ(trustFile(), "WanderpupTrust 1\r\n" + pin);
    }
    {
        // The next check asks nothing.
        addMail("second");
        WindowAnswers answers({});
        Forms::mainForm()->receiveCommand();
        EXPECT_TRUE(answers.seen.empty());
        EXPECT_TRUE(prompter.messages.empty()) << prompter.messages[0].text.toStdString();
        EXPECT_EQ(storedMails(), 2);
    }
}

TEST_F(CertificateTrust, ChangedCertificateStopsBeforeTheLoginAndIsNeverTakenSilently)
{
    addMail("after the change");
    {
        WindowAnswers answers({true});
        Forms::mainForm()->receiveCommand();
        ASSERT_EQ(storedMails(), 1);
    }
    const QString old = serverFingerprint();
    ASSERT_FALSE(s_servers->present("self").isEmpty());
    const QString fresh = serverFingerprint();
    ASSERT_NE(old, fresh);
    addMail("second");
    const QByteArray pinned = trustFile();
    const qsizetype logBefore = s_servers->dovecotLog().size();
    {
        WindowAnswers answers({false});
        Forms::mainForm()->receiveCommand();
        ASSERT_EQ(answers.seen.size(), 1u);
        EXPECT_TRUE(answers.seen[0].heading.contains(QStringLiteral("前に信頼した証明書と違います")));
        EXPECT_TRUE(answers.seen[0].reasons.contains(QStringLiteral("割り込んで")));
        EXPECT_EQ(answers.seen[0].trusted, old);
        EXPECT_EQ(answers.seen[0].fingerprint, fresh);
        EXPECT_TRUE(prompter.messages.empty());
        EXPECT_EQ(trustFile(), pinned);
        EXPECT_EQ(storedMails(), 1);
        EXPECT_EQ(s_servers->mailCount(QStringLiteral("taro")), 1);
        EXPECT_EQ(logins(s_servers->dovecotLog().mid(logBefore)), QStringLiteral("0"));
    }
    {
        WindowAnswers answers({true});
        Forms::mainForm()->receiveCommand();
        ASSERT_EQ(answers.seen.size(), 1u);
        EXPECT_EQ(storedMails(), 2);
        EXPECT_TRUE(trustFile().contains(fresh.toLatin1().replace(":", "").toLower()));
        EXPECT_FALSE(trustFile().contains(old.toLatin1().replace(":", "").toLower()));
    }
    {
        // A forged chain (its leaf only names the intermediate sent with it) from the trusted
        // server, its authority trusted too: no window offers to trust it, a box says why.
        const QString root = s_servers->present("forged");
        ASSERT_FALSE(root.isEmpty());
        ASSERT_TRUE(QFile::copy(root, folder.file(QStringLiteral("★MailData/cacert.pem"))));
        addMail("third");
        WindowAnswers answers({true});
        const qsizetype before = s_servers->dovecotLog().size();
        Forms::mainForm()->receiveCommand();
        EXPECT_TRUE(answers.seen.empty());
        ASSERT_EQ(prompter.messages.size(), 1u);
        EXPECT_EQ(prompter.messages[0].title, QStringLiteral("エラー"));
        EXPECT_TRUE(prompter.messages[0].text.contains(QStringLiteral("偽造"))) << prompter.messages[0].text.toStdString();
        EXPECT_EQ(logins(s_servers->dovecotLog().mid(before)), QStringLiteral("0"));
        EXPECT_EQ(storedMails(), 2);
        EXPECT_EQ(s_servers->mailCount(QStringLiteral("taro")), 1);
        ASSERT_FALSE(s_servers->present("self").isEmpty());
    }
}

TEST_F(CertificateTrust, SendAsksOnTheWindowThreadAndSendsInTheSameClick)
{
    auto reply = [](const QString &subject) {
        BackForm *w = Forms::backForm();
        w->ToText->setText(QStringLiteral("taro@example.test"));
        w->SubjectText->setText(subject);
        w->setBodyText(QStringLiteral("本文"));
        return QPointer<BackForm>(w);
    };
    {
        WindowAnswers answers({true});
        QPointer<BackForm> w = reply(QStringLiteral("first"));
        w->Command2->click();
        ASSERT_EQ(answers.seen.size(), 1u);
        EXPECT_EQ(answers.seen[0].server, QStringLiteral("127.0.0.1:%1").arg(s_servers->smtpPort()));
        EXPECT_TRUE(prompter.messages.empty()) << prompter.messages[0].text.toStdString();
        EXPECT_EQ(s_servers->mailCount(QStringLiteral("taro")), 1);
        EXPECT_TRUE(s_servers->smtpAuthLog().contains(QStringLiteral(" taro")));
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // the sent reply's window
    ASSERT_FALSE(s_servers->present("self").isEmpty());
    const QString auths = s_servers->smtpAuthLog();
    {
        // A changed certificate: "中止" sends nothing, logs in nowhere, and keeps the reply.
        WindowAnswers answers({false});
        QPointer<BackForm> w = reply(QStringLiteral("second"));
        w->Command2->click();
        ASSERT_EQ(answers.seen.size(), 1u);
        EXPECT_FALSE(answers.seen[0].trusted.isEmpty());
        EXPECT_TRUE(prompter.messages.empty()) << prompter.messages[0].text.toStdString();
        EXPECT_EQ(s_servers->mailCount(QStringLiteral("taro")), 1);
        EXPECT_EQ(s_servers->smtpAuthLog(), auths);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ASSERT_TRUE(w);
        EXPECT_EQ(w->SubjectText->text(), QStringLiteral("second"));
    }
}

TEST_F(CertificateTrust, ExpiredOrMisnamedCertificateSaysSoAndAsksTwice)
{
    ServerCertificate c;
    c.server = QStringLiteral("mail.example.jp:995");
    c.key = QStringLiteral("mail.example.jp:995");
    c.host = QStringLiteral("mail.example.jp");
    c.subject = QStringLiteral("CN=other.example");
    c.issuer = QStringLiteral("CN=other.example");
    c.notBefore = QDateTime(QDate(2020, 1, 1), QTime(0, 0), Qt::UTC);
    c.notAfter = QDateTime(QDate(2021, 1, 1), QTime(0, 0), Qt::UTC);
    c.sha256 = QByteArray(32, '\x5a');
    c.problems = ServerCertificate::Unvouched | ServerCertificate::Expired | ServerCertificate::OtherName;

    CertificateForm form(c);
    form.show();
    EXPECT_EQ(form.windowTitle(), QStringLiteral("証明書の確認"));
    EXPECT_EQ(form.TrustCommand->text(), QStringLiteral("この証明書を信頼する"));
    EXPECT_EQ(form.CancelCommand->text(), QStringLiteral("中止"));
    EXPECT_TRUE(form.Reasons->text().contains(QStringLiteral("有効期限が切れています")));
    EXPECT_TRUE(form.Reasons->text().contains(QStringLiteral("「mail.example.jp」のものではなく")));
    EXPECT_TRUE(form.FingerprintText->text().startsWith(QStringLiteral("5A:5A:")));
    EXPECT_EQ(form.FingerprintText->text().size(), 95);

    // The second confirmation: "no" leaves the window open, "yes" trusts.
    prompter.answers = {Prompter::No, Prompter::Yes};
    form.TrustCommand->click();
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].buttons, Prompter::Buttons::YesNo);
    EXPECT_TRUE(prompter.messages[0].text.contains(QStringLiteral("有効期限")));
    EXPECT_TRUE(prompter.messages[0].text.contains(QStringLiteral("別のサーバー名")));
    EXPECT_TRUE(form.isVisible());
    form.TrustCommand->click();
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.result(), QDialog::Accepted);

    // The keyboard: the focus starts on "中止", Enter and Esc both stop; every stop has a name.
    CertificateForm again(c);
    again.show();
    QApplication::setActiveWindow(&again);
    EXPECT_EQ(again.focusWidget(), again.CancelCommand);
    QTest::keyClick(&again, Qt::Key_Return);
    EXPECT_EQ(again.result(), QDialog::Rejected);
    EXPECT_FALSE(again.isVisible());
    CertificateForm third(c);
    third.show();
    QTest::keyClick(&third, Qt::Key_Escape);
    EXPECT_EQ(third.result(), QDialog::Rejected);
    for (QWidget *w : third.findChildren<QWidget *>()) {
        if (w->focusPolicy() & Qt::TabFocus) {
            EXPECT_FALSE(QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name).isEmpty())
                << w->objectName().toStdString();
        }
    }
    EXPECT_EQ(prompter.messages.size(), 2u);
}
