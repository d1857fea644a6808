// Receiving end to end: the receive command against real Dovecot servers on 127.0.0.1.
#include "BadServers.h"
#include "MailServers.h"
#include "TransportTestSupport.h"
#include "ScriptedPrompter.h"
#include "app/AccountSettings.h"
#include "app/Forms.h"
#include "app/IdPassForm.h"
#include "app/MainForm.h"
#include "app/OptionForm.h"
#include "characters/DogWindow.h"
#include "characters/SetForm.h"
#include "platform/Cp932.h"
#include "receive/IncomingMail.h"
#include "receive/MailCheck.h"
#include "receive/MailScan.h"
#include "transport/MailTransport.h"
#include "viewer/MailListModel.h"
#include "viewer/TyakuForm.h"

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>
#include <iconv.h>

#include <functional>
#include <memory>
#include <thread>

namespace {

QByteArray iso2022jp(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    iconv_t cd = iconv_open("ISO-2022-JP", "UTF-8");
    QByteArray out(utf8.size() * 4 + 16, '\0');
    char *in = const_cast<char *>(utf8.constData());
    size_t inLeft = size_t(utf8.size());
    char *dst = out.data();
    size_t dstLeft = size_t(out.size());
    iconv(cd, &in, &inLeft, &dst, &dstLeft);
    iconv(cd, nullptr, nullptr, &dst, &dstLeft);
    iconv_close(cd);
    out.truncate(out.size() - qsizetype(dstLeft));
    return out;
}

QByteArray encodedWord(const char *charset, const QByteArray &bytes)
{
    return QByteArray("=?") + charset + "?B?" + bytes.toBase64() + "?=";
}

QByteArray japaneseMail()
{
    return "From: " + encodedWord("ISO-2022-JP", iso2022jp(QStringLiteral("山田太郎")))
           + " <yamada@example.jp>\r\n"
             "To: taro@example.test\r\n"
             "Subject: " + encodedWord("ISO-2022-JP", iso2022jp(QStringLiteral("会議のお知らせ"))) + "\r\n"
             "Date: Tue, 08 Dec 2026 10:00:00 +0900\r\n"
             "Message-ID: <jp-1@example.jp>\r\n"
             "MIME-Version: 1.0\r\n"
             "Content-Type: text/plain; charset=ISO-2022-JP\r\n"
             "Content-Transfer-Encoding: 7bit\r\n"
             "\r\n"
           + iso2022jp(QStringLiteral("明日の会議は十時からです。\r\nよろしくお願いします。\r\n"));
}

QByteArray markerMail(int marker, const QByteArray &messageId = "utf8-2@example.jp")
{
    const QString text = QStringLiteral("写真を送ります。\r\n\r\n\r\n\r\n") + MailScan::markerText(marker);
    return "From: Hanako <hanako@example.jp>\r\n"
           "To: taro@example.test\r\n"
           "Subject: " + encodedWord("UTF-8", QStringLiteral("写真です").toUtf8()) + "\r\n"
           "Date: Tue, 08 Dec 2026 11:30:00 +0900\r\n"
           "Message-ID: <" + messageId + ">\r\n"
           "MIME-Version: 1.0\r\n"
           "Content-Type: multipart/mixed; boundary=\"b1\"\r\n"
           "\r\n"
           "--b1\r\n"
           "Content-Type: text/plain; charset=UTF-8\r\n"
           "Content-Transfer-Encoding: base64\r\n"
           "\r\n"
           + text.toUtf8().toBase64() + "\r\n"
           "--b1\r\n"
           "Content-Type: text/plain; name=\"memo.txt\"\r\n"
           "Content-Disposition: attachment; filename=\"memo.txt\"\r\n"
           "Content-Transfer-Encoding: base64\r\n"
           "\r\n"
           + QByteArray("memo of the photo\r\n").toBase64() + "\r\n"
           "--b1--\r\n";
}

QByteArray wordMail()
{
    return "From: bob@example.org\r\n"
           "To: taro@example.test\r\n"
           "Subject: Report\r\n"
           "Date: Tue, 08 Dec 2026 12:45:00 +0000\r\n"
           "Message-ID: <word-3@example.org>\r\n"
           "\r\n"
           "Please read the attachment of my last mail.\r\n";
}

QByteArray field(const QString &value, int width)
{
    QByteArray bytes = Cp932::fromUnicode(value);
    EXPECT_LE(bytes.size(), width);
    return bytes + QByteArray(width - bytes.size(), ' ');
}

QByteArray record(const QString &subject, const QString &date, const QString &address, const QString &body)
{
    return field(subject, 100) + field(date, 90) + field(address, 90) + field(body, 32000)
           + QByteArray("\r\n\x01\x00", 4);
}

const QString kNote = QStringLiteral("\r\n♪♪♪　添付ファイルがありましので、添付フォルダに展開しました。♪♪♪");

// Passes every call to the real transport, with faults a real server cannot produce on demand.
class FaultyTransport final : public MailTransport
{
public:
    explicit FaultyTransport(MailTransport &real) : m_real(real) { MailTransport::install(this); }
    ~FaultyTransport() override { MailTransport::install(&m_real); }

    int attachmentResult = 0; // when not 0, what the attachment decoding reports
    int failMail = 0;         // the retrieval of this mail fails
    std::function<void(int)> onMail; // called as each mail is retrieved
    std::vector<std::string> calls;

    void NMailInitializeWinSock() override { m_real.NMailInitializeWinSock(); }
    void NMailSetOption(int o, int v) override { m_real.NMailSetOption(o, v); }
    int NMailPop3Connect(const QByteArray &s) override { return m_real.NMailPop3Connect(s); }
    int NMailPop3Authenticate(int h, const QByteArray &i, const QByteArray &p, int a) override
    {
        calls.push_back("auth " + std::to_string(a));
        return m_real.NMailPop3Authenticate(h, i, p, a);
    }
    int NMailPop3GetMailStatus(int h, int n, QByteArray &s, QByteArray &d, QByteArray &f, QByteArray &hd,
                               int fl) override
    {
        calls.push_back("status " + std::to_string(n));
        return m_real.NMailPop3GetMailStatus(h, n, s, d, f, hd, fl);
    }
    int NMailPop3GetMailSize(int h, int n) override { return m_real.NMailPop3GetMailSize(h, n); }
    int NMailPop3GetMail(int h, int n, QByteArray &s, QByteArray &d, QByteArray &f, QByteArray &hd,
                         QByteArray &b, int fl, int r) override
    {
        calls.push_back("mail " + std::to_string(n));
        if (onMail)
            onMail(n);
        if (n == failMail) {
            s = d = f = hd = b = QByteArray();
            return -1;
        }
        return m_real.NMailPop3GetMail(h, n, s, d, f, hd, b, fl, r);
    }
    int NMailAttachmentFileFirst(int h, QByteArray &s, QByteArray &d, QByteArray &f, QByteArray &hd,
                                 QByteArray &b, const QString &folder, const QString &work,
                                 const QByteArray &text, int fl) override
    {
        calls.push_back("attachments");
        workFileSeen = QFile::exists(work);
        const int real = m_real.NMailAttachmentFileFirst(h, s, d, f, hd, b, folder, work, text, fl);
        return attachmentResult != 0 ? attachmentResult : real;
    }
    int NMailAttachmentFileClose(int h) override { return m_real.NMailAttachmentFileClose(h); }
    int NMailPop3DeleteMail(int h, int n) override
    {
        calls.push_back("delete " + std::to_string(n));
        return m_real.NMailPop3DeleteMail(h, n);
    }
    int NMailPop3Close(int h) override
    {
        calls.push_back("close");
        return m_real.NMailPop3Close(h);
    }
    int NMailSmtpSendMail(const QByteArray &a, const QByteArray &b, const QByteArray &c, const QByteArray &d,
                          const QByteArray &e, const QString &f, int g) override
    {
        return m_real.NMailSmtpSendMail(a, b, c, d, e, f, g);
    }
    QByteArray NMailGetMessage() override { return m_real.NMailGetMessage(); }
    void NMailEndWinSock() override {}

    bool workFileSeen = false;

private:
    MailTransport &m_real;
};

// Answers the ID dialog as the user would once a check shows it, for as long as the timer lives.
std::unique_ptr<QTimer> answerIdDialog(std::function<void(IdPassForm *)> answer)
{
    auto poll = std::make_unique<QTimer>();
    QObject::connect(poll.get(), &QTimer::timeout, poll.get(), [timer = poll.get(), answer] {
        IdPassForm *form = Forms::existingIdPassForm();
        if (!form || !form->isVisible())
            return;
        timer->stop();
        answer(form);
    });
    poll->start(10);
    return poll;
}

class Receive : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_servers = new MailServers();
        MailTransport::instance().NMailInitializeWinSock();
        MailTransport::instance().NMailSetOption(1, 8192);
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
        s_servers->clearMails(QStringLiteral("taro"));
        usePop3(QStringLiteral("127.0.0.1:%1").arg(s_servers->pop3Port()), 0);
        setAccount(QStringLiteral("taro"), QStringLiteral("taro-pass-1"));
        ASSERT_TRUE(s_servers->installTrust(folder.file(QStringLiteral("★MailData"))));
        IncomingMail::reset();
        HistoryMode = 0;
    }

    void TearDown() override
    {
        Forms::destroyAll();
        AccountSettings::instance() = AccountSettings();
    }

    void usePop3(const QString &server, int apop)
    {
        folder.usePetpost(
            QStringLiteral("SMTP=\r\nPOP3=%1\r\nMAIL=taro@example.test\r\nAPOP=%2\r\n").arg(server).arg(apop));
    }

    void setAccount(const QString &id, const QString &password) { folder.saveAccount(id, password); }

    QByteArray history() const { return folder.read(QStringLiteral("★MailData/ppdata2.data")); }
    int mailsOnServer() const { return s_servers->mailCount(QStringLiteral("taro")); }
    void addMail(const QByteArray &mail) { ASSERT_TRUE(s_servers->addMail(QStringLiteral("taro"), mail)); }
    MainForm *main() { return Forms::mainForm(); }

    static MailServers *s_servers;
    TempProgramFolder folder;
    ScriptedPrompter prompter;
};

MailServers *Receive::s_servers = nullptr;

TEST_F(Receive, ThreeMailsAreStoredInOrderAndTheMailboxIsEmptied)
{
    addMail(japaneseMail());
    addMail(markerMail(3));
    addMail(wordMail());
    Forms::setForm()->setTicked(2, true); // the last mail has no marker: the ticked dog comes out
    main()->Text2->setText(QStringLiteral("clock"));

    QTest::mouseClick(main()->findChild<QLabel *>(QStringLiteral("Label8")), Qt::LeftButton);

    EXPECT_TRUE(prompter.messages.empty()) << prompter.messages[0].text.toStdString();
    const QByteArray expected =
        record(QStringLiteral("会議のお知らせ"), QStringLiteral("Tue, 08 Dec 2026 10:00:00 +0900"),
               QStringLiteral("山田太郎 <yamada@example.jp>"),
               QStringLiteral("明日の会議は十時からです。\r\nよろしくお願いします。\r\n"))
        + record(QStringLiteral("写真です"), QStringLiteral("Tue, 08 Dec 2026 11:30:00 +0900"),
                 QStringLiteral("Hanako <hanako@example.jp>"),
                 QStringLiteral("写真を送ります。\r\n\r\n\r\n\r\nWanderpup（③の選択）") + kNote)
        + record(QStringLiteral("Report"), QStringLiteral("Tue, 08 Dec 2026 12:45:00 +0000"),
                 QStringLiteral("bob@example.org"),
                 QStringLiteral("Please read the attachment of my last mail.\r\n") + kNote);
    const QByteArray stored = history();
    ASSERT_EQ(stored.size(), 3 * 32284);
    for (int n = 0; n < 3; ++n)
        EXPECT_EQ(stored.mid(n * 32284, 32284), expected.mid(n * 32284, 32284)) << "record " << n + 1;

    EXPECT_EQ(folder.read(QStringLiteral("添付フォルダ/memo.txt")), QByteArray("memo of the photo\r\n"));
    EXPECT_FALSE(QFile::exists(folder.file(QStringLiteral("添付フォルダ/0.txt"))));
    EXPECT_EQ(mailsOnServer(), 0);

    TyakuForm *window = Forms::tyakuForm();
    EXPECT_FALSE(window->isVisible());
    ASSERT_EQ(window->rowCount(), 3);
    EXPECT_EQ(window->Text2->text(), QStringLiteral("3"));
    EXPECT_EQ(window->mailList->text(1, 0), QStringLiteral("写真です"));
    EXPECT_EQ(window->Text7->text(), QStringLiteral("Report"));
    EXPECT_EQ(window->Text8->text(), QStringLiteral("bob@example.org"));
    EXPECT_EQ(window->bodyText(), QStringLiteral("Please read the attachment of my last mail.\r\n") + kNote);

    EXPECT_TRUE(main()->Text1->isVisibleTo(main()));
    EXPECT_EQ(main()->Text1->text(), QStringLiteral("新着メール有り。"));
    EXPECT_TRUE(main()->Text2->text().isEmpty()); // the scan's scratch space
    EXPECT_TRUE(main()->Timer1->isActive());
    EXPECT_EQ(main()->Label2->text(), QStringLiteral("メールのチェックをしています。")); // the count ended with the check
    DogWindow *dog = Forms::existingDogWindow(2);
    ASSERT_TRUE(dog);
    EXPECT_TRUE(dog->isVisible());
    EXPECT_TRUE(dog->Timer1->isActive());
    EXPECT_FALSE(Forms::existingDogWindow(5) && Forms::existingDogWindow(5)->isVisible());

    // A second check finds nothing.
    main()->receiveCommand();
    EXPECT_EQ(main()->Text1->text(), QStringLiteral("新着メール無し。"));
    EXPECT_FALSE(main()->Timer1->isActive());
    EXPECT_EQ(history().size(), 3 * 32284);
    EXPECT_EQ(window->rowCount(), 0);
    EXPECT_EQ(window->Text2->text(), QStringLiteral("0"));
}

TEST_F(Receive, DoubleClickOnReceiveChecksOnce)
{
    // Through the window system's own path: press, release, press, release, the second press
    // reported as a double click.
    addMail(wordMail());
    MainForm *form = main();
    form->show();
    const auto logins = [] { return s_servers->dovecotLog().count(QStringLiteral("Login: user=<taro>")); };
    const qsizetype before = logins();
    const QWidget *label8 = form->findChild<QWidget *>(QStringLiteral("Label8"));
    QTest::mouseDClick(form->windowHandle(), Qt::LeftButton, {}, label8->mapTo(form, label8->rect().center()));
    EXPECT_EQ(main()->Text1->text(), QStringLiteral("新着メール有り。"));
    EXPECT_EQ(mailsOnServer(), 0);
    QTest::qWait(300); // the log is written by the server's own processes
    EXPECT_EQ(logins() - before, 1);
}

TEST_F(Receive, MarkerOfTheLastMailBringsOutItsDog)
{
    addMail(wordMail());
    addMail(markerMail(3));
    Forms::setForm()->setTicked(2, true);
    main()->Timer1->stop();
    main()->receiveCommand();
    ASSERT_TRUE(prompter.messages.empty());
    DogWindow *dog = Forms::existingDogWindow(5); // dog 3
    ASSERT_TRUE(dog);
    EXPECT_TRUE(dog->isVisible());
    EXPECT_TRUE(dog->Timer1->isActive());
    EXPECT_FALSE(Forms::existingDogWindow(2) && Forms::existingDogWindow(2)->isVisible());
    EXPECT_TRUE(main()->Timer1->isActive());
    EXPECT_EQ(IncomingMail::lastMarker(), 3);
}

TEST_F(Receive, MarkerOfAnEarlierMailDoesNotCount)
{
    addMail(markerMail(3));
    addMail(wordMail());
    main()->Timer1->stop();
    main()->receiveCommand(); // no dog ticked: none comes out, the clock stays stopped
    EXPECT_EQ(main()->Text1->text(), QStringLiteral("新着メール有り。"));
    EXPECT_EQ(IncomingMail::lastMarker(), 0);
    EXPECT_FALSE(main()->Timer1->isActive());
    for (int form = 1; form <= 10; ++form)
        EXPECT_FALSE(Forms::existingDogWindow(form) && Forms::existingDogWindow(form)->isVisible()) << form;
}

TEST_F(Receive, EveryStepInOrder)
{
    FaultyTransport transport(MailTransport::instance());
    addMail(wordMail());
    addMail(japaneseMail());
    usePop3(QStringLiteral("127.0.0.1:%1").arg(s_servers->pop3Port()), 1); // APOP
    main()->receiveCommand();
    // Deletions go out once the stored records are on the disk.
    const std::vector<std::string> expected = {"auth -1", "status 1", "mail 1",   "attachments", "status 2",
                                               "mail 2",  "attachments", "delete 1", "delete 2", "close"};
    EXPECT_EQ(transport.calls, expected);
    EXPECT_TRUE(transport.workFileSeen);
    EXPECT_TRUE(s_servers->dovecotLog().contains(QStringLiteral("method=APOP")));
    EXPECT_EQ(history().size(), 2 * 32284);
}

TEST_F(Receive, WrongPasswordShowsOneErrorAndKeepsTheStatus)
{
    addMail(wordMail());
    setAccount(QStringLiteral("taro"), QStringLiteral("wrong"));
    main()->Text1->setText(QStringLiteral("新着メール有り。"));
    main()->Text1->hide();
    FaultyTransport transport(MailTransport::instance());
    main()->receiveCommand();
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].title, QStringLiteral("エラー"));
    EXPECT_EQ(prompter.messages[0].buttons, Prompter::Buttons::Ok);
    EXPECT_FALSE(prompter.messages[0].text.isEmpty());
    EXPECT_FALSE(prompter.messages[0].text.contains(QStringLiteral("wrong")));
    EXPECT_EQ(main()->Text1->text(), QStringLiteral("新着メール有り。"));
    EXPECT_FALSE(main()->Text1->isVisibleTo(main()));
    EXPECT_EQ(transport.calls, (std::vector<std::string>{"auth 0", "close"}));
    EXPECT_EQ(mailsOnServer(), 1);
}

TEST_F(Receive, MissingAccountIsAskedForAndTheSameClickFetchesWithIt)
{
    addMail(wordMail());
    setAccount(QString(), QString());
    FaultyTransport transport(MailTransport::instance());
    // The user answers the dialog that the check opened, leaving the save box unticked.
    bool asked = false;
    QString helpWhileAsked;
    auto user = answerIdDialog([&](IdPassForm *form) {
        asked = true;
        helpWhileAsked = main()->Label2->text();
        EXPECT_TRUE(form->isModal());
        EXPECT_FALSE(form->Check1->isChecked());
        form->IdText->setText(QStringLiteral("ｔａｒｏ")); // typed in full-width
        form->PassText->setText(QStringLiteral("taro-pass-1"));
        QTest::keyClick(form->PassText, Qt::Key_Return);
    });
    main()->receiveCommand();
    ASSERT_TRUE(asked);
    EXPECT_EQ(helpWhileAsked, QStringLiteral("メールのチェックをしています。"));
    EXPECT_TRUE(prompter.messages.empty()) << prompter.messages[0].text.toStdString();
    // The first connection was given up while the user typed; the same click went on.
    EXPECT_EQ(transport.calls, (std::vector<std::string>{"close", "auth 0", "status 1", "mail 1", "attachments",
                                                         "delete 1", "close"}));
    EXPECT_EQ(history().size(), 32284);
    EXPECT_EQ(mailsOnServer(), 0);
    EXPECT_EQ(main()->Text1->text(), QStringLiteral("新着メール有り。"));
    EXPECT_EQ(folder.read(QStringLiteral("★MailData/iniIdPass.ini")),
              QByteArray("[EXEINI]\r\nNAME=\r\nNAME2=\r\nNAME3=0\r\n"));

    // Not saved, it is the account for the rest of the run, also over a password saved meanwhile.
    setAccount(QStringLiteral("taro"), QStringLiteral("old-and-wrong"));
    addMail(japaneseMail());
    asked = false;
    user = answerIdDialog([&](IdPassForm *form) {
        asked = true;
        form->close();
    });
    main()->receiveCommand();
    EXPECT_FALSE(asked);
    EXPECT_TRUE(prompter.messages.empty()) << prompter.messages[0].text.toStdString();
    EXPECT_EQ(history().size(), 2 * 32284);
    EXPECT_EQ(mailsOnServer(), 0);
}

TEST_F(Receive, MissingAccountCancelledEndsTheCheckQuietly)
{
    addMail(wordMail());
    setAccount(QString(), QString());
    main()->Text1->setText(QStringLiteral("新着メール有り。"));
    main()->Timer1->start(1000);
    FaultyTransport transport(MailTransport::instance());
    bool asked = false;
    const auto user = answerIdDialog([&](IdPassForm *form) {
        asked = true;
        form->IdText->setText(QStringLiteral("typed"));
        form->CancelCommand->click();
    });
    main()->receiveCommand();
    EXPECT_TRUE(asked);
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_EQ(transport.calls, (std::vector<std::string>{"close"}));
    // Nothing was checked: the status box and the clock stay as they were.
    EXPECT_EQ(main()->Text1->text(), QStringLiteral("新着メール有り。"));
    EXPECT_TRUE(main()->Timer1->isActive());
    EXPECT_EQ(mailsOnServer(), 1);
    EXPECT_TRUE(AccountSettings::instance().AccountId.isEmpty());
}

TEST_F(Receive, NoServerOpensTheServerDialogAndAnUnreachableOneIsAnError)
{
    // Nothing was checked, so neither says "no new mail".
    usePop3(QString(), 0);
    main()->Text1->setText(QStringLiteral("x"));
    main()->Timer1->start(1000);
    main()->receiveCommand();
    EXPECT_TRUE(prompter.messages.empty());
    ASSERT_NE(Forms::existingOptionForm(), nullptr);
    EXPECT_TRUE(Forms::existingOptionForm()->isVisible());

    usePop3(QStringLiteral("127.0.0.1:1"), 0);
    main()->receiveCommand();
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].title, QStringLiteral("エラー"));
    EXPECT_TRUE(prompter.messages[0].text.contains(QStringLiteral("127.0.0.1:1")))
        << prompter.messages[0].text.toStdString();
    EXPECT_EQ(main()->Text1->text(), QStringLiteral("x"));
    EXPECT_TRUE(main()->Timer1->isActive());
    EXPECT_EQ(main()->Label2->text(), QStringLiteral("メールのチェックをしています。"));
}

TEST_F(Receive, SilentServerKeepsTheWindowsAliveUntilTheTimeOut)
{
    SilentServer silent;
    usePop3(QStringLiteral("127.0.0.1:%1").arg(silent.port()), 0);
    main()->startUp(); // installs the wait hook
    main()->show();
    MailTransport::instance().setTimeout(1500);
    struct PaintCounter : QObject
    {
        int count = 0;
        bool eventFilter(QObject *, QEvent *e) override
        {
            count += e->type() == QEvent::Paint;
            return false;
        }
    } paints;
    main()->Label2->installEventFilter(&paints);
    QString helpDuringWait;
    int paintsAtFirstTick = -1, paintsAtSecondTick = -1;
    QTimer::singleShot(300, main(), [&] {
        helpDuringWait = main()->Label2->text();
        paintsAtFirstTick = paints.count;
        main()->Label2->update();
    });
    QTimer::singleShot(700, main(), [&] { paintsAtSecondTick = paints.count; });
    QElapsedTimer clock;
    clock.start();
    main()->receiveCommand();
    const qint64 waited = clock.elapsed();
    MailTransport::instance().setTimeout(15000);
    MailTransport::instance().setWaitHook(nullptr);

    main()->Label2->removeEventFilter(&paints);
    // Timers ran and the window painted while the server was awaited.
    EXPECT_GT(paintsAtSecondTick, paintsAtFirstTick);
    EXPECT_GE(paintsAtFirstTick, 0);
    EXPECT_EQ(helpDuringWait, QStringLiteral("メールのチェックをしています。"));
    EXPECT_GE(waited, 1400);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].title, QStringLiteral("エラー"));
}

TEST_F(Receive, MainWindowClosedWhileTheServerIsAwaited)
{
    // The transport is still at work further down: closing must not pull it away.
    SilentServer silent;
    usePop3(QStringLiteral("127.0.0.1:%1").arg(silent.port()), 0);
    main()->startUp();
    main()->show();
    MailTransport::instance().setTimeout(1000);
    QTimer::singleShot(300, main(), [this] { main()->close(); });
    main()->receiveCommand();
    MailTransport::instance().setTimeout(15000);
    MailTransport::instance().setWaitHook(nullptr);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].title, QStringLiteral("エラー"));
    // The program would end here. This process goes on: the request to quit is answered, so that
    // the windows that wait for the user (the ID dialog of a check) wait again.
    QTimer::singleShot(0, qApp, [] { QApplication::exit(0); });
    EXPECT_EQ(QApplication::exec(), 0);

    // The transport still works for the next check.
    usePop3(QStringLiteral("127.0.0.1:%1").arg(s_servers->pop3Port()), 0);
    addMail(wordMail());
    Forms::mainForm()->receiveCommand();
    EXPECT_EQ(mailsOnServer(), 0);
}

TEST_F(Receive, MissingDataFolderKeepsEveryMail)
{
    addMail(wordMail());
    addMail(japaneseMail());
    QDir(folder.file(QStringLiteral("★MailData"))).removeRecursively();
    bool asked = false; // the account lives in the data folder
    const auto user = answerIdDialog([&asked](IdPassForm *form) {
        asked = true;
        form->close();
    });
    main()->receiveCommand();
    EXPECT_EQ(mailsOnServer(), 2);
    EXPECT_TRUE(asked);
}

TEST_F(Receive, HistoryThatCannotBeWrittenKeepsTheMailForTheNextCheck)
{
    addMail(markerMail(3));
    addMail(japaneseMail());
    // A folder where the history file should be: nothing can be appended.
    QDir(folder.file(QStringLiteral("★MailData"))).mkdir(QStringLiteral("ppdata2.data"));
    main()->Text1->setText(QStringLiteral("before"));
    main()->receiveCommand();
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_TRUE(prompter.messages[0].text.startsWith(QStringLiteral("受信したメールを保存できませんでした。")));
    EXPECT_EQ(mailsOnServer(), 2);
    EXPECT_EQ(main()->Text1->text(), QStringLiteral("before"));
    EXPECT_EQ(Forms::tyakuForm()->rowCount(), 0);

    // Its attachment went again with it: the next check unpacks it once, under its own name.
    EXPECT_TRUE(QDir(folder.file(QStringLiteral("添付フォルダ"))).entryList(QDir::Files).isEmpty());

    QDir(folder.file(QStringLiteral("★MailData"))).rmdir(QStringLiteral("ppdata2.data"));
    main()->receiveCommand();
    EXPECT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(mailsOnServer(), 0);
    EXPECT_EQ(history().size(), 2 * 32284);
    EXPECT_EQ(QDir(folder.file(QStringLiteral("添付フォルダ"))).entryList(QDir::Files),
              QStringList{QStringLiteral("memo.txt")});
}

TEST_F(Receive, FullHistoryStopsAfterTheLastMailThatFits)
{
    // 32766 records (sparse): room for exactly one more.
    {
        QFile file(folder.file(QStringLiteral("★MailData/ppdata2.data")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(qint64(32766) * 32284));
    }
    addMail(wordMail());
    addMail(japaneseMail());
    main()->receiveCommand();
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(mailsOnServer(), 1);
    EXPECT_TRUE(s_servers->mails(QStringLiteral("taro"))[0].contains("Message-ID: <jp-1@example.jp>"));
    EXPECT_EQ(QFileInfo(folder.file(QStringLiteral("★MailData/ppdata2.data"))).size(), qint64(32767) * 32284);
    EXPECT_EQ(main()->Text1->text(), QStringLiteral("新着メール有り。")); // the one stored mail
}

TEST_F(Receive, AttachmentThatCannotBeWrittenKeepsTheMail)
{
    FaultyTransport transport(MailTransport::instance());
    transport.attachmentResult = -5;
    addMail(markerMail(3));
    main()->receiveCommand();
    ASSERT_EQ(prompter.messages.size(), 2u);
    EXPECT_EQ(prompter.messages[0].text, QStringLiteral("添付ファイルをオープンできません"));
    EXPECT_EQ(prompter.messages[0].title, QStringLiteral("Wanderpup"));
    EXPECT_EQ(mailsOnServer(), 1);
    EXPECT_TRUE(history().isEmpty());
}

TEST_F(Receive, IncompleteSplitMailIsReportedAndStored)
{
    FaultyTransport transport(MailTransport::instance());
    transport.attachmentResult = -6;
    addMail(wordMail());
    main()->receiveCommand();
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text, QStringLiteral("分割されたメールが全て揃っていません"));
    EXPECT_EQ(mailsOnServer(), 0);
    EXPECT_EQ(history().size(), 32284);
}

TEST_F(Receive, MainWindowClosedWhileAMessageWaits)
{
    FaultyTransport transport(MailTransport::instance());
    transport.attachmentResult = -6;
    addMail(wordMail());
    addMail(japaneseMail());
    prompter.onMessage = [](const ScriptedPrompter::Message &) { delete Forms::existingMainForm(); };
    main()->receiveCommand();
    EXPECT_EQ(prompter.messages.size(), 2u); // one for each split mail, and no crash
    EXPECT_EQ(history().size(), 2 * 32284);
    EXPECT_EQ(mailsOnServer(), 0);
}

TEST_F(Receive, LongMailKeepsItsWholeText)
{
    QByteArray body;
    for (int line = 0; line < 2000; ++line)
        body += QByteArray("line ") + QByteArray::number(line).rightJustified(5, '0') + " of a long mail\r\n";
    addMail("From: long@example.org\r\nSubject: long\r\nDate: Tue, 08 Dec 2026 13:00:00 +0000\r\n\r\n" + body);
    main()->receiveCommand();
    ASSERT_TRUE(prompter.messages.empty());
    const QByteArray stored = history();
    ASSERT_EQ(stored.size(), 32284);
    const QString storedBody = Cp932::toUnicode(stored.mid(280, 32000)).trimmed();
    EXPECT_TRUE(storedBody.startsWith(QStringLiteral("line 00000 of a long mail")));
    const QStringList files = QDir(folder.file(QStringLiteral("添付フォルダ"))).entryList(QDir::Files);
    ASSERT_EQ(files.size(), 1);
    EXPECT_TRUE(storedBody.endsWith(QStringLiteral("添付フォルダの「%1」に保存しました。♪♪♪").arg(files[0])));
    EXPECT_EQ(folder.read(QStringLiteral("添付フォルダ/") + files[0]), body);
    EXPECT_EQ(Forms::tyakuForm()->bodyText(), storedBody); // the editor shows what was stored
    EXPECT_EQ(mailsOnServer(), 0);
}

TEST_F(Receive, MissingAttachmentFolderIsMade)
{
    QDir(folder.file(QStringLiteral("添付フォルダ"))).removeRecursively();
    addMail(markerMail(4));
    main()->receiveCommand();
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_EQ(folder.read(QStringLiteral("添付フォルダ/memo.txt")), QByteArray("memo of the photo\r\n"));
    EXPECT_EQ(mailsOnServer(), 0);
}

TEST_F(Receive, FailedRetrievalKeepsTheMail)
{
    // A retrieval that fails (as on a cut connection) must neither store an empty mail nor
    // delete the real one; the check stops and a later one gets it.
    addMail(wordMail());
    addMail(japaneseMail());
    {
        FaultyTransport transport(MailTransport::instance());
        transport.failMail = 2;
        main()->receiveCommand();
        ASSERT_EQ(prompter.messages.size(), 1u);
        EXPECT_TRUE(prompter.messages[0].text.startsWith(QStringLiteral("メールを受信できませんでした。")));
        EXPECT_EQ(history().size(), 32284);
        EXPECT_EQ(mailsOnServer(), 1);
        EXPECT_EQ(main()->Text1->text(), QStringLiteral("新着メール有り。"));
    }
    main()->receiveCommand();
    EXPECT_EQ(history().size(), 2 * 32284);
    EXPECT_TRUE(history().mid(32284, 100).startsWith(Cp932::fromUnicode(QStringLiteral("会議のお知らせ"))));
    EXPECT_EQ(mailsOnServer(), 0);
}

TEST_F(Receive, ConnectionCutDuringAMailKeepsItAndStoresNothingTwice)
{
    // A real connection cut in the middle of the second mail, by a proxy before the server.
    addMail(wordMail());
    addMail("From: big@example.org\r\nSubject: big\r\nDate: Tue, 08 Dec 2026 13:00:00 +0000\r\n\r\n"
            + QByteArray("0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcde\r\n").repeated(5000));
    CuttingProxy proxy(s_servers->pop3Port(), 100000);
    usePop3(QStringLiteral("127.0.0.1:%1").arg(proxy.port()), 0);
    main()->receiveCommand();
    EXPECT_TRUE(proxy.didCut());
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_TRUE(prompter.messages[0].text.startsWith(QStringLiteral("メールを受信できませんでした。")));
    EXPECT_TRUE(prompter.messages[0].text.contains(
        QStringLiteral("受信済みの1通は保存しました（サーバーからは次の受信で削除します）。")))
        << prompter.messages[0].text.toStdString();
    EXPECT_EQ(mailsOnServer(), 2); // without QUIT nothing is deleted, not even the stored first mail
    EXPECT_EQ(history().size(), 32284);

    // The next check knows the first mail by its unique id: deleted, not stored again.
    proxy.stopCutting();
    main()->receiveCommand();
    EXPECT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(mailsOnServer(), 0);
    const QByteArray stored = history();
    ASSERT_EQ(stored.size(), 2 * 32284);
    EXPECT_TRUE(stored.mid(32284, 100).startsWith("big "));
    EXPECT_TRUE(stored.mid(32284 + 280, 32000).startsWith("0123456789abcdef"));
    EXPECT_EQ(main()->Text1->text(), QStringLiteral("新着メール有り。"));
}

TEST_F(Receive, RefusedDeletionIsSaidPlainlyAndTheMailsAreNotStoredAgain)
{
    BadServers bad;
    ASSERT_TRUE(bad.ok()) << bad.error().toStdString();
    usePop3(QStringLiteral("pop3+plain://127.0.0.1:%1").arg(bad.port("pop3-refused-dele")), 0);
    main()->receiveCommand();
    ASSERT_EQ(prompter.messages.size(), 1u);
    const QString text = prompter.messages[0].text;
    EXPECT_TRUE(text.startsWith(QStringLiteral("受信したメールは保存しましたが、サーバーから削除できませんでした。")))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("[SYS/PERM] deleting is not allowed here"))) << text.toStdString();
    EXPECT_EQ(history().size(), 3 * 32284);
    EXPECT_EQ(main()->Text1->text(), QStringLiteral("新着メール有り。"));

    // The same three mails are still there: known by their ids, not stored a second time.
    main()->receiveCommand();
    EXPECT_EQ(prompter.messages.size(), 2u);
    EXPECT_EQ(history().size(), 3 * 32284);
    EXPECT_EQ(main()->Text1->text(), QStringLiteral("新着メール無し。"));
}

TEST_F(Receive, MailThatCannotBeReadIsKeptWholeAndDoesNotBlockTheMailbox)
{
    QByteArray deep = "From: deep@example.org\r\nSubject: deep\r\nContent-Type: multipart/mixed; boundary=x0\r\n\r\n";
    for (int i = 1; i < 5000; ++i)
        deep += "--x" + QByteArray::number(i - 1) + "\nContent-Type: multipart/mixed; boundary=x"
                + QByteArray::number(i) + "\n\n";
    addMail(deep);
    addMail(wordMail());
    main()->receiveCommand();
    EXPECT_TRUE(prompter.messages.empty()) << prompter.messages[0].text.toStdString();
    EXPECT_EQ(mailsOnServer(), 0);
    const QByteArray stored = history();
    ASSERT_EQ(stored.size(), 2 * 32284);
    const QString body = Cp932::toUnicode(stored.mid(280, 32000));
    EXPECT_TRUE(body.startsWith(QStringLiteral("このメールは形式が壊れているか入れ子が深すぎるため、読み取れませんでした。")))
        << body.left(200).toStdString();
    EXPECT_TRUE(body.contains(QStringLiteral("添付ファイルがありましので"))); // the note of a stored attachment
    EXPECT_EQ(folder.read(QStringLiteral("添付フォルダ/読み取れないメール.eml")), crlf(deep)); // as the server sent it
    EXPECT_TRUE(stored.mid(32284, 100).startsWith("Report"));
}

TEST_F(Receive, LongCheckShowsItsProgressAndRepaints)
{
    for (int n = 0; n < 3; ++n)
        addMail(wordMail());
    main()->show();
    FaultyTransport transport(MailTransport::instance());
    std::vector<QString> progress;
    int paints = 0;
    bool timerFired = false;
    struct PaintCounter : QObject
    {
        int *count;
        bool eventFilter(QObject *, QEvent *e) override
        {
            if (e->type() == QEvent::Paint)
                ++*count;
            return false;
        }
    } counter;
    counter.count = &paints;
    main()->Label2->installEventFilter(&counter);
    QTimer::singleShot(1, [&] { timerFired = true; });
    int paintsBefore = -1;
    transport.onMail = [&](int n) {
        progress.push_back(main()->Label2->text());
        if (n == 1)
            paintsBefore = paints;
        if (n == 2)
            std::this_thread::sleep_for(std::chrono::milliseconds(150)); // a slow mail
        if (n == 3) {
            EXPECT_GT(paints, paintsBefore); // the help line was repainted during the check
            EXPECT_TRUE(timerFired);         // timers run on: the dogs keep walking
        }
    };
    main()->receiveCommand();
    main()->Label2->removeEventFilter(&counter);
    EXPECT_EQ(progress, (std::vector<QString>{MailCheck::progressText(1, 3), MailCheck::progressText(2, 3),
                                              MailCheck::progressText(3, 3)}));
    QCoreApplication::processEvents();
    EXPECT_TRUE(timerFired);
}

TEST_F(Receive, AttachmentCalledLikeTheWorkFileIsKept)
{
    // An earlier mail left an attachment named 0.txt, the work file's name.
    folder.write(QStringLiteral("添付フォルダ/0.txt"), "an earlier attachment");
    addMail(wordMail());
    main()->receiveCommand();
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_EQ(folder.read(QStringLiteral("添付フォルダ/0 (2).txt")), QByteArray("an earlier attachment"));
    EXPECT_FALSE(QFile::exists(folder.file(QStringLiteral("添付フォルダ/0.txt"))));
    EXPECT_EQ(mailsOnServer(), 0);
}

TEST_F(Receive, OverTlsWithADogAlreadyOut)
{
    addMail(markerMail(5, "tls-5@example.jp"));
    usePop3(QStringLiteral("pop3s://127.0.0.1:%1").arg(s_servers->pop3sPort()), 0);
    DogWindow *out = Forms::dogWindow(2); // dog 5 is out already
    out->show();
    main()->receiveCommand();
    ASSERT_TRUE(prompter.messages.empty()) << prompter.messages[0].text.toStdString();
    EXPECT_EQ(mailsOnServer(), 0);
    EXPECT_EQ(Forms::existingDogWindow(2), out); // shown again, not a second window
    EXPECT_TRUE(out->isVisible());
    for (int form = 1; form <= 10; ++form)
        EXPECT_TRUE(Forms::dogWindow(form)->Timer1->isActive()) << form; // all dogs walk
}

TEST_F(Receive, MarkerIsFoundInAnyCharsetAndTransferEncoding)
{
    const QString text = QStringLiteral("散歩に行こう\r\n\r\n\r\n\r\n") + MailScan::markerText(7);
    QByteArray qp;
    for (const char c : text.toUtf8())
        qp += "=" + QByteArray::number(uchar(c), 16).toUpper().rightJustified(2, '0');
    const struct
    {
        const char *edge;
        QByteArray headers, body;
    } cases[] = {
        {"shift_jis 8bit", "Content-Type: text/plain; charset=Shift_JIS\r\nContent-Transfer-Encoding: 8bit\r\n",
         Cp932::fromUnicode(text)},
        {"utf-8 quoted-printable",
         "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: quoted-printable\r\n", qp},
        {"utf-8 base64", "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: base64\r\n",
         text.toUtf8().toBase64()},
    };
    for (const auto &c : cases) {
        addMail("From: a@example.org\r\nSubject: walk\r\nMIME-Version: 1.0\r\n" + c.headers + "\r\n" + c.body
                + "\r\n");
        IncomingMail::reset();
        main()->receiveCommand();
        EXPECT_EQ(IncomingMail::lastMarker(), 7) << c.edge;
        EXPECT_TRUE(Forms::tyakuForm()->bodyText().startsWith(QStringLiteral("散歩に行こう"))) << c.edge;
    }
    EXPECT_TRUE(prompter.messages.empty());
}

} // namespace
