// A receive click on a full mailbox against the transport alone and against mpop on the same
// mails from the same Dovecot (all over STARTTLS), in one run.
//
//   receive_bench [N] [ROUNDS]    N mails (default 1000), median of ROUNDS (default 3)
//   BENCH_VISIBLE=1 receive_bench …   the main window shown on $DISPLAY, clicked with the mouse
//
// Each round fills the real POP3 server (tests/servers) with the same N mails three times: once for
// the transport alone (connect, login, then per mail status, size, retrieval, attachment
// decoding and deletion, then close: the calls a check makes) and once for a click on the
// receive command, which adds the work file, the history window, the originals and the received
// history (forced to the disk), the record of stored mails and the notification, and once for mpop
// (delivering into a Maildir beside the program folder, on the same disk).
#include "../common/BenchSupport.h"
#include "MailServers.h"
#include "app/AccountSettings.h"
#include "app/Forms.h"
#include "app/MainForm.h"
#include "kit/CommandLabel.h"
#include "platform/IniFile.h"
#include "store/HistoryFile.h"
#include "transport/MimeCodecs.h"
#include "transport/MailTransport.h"
#include "viewer/TyakuForm.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QLineEdit>

#include <algorithm>
#include <cstdio>

#include <malloc.h>

#include <iconv.h>

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

// A Japanese mailbox of about 17 KB a mail: ISO-2022-JP text, UTF-8 text with a dog marker,
// HTML, and every tenth mail with a 100 KB file.
QByteArray mail(int n)
{
    const QByteArray id = "<bench-" + QByteArray::number(n) + "@example.jp>";
    QString text;
    for (int i = 0; i < 40; ++i)
        text += QStringLiteral("お世話になっております。来週の打ち合わせの件でご連絡いたしました。\r\n");
    const QByteArray head = "To: taro@example.test\r\nDate: Tue, 08 Dec 2026 10:00:00 +0900\r\nMessage-ID: " + id
                            + "\r\nMIME-Version: 1.0\r\n";
    if (n % 10 == 0) {
        QByteArray file(100000, '\0');
        for (int k = 0; k < file.size(); ++k)
            file[k] = char((k * 31 + n) & 0xFF);
        QByteArray b64;
        const QByteArray all = file.toBase64();
        for (int k = 0; k < all.size(); k += 76)
            b64 += all.mid(k, 76) + "\r\n";
        return "From: Hanako <hanako@example.jp>\r\nSubject: =?UTF-8?B?"
               + QStringLiteral("写真 %1").arg(n).toUtf8().toBase64() + "?=\r\n" + head
               + "Content-Type: multipart/mixed; boundary=\"b1\"\r\n\r\n"
                 "--b1\r\nContent-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: base64\r\n\r\n"
               + (text + QStringLiteral("\r\n\r\n\r\n\r\nWanderpup（③の選択）")).toUtf8().toBase64()
               + "\r\n--b1\r\nContent-Type: application/octet-stream; name=\"data.bin\"\r\n"
                 "Content-Disposition: attachment; filename=\"data.bin\"\r\n"
                 "Content-Transfer-Encoding: base64\r\n\r\n"
               + b64 + "--b1--\r\n";
    }
    switch (n % 3) {
    case 0:
        return "From: =?ISO-2022-JP?B?" + iso2022jp(QStringLiteral("山田太郎")).toBase64()
               + "?= <yamada@example.jp>\r\nSubject: =?ISO-2022-JP?B?"
               + iso2022jp(QStringLiteral("打ち合わせ %1").arg(n)).toBase64() + "?=\r\n" + head
               + "Content-Type: text/plain; charset=ISO-2022-JP\r\nContent-Transfer-Encoding: 7bit\r\n\r\n"
               + iso2022jp(text);
    case 1:
        return "From: Hanako <hanako@example.jp>\r\nSubject: =?UTF-8?B?"
               + QStringLiteral("お知らせ %1").arg(n).toUtf8().toBase64() + "?=\r\n" + head
               + "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: base64\r\n\r\n"
               + (text + QStringLiteral("\r\n\r\n\r\n\r\nWanderpup（⑤の選択）")).toUtf8().toBase64() + "\r\n";
    default:
        return "From: news@example.org\r\nSubject: =?UTF-8?B?"
               + QStringLiteral("ニュース %1").arg(n).toUtf8().toBase64() + "?=\r\n" + head
               + "Content-Type: text/html; charset=UTF-8\r\n\r\n<html><head><style>p{}</style></head><body>"
               + QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("<br>\r\n")).toUtf8()
               + "</body></html>\r\n";
    }
}

double seconds(const QElapsedTimer &clock)
{
    return double(clock.nsecsElapsed()) / 1e9;
}

// The transport's calls of a check, without the program around them.
double transportAlone(const QByteArray &server, const QString &scratch, int expected)
{
    MailTransport &t = MailTransport::instance();
    QElapsedTimer clock;
    clock.start();
    const int handle = t.NMailPop3Connect(server);
    const int count = t.NMailPop3Authenticate(handle, "taro", "taro-pass-1", 0);
    const QString folder = QDir::toNativeSeparators(scratch + u'/');
    for (int n = 1; n <= count; ++n) {
        QByteArray subject, date, from, header, body;
        t.NMailPop3GetMailStatus(handle, n, subject, date, from, header, 0);
        body = QByteArray(qMax(t.NMailPop3GetMailSize(handle, n), 0) + 1, ' ');
        t.NMailPop3GetMail(handle, n, subject, date, from, header, body, 0, 0);
        t.NMailAttachmentFileFirst(handle, subject, date, from, header, body, folder, QString(), QByteArray(),
                                   0);
        t.NMailAttachmentFileClose(handle);
        t.NMailPop3DeleteMail(handle, n);
    }
    t.NMailPop3Close(handle);
    const double s = seconds(clock);
    if (count != expected)
        std::fprintf(stderr, "transport saw %d mails, expected %d\n", count, expected);
    return s;
}

// mpop on the same mailbox, over STARTTLS like the program, delivering into a Maildir on the same
// disk and deleting on the server.
double mpopAlone(const MailServers &servers, const QString &work, int expected)
{
    const QString maildir = work + QStringLiteral("/Maildir");
    QDir(maildir).removeRecursively();
    for (const char *sub : {"new", "cur", "tmp"})
        QDir().mkpath(maildir + u'/' + QLatin1String(sub));
    const QString conf = work + QStringLiteral("/mpoprc");
    QFile::remove(work + QStringLiteral("/uidls"));
    {
        QFile f(conf);
        f.open(QIODevice::WriteOnly);
        f.write(QStringLiteral("account bench\nhost 127.0.0.1\nport %1\nuser taro\npassword taro-pass-1\nauth user\n"
                               "tls on\ntls_starttls on\ntls_trust_file %2\ndelivery maildir %3\nkeep off\n"
                               "uidls_file %4\n")
                    .arg(servers.pop3Port())
                    .arg(servers.certificateFile(), maildir, work + QStringLiteral("/uidls"))
                    .toUtf8());
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    }
    QProcess mpop;
    QElapsedTimer clock;
    clock.start();
    mpop.start(QStringLiteral("mpop"), {QStringLiteral("-C"), conf, QStringLiteral("-q"), QStringLiteral("bench")});
    mpop.waitForFinished(600000);
    const double s = seconds(clock);
    const int delivered = int(QDir(maildir + QStringLiteral("/new")).entryList(QDir::Files).size());
    if (mpop.exitCode() != 0 || delivered != expected)
        std::fprintf(stderr, "mpop: exit %d, %d delivered: %s\n", mpop.exitCode(), delivered,
                     mpop.readAllStandardError().constData());
    return s;
}

// The median of a few timings.
double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Counts the paints of a widget.
struct PaintCounter : QObject
{
    int paints = 0;
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

} // namespace

int main(int argc, char **argv)
{
    // With a display (BENCH_VISIBLE=1) the main window is shown and the click is a mouse click
    // on it; the time runs until the window has painted the result.
    const bool visible = qgetenv("BENCH_VISIBLE") == "1";
    if (!visible)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const int count = argc > 1 ? atoi(argv[1]) : 1000;
    const int rounds = argc > 2 ? atoi(argv[2]) : 3;

    QTemporaryDir home;
    QDir(home.path()).mkdir(QStringLiteral("★MailData"));
    QDir(home.path()).mkdir(QStringLiteral("添付フォルダ"));
    QDir(home.path()).mkdir(QStringLiteral("scratch"));
    qputenv("WANDERPUP_HOME", QFile::encodeName(home.path()));
    QApplication app(argc, argv);

    MailServers servers;
    if (!servers.ok()) {
        std::fprintf(stderr, "servers: %s\n", qPrintable(servers.error()));
        return 1;
    }
    const QString data = home.path() + QStringLiteral("/★MailData");
    servers.installTrust(data);
    const QByteArray server = "127.0.0.1:" + QByteArray::number(servers.pop3Port());
    IniFile::WritePrivateProfileString(QStringLiteral("EXEINI"), QStringLiteral("NAME"), QStringLiteral("taro"),
                                       data + QStringLiteral("/iniIdPass.ini"));
    IniFile::WritePrivateProfileString(QStringLiteral("EXEINI"), QStringLiteral("NAME2"),
                                       QStringLiteral("taro-pass-1"), data + QStringLiteral("/iniIdPass.ini"));
    AccountSettings::instance().Pop3Server = QString::fromLatin1(server);
    MailTransport::instance().NMailInitializeWinSock();
    MailTransport::instance().NMailSetOption(1, 8192);

    QList<QByteArray> mails;
    for (int n = 0; n < count; ++n)
        mails.append(mail(n));
    const auto fill = [&] {
        servers.clearMails(QStringLiteral("taro"));
        for (const QByteArray &m : mails)
            servers.addMail(QStringLiteral("taro"), m);
    };

    MainForm *main = Forms::mainForm();
    const auto resetFolders = [&] {
        for (const QString &name : {QStringLiteral("添付フォルダ"), QStringLiteral("scratch")}) {
            QDir(home.path() + u'/' + name).removeRecursively();
            QDir(home.path()).mkdir(name);
        }
        QFile::remove(data + QStringLiteral("/ppdata2.data"));
        QFile::remove(data + QStringLiteral("/ppdata2-originals.data"));
        QDir(data + QStringLiteral("/Received")).removeRecursively();
    };
    const auto runTransport = [&] {
        fill();
        resetFolders();
        const double t = transportAlone(server, home.path() + QStringLiteral("/scratch"), count);
        if (servers.mailCount(QStringLiteral("taro")) != 0)
            std::fprintf(stderr, "transport left mail on the server\n");
        return t;
    };
    PaintCounter painted;
    main->Text1->installEventFilter(&painted);
    if (visible) {
        main->startUp();
        main->show();
        if (!QTest::qWaitForWindowExposed(main, 10000))
            std::fprintf(stderr, "the main window was not shown\n");
    }
    CommandLabel *receive = main->findChild<CommandLabel *>(QStringLiteral("Label8"));
    double painting = 0; // of the last click: from the end of the check to the painted status
    const auto runReceive = [&] {
        fill();
        resetFolders();
        QFile::remove(data + QStringLiteral("/uidl.txt"));
        // The status box says something else before, so that the result must be painted anew.
        main->Text1->setText(QStringLiteral("…"));
        QCoreApplication::processEvents();
        QElapsedTimer clock;
        clock.start();
        if (visible)
            QTest::mouseClick(receive, Qt::LeftButton, {}, receive->rect().center());
        else
            main->receiveCommand();
        const double checked = seconds(clock);
        if (visible) {
            const int before = painted.paints;
            if (!QTest::qWaitFor([&] { return painted.paints > before; }, 5000))
                std::fprintf(stderr, "the status box was not painted\n");
        }
        const double r = seconds(clock);
        painting = r - checked;
        if (History::RecordCount(data + QStringLiteral("/ppdata2.data")) != count
            || servers.mailCount(QStringLiteral("taro")) != 0)
            std::fprintf(stderr, "the receive click did not store and delete every mail\n");
        return r;
    };
    const auto runMpop = [&] {
        fill();
        return mpopAlone(servers, home.path() + QStringLiteral("/scratch"), count);
    };
    qint64 bytes = 0;
    for (const QByteArray &m : mails)
        bytes += m.size();
    std::printf("%d mails, %.1f MB in the mailbox\n", count, double(bytes) / 1e6);
    // BENCH_BIG=MB: the peak memory of a click on one mail of about MB megabytes (a file in it).
    if (const int megabytes = qEnvironmentVariableIntValue("BENCH_BIG"); megabytes > 0) {
        // A first click on a small mail makes the windows the click uses (history, dogs).
        servers.clearMails(QStringLiteral("taro"));
        servers.addMail(QStringLiteral("taro"), mails.value(1));
        main->receiveCommand();
        qint64 size = 0;
        {
            const QByteArray big = "From: a@example.org\r\nSubject: big\r\nMIME-Version: 1.0\r\n"
                                   "Content-Type: multipart/mixed; boundary=\"=_big_boundary_01\"\r\n\r\n"
                                   "--=_big_boundary_01\r\nContent-Type: text/plain\r\n\r\nsee the file\r\n"
                                   "--=_big_boundary_01\r\nContent-Type: application/octet-stream; name=\"big.bin\"\r\n"
                                   "Content-Transfer-Encoding: base64\r\n\r\n"
                                   + MimeCodecs::base64Lines(QByteArray(megabytes * 3 / 4 * 1000000, 'x'))
                                   + "--=_big_boundary_01--\r\n";
            size = big.size();
            servers.clearMails(QStringLiteral("taro"));
            servers.addMail(QStringLiteral("taro"), big);
        }
        resetFolders();
        QFile::remove(data + QStringLiteral("/uidl.txt"));
        // What making the mail took is given back, so that the growth is the click's alone.
        malloc_trim(0);
        bench::resetPeak();
        const double before = bench::statusMb("VmRSS:");
        main->receiveCommand();
        const double growth = bench::statusMb("VmHWM:") - before;
        std::printf("one mail of %.1f MB: peak memory growth %.1f MB = %.2fx the mail\n", size / 1e6, growth,
                    growth * 1048576.0 / size);
        Forms::destroyAll();
        return 0;
    }
    // BENCH_ONLY=click runs only the receive click (to look at it under a profiler).
    if (qgetenv("BENCH_ONLY") == "click") {
        for (int round = 1; round <= rounds; ++round)
            std::printf("round %d: receive click %.3f s\n", round, runReceive());
        Forms::destroyAll();
        return 0;
    }
    // The three take turns at going first, so that none always meets a warmer system.
    QList<double> transports, receives, mpops, paints;
    for (int round = 1; round <= rounds; ++round) {
        double t = 0, r = 0, m = 0;
        switch (round % 3) {
        case 1:
            t = runTransport();
            r = runReceive();
            m = runMpop();
            break;
        case 2:
            r = runReceive();
            m = runMpop();
            t = runTransport();
            break;
        default:
            m = runMpop();
            t = runTransport();
            r = runReceive();
        }
        std::printf("round %d: transport alone %.3f s, receive click %.3f s (painting %.3f s), mpop %.3f s, "
                    "click/transport %.2f, click/mpop %.2f\n",
                    round, t, r, painting, m, r / t, r / m);
        std::fflush(stdout);
        transports.append(t);
        receives.append(r);
        mpops.append(m);
        paints.append(painting);
    }
    const double t = median(transports), r = median(receives), m = median(mpops);
    std::printf("median of %d rounds%s: transport alone %.3f s, receive click %.3f s (painting %.3f s), "
                "mpop %.3f s, click/transport %.2f, click/mpop %.2f (%d mails)\n",
                rounds, visible ? ", visible window" : ", no window", t, r, median(paints), m, r / t, r / m, count);
    Forms::destroyAll();
    return 0;
}
