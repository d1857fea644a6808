// The check that runs by itself, end to end on a virtual X display: real Dovecot, a real
// notification server (dunst) on a private session bus, real key events (xdotool).
// autocheck_test.sh starts the display and the bus; the checks come every three seconds, through
// the petpost.ini line the server dialog writes as minutes.
#include "MailServers.h"
#include "ScriptedPrompter.h"
#include "app/AccountSettings.h"
#include "app/AutoCheck.h"
#include "app/Forms.h"
#include "app/MainForm.h"
#include "app/OptionForm.h"
#include "characters/DogWindow.h"
#include "receive/MailCheck.h"
#include "receive/MailScan.h"
#include "send/WriteForm.h"
#include "viewer/MailListModel.h"
#include "viewer/TyakuForm.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <time.h>

namespace {

constexpr int kRecord = 32284;

QByteArray numberedMail(int n, const QByteArray &body = "hello\r\n")
{
    return "From: Sender " + QByteArray::number(n) + " <s" + QByteArray::number(n) + "@example.jp>\r\n"
           "To: taro@example.test\r\nSubject: mail " + QByteArray::number(n) + "\r\n"
           "Date: Tue, 08 Dec 2026 10:00:00 +0900\r\nMessage-ID: <n" + QByteArray::number(n) + "@example.jp>\r\n\r\n"
           + body;
}

// A way to the POP3 server that can go away and come back on the same port, as a server does that
// is stopped and started again: stopped, nothing listens there and every connection is cut.
class Relay : public QObject
{
public:
    explicit Relay(quint16 target) : m_target(target)
    {
        connect(&m_server, &QTcpServer::newConnection, this, &Relay::accept);
        m_server.listen(QHostAddress::LocalHost);
        m_port = m_server.serverPort();
    }
    quint16 port() const { return m_port; }
    void stop()
    {
        m_server.close();
        for (QTcpSocket *s : findChildren<QTcpSocket *>())
            s->abort();
    }
    bool start() { return m_server.listen(QHostAddress::LocalHost, m_port); }

private:
    void accept()
    {
        while (QTcpSocket *in = m_server.nextPendingConnection()) {
            in->setParent(this);
            auto *out = new QTcpSocket(this);
            connect(in, &QTcpSocket::readyRead, out, [in, out] { out->write(in->readAll()); });
            connect(out, &QTcpSocket::readyRead, in, [in, out] { in->write(out->readAll()); });
            connect(in, &QTcpSocket::disconnected, out, &QTcpSocket::disconnectFromHost);
            connect(out, &QTcpSocket::disconnected, in, &QTcpSocket::disconnectFromHost);
            out->connectToHost(QHostAddress::LocalHost, m_target);
        }
    }

    QTcpServer m_server;
    quint16 m_target;
    quint16 m_port = 0;
};

class AutomaticCheck : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_servers = new MailServers();
        // The notification server of this bus, printing every notification it gets.
        s_dunst = new QProcess();
        s_dunst->start(QStringLiteral("dunst"), {QStringLiteral("-print")});
        s_dunst->waitForStarted(10000);
    }
    static void TearDownTestSuite()
    {
        s_dunst->terminate();
        if (!s_dunst->waitForFinished(5000))
            s_dunst->kill();
        s_dunst->waitForFinished(2000);
        delete s_dunst;
        delete s_servers;
    }

    void SetUp() override
    {
        ASSERT_TRUE(s_servers->ok()) << s_servers->error().toStdString();
        ASSERT_EQ(s_dunst->state(), QProcess::Running);
        s_servers->clearMails(QStringLiteral("taro"));
        folder.saveAccount(QStringLiteral("taro"), QStringLiteral("taro-pass-1"));
        ASSERT_TRUE(s_servers->installTrust(folder.file(QStringLiteral("★MailData"))));
        usePop3(s_servers->pop3Port());
    }

    void TearDown() override
    {
        Forms::destroyAll();
        AccountSettings::instance() = AccountSettings();
    }

    // Every three seconds (0.05 minutes), and at start when asked.
    void usePop3(quint16 port, const char *extra = "")
    {
        folder.usePetpost(QStringLiteral("SMTP=\r\nPOP3=127.0.0.1:%1\r\nMAIL=taro@example.test\r\nAPOP=0\r\nAUTO=0.05\r\n%2")
                              .arg(port)
                              .arg(QString::fromLatin1(extra)));
    }

    MainForm *startProgram()
    {
        MainForm *main = Forms::mainForm();
        main->startUp();
        main->show();
        return main;
    }

    static int logins() { return int(s_servers->dovecotLog().count(QStringLiteral("Login: user=<taro>"))); }
    static QString notifications()
    {
        s_printed += QString::fromUtf8(s_dunst->readAllStandardOutput());
        return s_printed;
    }
    int records() const { return int(folder.read(QStringLiteral("★MailData/ppdata2.data")).size() / kRecord); }
    static int onServer() { return s_servers->mailCount(QStringLiteral("taro")); }
    static bool checkDone(MainForm *main) { return !main->autoCheck()->checking() && !MailCheck::running(); }
    static QString screenshots() { return qEnvironmentVariable("WANDERPUP_SCREENSHOTS"); }

    static MailServers *s_servers;
    static QProcess *s_dunst;
    static QString s_printed;
    TempProgramFolder folder;
    ScriptedPrompter prompter;
};

MailServers *AutomaticCheck::s_servers = nullptr;
QProcess *AutomaticCheck::s_dunst = nullptr;
QString AutomaticCheck::s_printed;

bool waitFor(const std::function<bool()> &condition, int seconds)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > seconds * 1000)
            return false;
        QTest::qWait(50);
    }
    return true;
}

} // namespace

TEST_F(AutomaticCheck, NewMailComesOutByItselfOnceAndIsAnnounced)
{
    const QByteArray mail = "From: Sender 1 <s1@example.jp>\r\nTo: taro@example.test\r\n"
                            "Subject: =?UTF-8?B?" + QStringLiteral("写真です").toUtf8().toBase64() + "?=\r\n"
                            "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n\r\nphoto\r\n\r\n\r\n\r\n"
                            + MailScan::markerText(3).toUtf8() + "\r\n";
    ASSERT_TRUE(s_servers->addMail(QStringLiteral("taro"), mail));
    const int before = logins();
    const qsizetype printed = notifications().count(QStringLiteral("appname: 'Wanderpup'"));
    MainForm *main = startProgram();

    // No click: the dog of the marker comes out, the mail is stored, the desktop is told.
    ASSERT_TRUE(waitFor([&] { return records() == 1 && Forms::existingDogWindow(5) && Forms::existingDogWindow(5)->isVisible(); }, 30));
    EXPECT_EQ(main->Text1->text(), QStringLiteral("新着メール有り。"));
    EXPECT_TRUE(main->Timer1->isActive());
    EXPECT_EQ(onServer(), 0);
    ASSERT_TRUE(waitFor([&] { return notifications().count(QStringLiteral("appname: 'Wanderpup'")) == printed + 1; }, 15));
    const QString shown = notifications().mid(notifications().lastIndexOf(QStringLiteral("appname: 'Wanderpup'")));
    EXPECT_TRUE(shown.contains(QStringLiteral("summary: '新着メール 1件'"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("写真です"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("Sender 1"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("desktop_entry: 'example.wanderpup.wanderpup'")));
    EXPECT_TRUE(shown.contains(QStringLiteral("\"default\"")));
    if (!screenshots().isEmpty())
        QProcess::execute(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"),
                                                     screenshots() + QStringLiteral("/autocheck-notification.png")});

    // The intervals after it find nothing and change nothing; each logs in once.
    const QString clock = main->Text2->text();
    QElapsedTimer since;
    since.start();
    const int first = logins() - before;
    ASSERT_TRUE(waitFor([&] { return logins() - before >= first + 2 && checkDone(main); }, 30));
    const int checks = logins() - before;
    EXPECT_LE(checks - first, int(since.elapsed() / 3000) + 1) << "more than one login per interval";
    EXPECT_EQ(main->Text1->text(), QStringLiteral("新着メール有り。"));
    EXPECT_TRUE(main->Timer1->isActive());
    EXPECT_NE(main->Text2->text(), clock); // the clock goes on
    EXPECT_EQ(Forms::tyakuForm()->rowCount(), 1);
    EXPECT_EQ(notifications().count(QStringLiteral("appname: 'Wanderpup'")), printed + 1);
    EXPECT_TRUE(prompter.messages.empty());
    std::printf("logins: %d checks in %.1f s at a 3 s interval\n", checks, double(since.elapsed()) / 1000 + 3);

    // Clicking the notification brings the received history forward.
    QProcess::execute(QStringLiteral("dunstctl"), {QStringLiteral("action"), QStringLiteral("0")});
    EXPECT_TRUE(waitFor([] { return Forms::existingTyakuForm() && Forms::existingTyakuForm()->isVisible(); }, 10));
}

TEST_F(AutomaticCheck, AStoppedServerIsOneQuietLineAndTheNextIntervalFetches)
{
    Relay relay(s_servers->pop3Port());
    usePop3(relay.port());
    relay.stop();
    MainForm *main = startProgram();
    ASSERT_TRUE(waitFor([&] { return main->autoCheck()->failures() == 1 && checkDone(main); }, 30));
    EXPECT_TRUE(main->Text1->isVisible());
    EXPECT_TRUE(main->Text1->text().contains(QStringLiteral("サーバーに接続できません。「受信」を押すと詳しく表示します。")))
        << main->Text1->text().toStdString();
    EXPECT_TRUE(prompter.messages.empty());
    for (QWidget *window : QApplication::topLevelWidgets())
        EXPECT_TRUE(window == main || !window->isVisible()) << window->objectName().toStdString();

    ASSERT_TRUE(s_servers->addMail(QStringLiteral("taro"), numberedMail(1)));
    ASSERT_TRUE(relay.start());
    ASSERT_TRUE(waitFor([&] { return records() == 1 && checkDone(main); }, 30));
    EXPECT_EQ(main->Text1->text(), QStringLiteral("新着メール有り。"));
    EXPECT_EQ(main->autoCheck()->failures(), 0);

    // The dialog as it looks with the check on.
    if (!screenshots().isEmpty()) {
        OptionForm *dialog = Forms::optionForm();
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
        EXPECT_TRUE(dialog->AutoRecvCheck->isChecked());
        dialog->grab().save(screenshots() + QStringLiteral("/autocheck-dialog.png"));
        dialog->close();
    }

    // Failing again and again, it waits longer, up to an hour.
    EXPECT_EQ(AutoCheck::delay(10, 1), 10 * 60000);
    EXPECT_EQ(AutoCheck::delay(10, 3), 40 * 60000);
    EXPECT_EQ(AutoCheck::delay(10, 30), 60 * 60000);
    EXPECT_EQ(AutoCheck::delay(120, 5), 120 * 60000);
}

TEST_F(AutomaticCheck, ACheckThatFallsDueWhileAMessageBoxIsOpenWaitsForIt)
{
    ASSERT_TRUE(s_servers->addMail(QStringLiteral("taro"), numberedMail(1)));
    QMessageBox box(QMessageBox::Information, QStringLiteral("Wanderpup"), QStringLiteral("open"));
    box.setWindowModality(Qt::ApplicationModal);
    box.show();
    MainForm *main = startProgram();
    QTest::qWait(4500); // past the first interval
    EXPECT_EQ(records(), 0);
    EXPECT_FALSE(main->autoCheck()->checking());
    box.close();
    EXPECT_TRUE(waitFor([&] { return records() == 1 && checkDone(main); }, 30));
}

TEST_F(AutomaticCheck, ReceiveDuringAnAutomaticCheckJoinsIt)
{
    for (int n = 1; n <= 300; ++n)
        ASSERT_TRUE(s_servers->addMail(QStringLiteral("taro"), numberedMail(n)));
    const int before = logins();
    MainForm *main = startProgram();
    ASSERT_TRUE(waitFor([&] { return MailCheck::running(); }, 30));
    QTest::mouseClick(main->findChild<QLabel *>(QStringLiteral("Label8")), Qt::LeftButton);
    EXPECT_TRUE(checkDone(main));
    EXPECT_EQ(records(), 300);
    EXPECT_EQ(onServer(), 0);
    EXPECT_EQ(logins() - before, 1);
    EXPECT_EQ(main->Text1->text(), QStringLiteral("新着メール有り。"));
    EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(AutomaticCheck, TypingGoesOnDuringACheckOf1000Mails)
{
    for (int n = 1; n <= 1000; ++n)
        ASSERT_TRUE(s_servers->addMail(QStringLiteral("taro"), numberedMail(n)));
    MainForm *main = startProgram();
    WriteForm *compose = Forms::writeForm();
    compose->show();
    compose->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(compose, 10000));
    compose->BodyText->setFocus();

    // When each key arrives, against the X server's time of the key press.
    struct Arrival
    {
        qint64 latency;
        bool duringCheck;
    };
    std::vector<Arrival> arrivals;
    struct Watch : QObject
    {
        std::vector<Arrival> *arrivals;
        bool eventFilter(QObject *watched, QEvent *event) override
        {
            if (event->type() == QEvent::KeyPress && watched == Forms::existingWriteForm()->BodyText) {
                timespec now;
                clock_gettime(CLOCK_MONOTONIC, &now);
                const qint64 ms = qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
                arrivals->push_back({(ms - qint64(static_cast<QKeyEvent *>(event)->timestamp())) & 0xffffffff,
                                     MailCheck::running()});
            }
            return false;
        }
    } watch;
    watch.arrivals = &arrivals;
    compose->BodyText->installEventFilter(&watch);

    ASSERT_TRUE(waitFor([&] { return MailCheck::running() && records() > 0; }, 40));
    const QString typed = QStringLiteral("the dogs come by themselves while I type this line 0123456789");
    const auto type = [&](const QString &text) {
        QProcess xdotool;
        xdotool.start(QStringLiteral("xdotool"), {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("12"), text});
        return waitFor([&] { return xdotool.state() == QProcess::NotRunning; }, 60);
    };
    ASSERT_TRUE(type(typed));
    ASSERT_TRUE(waitFor([&] { return compose->BodyText->toPlainText() == typed; }, 10))
        << compose->BodyText->toPlainText().toStdString();
    ASSERT_TRUE(waitFor([&] { return checkDone(main); }, 240));
    EXPECT_EQ(records(), 1000);
    EXPECT_EQ(onServer(), 0);
    const auto during = std::count_if(arrivals.begin(), arrivals.end(), [](const Arrival &a) { return a.duringCheck; });
    EXPECT_GT(during, qsizetype(typed.size() / 2)) << "the check ended before the typing: nothing was shown";

    // The same typing with no check running, for comparison.
    ASSERT_TRUE(type(QStringLiteral(" and after it")));
    ASSERT_TRUE(waitFor([&] { return compose->BodyText->toPlainText() == typed + QStringLiteral(" and after it"); }, 10));
    compose->BodyText->removeEventFilter(&watch);
    const auto median = [&](bool duringCheck, qint64 *longest) {
        std::vector<qint64> latencies;
        for (const Arrival &a : arrivals)
            if (a.duringCheck == duringCheck)
                latencies.push_back(a.latency);
        std::sort(latencies.begin(), latencies.end());
        *longest = latencies.empty() ? 0 : latencies.back();
        return latencies.empty() ? 0 : latencies[latencies.size() / 2];
    };
    qint64 longest = 0, longestIdle = 0;
    const qint64 busy = median(true, &longest), idle = median(false, &longestIdle);
    std::printf("key latency during the check: %lld keys, median %lld ms, max %lld ms; without a check: median %lld ms, "
                "max %lld ms\n",
                static_cast<long long>(during), static_cast<long long>(busy), static_cast<long long>(longest),
                static_cast<long long>(idle), static_cast<long long>(longestIdle));
}

TEST_F(AutomaticCheck, ClosingDuringACheckKeepsEveryMailOnce)
{
    for (int n = 1; n <= 400; ++n)
        ASSERT_TRUE(s_servers->addMail(QStringLiteral("taro"), numberedMail(n)));
    usePop3(s_servers->pop3Port(), "BOOT=1\r\n"); // at once, not after the first interval
    MainForm *main = startProgram();
    ASSERT_TRUE(waitFor([&] { return records() >= 100; }, 60));
    main->close(); // stops before the next mail and ends the connection properly
    const int stored = records();
    EXPECT_LT(stored, 400);
    EXPECT_EQ(onServer(), 400 - stored); // the stored ones were deleted at QUIT
    Forms::destroyAll();

    // The next start fetches the rest; nothing twice.
    folder.usePetpost(QStringLiteral("POP3=127.0.0.1:%1\r\n").arg(s_servers->pop3Port()));
    Forms::mainForm()->receiveCommand();
    ASSERT_EQ(records(), 400);
    EXPECT_EQ(onServer(), 0);
    const QByteArray history = folder.read(QStringLiteral("★MailData/ppdata2.data"));
    QSet<QByteArray> subjects;
    for (int r = 0; r < 400; ++r)
        subjects.insert(history.mid(qsizetype(r) * kRecord, 100).trimmed());
    EXPECT_EQ(subjects.size(), 400);
    EXPECT_TRUE(prompter.messages.empty()) << prompter.messages[0].text.toStdString();
}
