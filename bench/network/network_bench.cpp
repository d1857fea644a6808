// Sending and receiving as over a real network: the real servers of tests/servers behind a
// loopback proxy that delays every chunk by DELAY ms each way (delay_proxy.py), against msmtp and
// mpop through the same proxy, same servers and same mails, in one run, taking turns.
//
//   network_bench send [ROUNDS]        one mail from the compose window, STARTTLS and AUTH: from
//                                      the click on "送信" until the window is gone, against
//                                      msmtp sending the delivered mail
//   network_bench check [N] [ROUNDS]   a click on "受信" with N mails waiting (default 20),
//                                      STARTTLS: until the status box has painted the result,
//                                      against mpop delivering into a Maildir
//   BENCH_DELAY=MS (default 25)        the proxy's delay each way
//   BENCH_VISIBLE=1                    the windows shown on $DISPLAY, clicked with the mouse
// Figures are medians of ROUNDS (default 7).
#include "MailServers.h"
#include "app/AccountSettings.h"
#include "app/Forms.h"
#include "app/MainForm.h"
#include "kit/CommandLabel.h"
#include "platform/IniFile.h"
#include "platform/Prompter.h"
#include "send/WriteForm.h"
#include "store/HistoryFile.h"
#include "transport/MailTransport.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

// A message box would wait for a click nobody makes: it is printed and answered.
class PrintingPrompter final : public Prompter
{
public:
    int message(const QString &text, const QString &title, Buttons, Icon) override
    {
        std::fprintf(stderr, "message box \"%s\": %s\n", qPrintable(title), qPrintable(text));
        return Ok;
    }
    QString openFileName(const QString &, const QString &) override { return {}; }
    QString saveFileName(const QString &, const QString &) override { return {}; }
};

double seconds(const QElapsedTimer &clock) { return double(clock.nsecsElapsed()) / 1e9; }

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// delay_proxy.py in front of one port, as long as this object lives.
class DelayProxy
{
public:
    DelayProxy(quint16 target, int delayMs)
    {
        m_process.start(QStringLiteral("/usr/bin/python3"),
                        {QStringLiteral(WP_DELAY_PROXY), QString::number(target), QString::number(delayMs)});
        if (m_process.waitForStarted(5000) && m_process.waitForReadyRead(10000))
            m_port = quint16(QJsonDocument::fromJson(m_process.readLine()).object().value(QStringLiteral("port")).toInt());
    }
    ~DelayProxy()
    {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(2000);
        }
    }
    quint16 port() const { return m_port; }

private:
    QProcess m_process;
    quint16 m_port = 0;
};

// A Japanese mail of about 12 KB, as people send them.
QByteArray sample(int n)
{
    QString text;
    for (int i = 0; i < 40; ++i)
        text += QStringLiteral("お世話になっております。来週の打ち合わせの件でご連絡いたしました。\r\n");
    return "From: Hanako <hanako@example.jp>\r\nTo: taro@example.test\r\nSubject: =?UTF-8?B?"
           + QStringLiteral("お知らせ %1").arg(n).toUtf8().toBase64()
           + "?=\r\nDate: Tue, 08 Dec 2026 10:00:00 +0900\r\nMessage-ID: <net-" + QByteArray::number(n)
           + "@example.jp>\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n"
             "Content-Transfer-Encoding: base64\r\n\r\n"
           + text.toUtf8().toBase64() + "\r\n";
}

bool run(const QString &program, const QStringList &args, const QString &input = {})
{
    QProcess p;
    if (!input.isEmpty())
        p.setStandardInputFile(input);
    p.start(program, args);
    const bool ok = p.waitForFinished(600000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (!ok)
        std::fprintf(stderr, "%s: %s\n", qPrintable(program), p.readAllStandardError().constData());
    return ok;
}

struct Bench
{
    MailServers &servers;
    QString home;
    QString data;
    bool visible;
    int delayMs;
    DelayProxy pop3;
    DelayProxy smtp;

    Bench(MailServers &s, const QString &folder, bool shown, int delay)
        : servers(s), home(folder), data(folder + QStringLiteral("/★MailData")), visible(shown), delayMs(delay),
          pop3(s.pop3Port(), delay), smtp(s.smtpPort(), delay)
    {
    }

    // msmtp on the same mail, through the same proxy: STARTTLS, AUTH, one process.
    double msmtp(const QString &mailFile)
    {
        QElapsedTimer clock;
        clock.start();
        const bool ok = run(QStringLiteral("msmtp"),
                            {QStringLiteral("--file=/dev/null"), QStringLiteral("--host=127.0.0.1"),
                             QStringLiteral("--port=%1").arg(smtp.port()), QStringLiteral("--tls=on"),
                             QStringLiteral("--tls-starttls=on"),
                             QStringLiteral("--tls-trust-file=%1").arg(servers.certificateFile()),
                             QStringLiteral("--auth=on"), QStringLiteral("--user=taro"),
                             QStringLiteral("--passwordeval=echo taro-pass-1"),
                             QStringLiteral("--from=taro@example.test"), QStringLiteral("--"),
                             QStringLiteral("hanako@example.test")},
                            mailFile);
        return ok ? seconds(clock) : -1;
    }

    // The compose window, filled and clicked; until it is gone.
    double programSend(QByteArray *sent)
    {
        servers.clearMails(QStringLiteral("hanako"));
        WriteForm *w = Forms::writeForm();
        QPointer<WriteForm> window(w);
        w->ToText->setPlainText(QStringLiteral("hanako@example.test"));
        w->SubjectText->setText(QStringLiteral("打ち合わせの件"));
        QString body;
        for (int i = 0; i < 40; ++i)
            body += QStringLiteral("お世話になっております。来週の打ち合わせの件でご連絡いたしました。\n");
        w->BodyText->setPlainText(body);
        if (visible) {
            w->show();
            if (!QTest::qWaitForWindowExposed(w, 10000))
                std::fprintf(stderr, "the compose window was not shown\n");
        }
        QElapsedTimer clock;
        clock.start();
        if (visible)
            QTest::mouseClick(w->Command1, Qt::LeftButton);
        else
            w->Command1->click();
        if (!QTest::qWaitFor([&] { return !window || !window->isVisible(); }, 60000))
            std::fprintf(stderr, "the compose window stayed open\n");
        const double s = seconds(clock);
        // The next round makes a new compose window: this one must be gone first.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (window) {
            std::fprintf(stderr, "the compose window was not destroyed\n");
            return -1;
        }
        const QList<QByteArray> mails = servers.mails(QStringLiteral("hanako"));
        if (mails.size() != 1) {
            std::fprintf(stderr, "the mail did not arrive\n");
            return -1;
        }
        *sent = mails.first();
        return s;
    }

    int send(int rounds)
    {
        // A first send gives msmtp the very mail the program sends.
        QByteArray sent;
        if (programSend(&sent) < 0)
            return 1;
        const QString mailFile = home + QStringLiteral("/sent.eml");
        QFile f(mailFile);
        f.open(QIODevice::WriteOnly);
        f.write(sent);
        f.close();
        const auto peer = [&] {
            servers.clearMails(QStringLiteral("hanako"));
            const double s = msmtp(mailFile);
            return servers.mailCount(QStringLiteral("hanako")) == 1 ? s : -1;
        };
        const auto program = [&] { return programSend(&sent); };
        double p = 0, m = 0;
        if (!compare(rounds, program, peer, "msmtp", p, m))
            return 1;
        std::printf("send one mail of %lld bytes, %d ms each way, median of %d%s: program %.3f s, msmtp %.3f s, "
                    "ratio %.2f\n",
                    qlonglong(sent.size()), delayMs, rounds, visible ? ", visible window" : "", p, m, p / m);
        return 0;
    }

    double mpop(int expected)
    {
        const QString work = home + QStringLiteral("/mpop");
        QDir(work).removeRecursively();
        for (const char *sub : {"new", "cur", "tmp"})
            QDir().mkpath(work + QStringLiteral("/Maildir/") + QLatin1String(sub));
        const QString conf = work + QStringLiteral("/mpoprc");
        QFile f(conf);
        f.open(QIODevice::WriteOnly);
        f.write(QStringLiteral("account bench\nhost 127.0.0.1\nport %1\nuser taro\npassword taro-pass-1\nauth user\n"
                               "tls on\ntls_starttls on\ntls_trust_file %2\ndelivery maildir %3/Maildir\nkeep off\n"
                               "uidls_file %3/uidls\n")
                    .arg(pop3.port())
                    .arg(servers.certificateFile(), work)
                    .toUtf8());
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        f.close();
        QElapsedTimer clock;
        clock.start();
        if (!run(QStringLiteral("mpop"), {QStringLiteral("-C"), conf, QStringLiteral("-q"), QStringLiteral("bench")}))
            return -1;
        const double s = seconds(clock);
        if (QDir(work + QStringLiteral("/Maildir/new")).entryList(QDir::Files).size() != expected) {
            std::fprintf(stderr, "mpop did not deliver every mail\n");
            return -1;
        }
        return s;
    }

    double programCheck(MainForm *main, CommandLabel *receive, int expected)
    {
        for (const char *name : {"ppdata2.data", "ppdata2-originals.data", "uidl.txt"})
            QFile::remove(data + u'/' + QLatin1String(name));
        QDir(data + QStringLiteral("/Received")).removeRecursively();
        main->Text1->setText(QStringLiteral("…"));
        QCoreApplication::processEvents();
        QElapsedTimer clock;
        clock.start();
        if (visible)
            QTest::mouseClick(receive, Qt::LeftButton, {}, receive->rect().center());
        else
            main->receiveCommand();
        if (!QTest::qWaitFor([&] { return main->Text1->text() != QStringLiteral("…"); }, 60000))
            std::fprintf(stderr, "the check did not end\n");
        if (visible)
            QTest::qWait(0); // the paint of the result
        const double s = seconds(clock);
        if (History::RecordCount(data + QStringLiteral("/ppdata2.data")) != expected
            || servers.mailCount(QStringLiteral("taro")) != 0) {
            std::fprintf(stderr, "the check did not store and delete every mail\n");
            return -1;
        }
        return s;
    }

    int check(int count, int rounds)
    {
        MainForm *main = Forms::mainForm();
        if (visible) {
            main->startUp();
            main->show();
            if (!QTest::qWaitForWindowExposed(main, 10000))
                std::fprintf(stderr, "the main window was not shown\n");
        }
        CommandLabel *receive = main->findChild<CommandLabel *>(QStringLiteral("Label8"));
        const auto fill = [&] {
            servers.clearMails(QStringLiteral("taro"));
            for (int n = 0; n < count; ++n)
                servers.addMail(QStringLiteral("taro"), sample(n));
        };
        const auto program = [&] {
            fill();
            return programCheck(main, receive, count);
        };
        const auto peer = [&] {
            fill();
            return mpop(count);
        };
        double p = 0, m = 0;
        if (!compare(rounds, program, peer, "mpop", p, m))
            return 1;
        std::printf("check of %d mails, %d ms each way, median of %d%s: program %.3f s, mpop %.3f s, ratio %.2f\n",
                    count, delayMs, rounds, visible ? ", visible window" : "", p, m, p / m);
        return 0;
    }

    // The program and its peer take turns at going first; the medians of their times, or false
    // when a run failed.
    static bool compare(int rounds, const std::function<double()> &program, const std::function<double()> &peer,
                        const char *peerName, double &programMedian, double &peerMedian)
    {
        QList<double> programs, peers;
        for (int round = 1; round <= rounds; ++round) {
            double p = 0, m = 0;
            if (round % 2) {
                p = program();
                m = peer();
            } else {
                m = peer();
                p = program();
            }
            if (p < 0 || m < 0)
                return false;
            std::printf("round %d: program %.3f s, %s %.3f s, ratio %.2f\n", round, p, peerName, m, p / m);
            std::fflush(stdout);
            programs.append(p);
            peers.append(m);
        }
        programMedian = median(programs);
        peerMedian = median(peers);
        return true;
    }
};

} // namespace

int main(int argc, char **argv)
{
    const bool visible = qgetenv("BENCH_VISIBLE") == "1";
    if (!visible)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const QByteArray mode = argc > 1 ? QByteArray(argv[1]) : QByteArray("send");
    const int delay = qEnvironmentVariableIsSet("BENCH_DELAY") ? qEnvironmentVariableIntValue("BENCH_DELAY") : 25;

    QTemporaryDir home;
    for (const char *sub : {"★MailData", "添付フォルダ", "Sound"})
        QDir(home.path()).mkdir(QString::fromUtf8(sub));
    qputenv("WANDERPUP_HOME", QFile::encodeName(home.path()));
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    PrintingPrompter prompter;
    Prompter::install(&prompter);

    MailServers servers;
    if (!servers.ok()) {
        std::fprintf(stderr, "servers: %s\n", qPrintable(servers.error()));
        return 1;
    }
    Bench bench(servers, home.path(), visible, delay);
    if (!bench.pop3.port() || !bench.smtp.port()) {
        std::fprintf(stderr, "the delay proxy did not start\n");
        return 1;
    }
    servers.installTrust(bench.data);
    const QString idPass = bench.data + QStringLiteral("/iniIdPass.ini");
    IniFile::WritePrivateProfileString(QStringLiteral("EXEINI"), QStringLiteral("NAME"), QStringLiteral("taro"), idPass);
    IniFile::WritePrivateProfileString(QStringLiteral("EXEINI"), QStringLiteral("NAME2"), QStringLiteral("taro-pass-1"),
                                       idPass);
    IniFile::WritePrivateProfileString(QStringLiteral("EXEINI"), QStringLiteral("NAME3"), QStringLiteral("1"), idPass);
    AccountSettings &account = AccountSettings::instance();
    account.SmtpServer = QStringLiteral("127.0.0.1:%1").arg(bench.smtp.port());
    account.Pop3Server = QStringLiteral("127.0.0.1:%1").arg(bench.pop3.port());
    account.MailAddress = QStringLiteral("taro@example.test");
    MailTransport::instance().NMailInitializeWinSock();
    MailTransport::instance().NMailSetOption(1, 8192);
    Forms::mainForm(); // its clock box dates the sent mails

    int result = 0;
    if (mode == "check")
        result = bench.check(argc > 2 ? atoi(argv[2]) : 20, argc > 3 ? std::max(1, atoi(argv[3])) : 7);
    else
        result = bench.send(argc > 2 ? std::max(1, atoi(argv[2])) : 7);
    Forms::destroyAll();
    return result;
}
