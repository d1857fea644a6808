// A receive click on a full mailbox against the transport alone on the same mails, in one run.
//
//   receive_bench [N] [ROUNDS]    N mails (default 1000), best of ROUNDS (default 3)
//
// Each round fills the real POP3 server (tests/servers) with the same N mails twice: once for
// the transport alone (connect, login, then per mail status, size, retrieval, attachment
// decoding and deletion, then close: the calls a check makes) and once for a click on the
// receive command, which adds the work file, the history window, the received history (each
// record flushed to disk) and the notification.
#include "MailServers.h"
#include "app/AccountSettings.h"
#include "app/Forms.h"
#include "app/MainForm.h"
#include "platform/IniFile.h"
#include "store/HistoryFile.h"
#include "transport/MailTransport.h"
#include "viewer/TyakuForm.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

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

// Three kinds in turn: Japanese text, UTF-8 text with an attachment and a dog marker, plain text.
QByteArray mail(int n)
{
    const QByteArray id = "<bench-" + QByteArray::number(n) + "@example.jp>";
    QString text;
    for (int i = 0; i < 12; ++i)
        text += QStringLiteral("お世話になっております。来週の打ち合わせの件でご連絡いたしました。\r\n");
    switch (n % 3) {
    case 0:
        return "From: =?ISO-2022-JP?B?" + iso2022jp(QStringLiteral("山田太郎")).toBase64()
               + "?= <yamada@example.jp>\r\nTo: taro@example.test\r\nSubject: =?ISO-2022-JP?B?"
               + iso2022jp(QStringLiteral("打ち合わせ %1").arg(n)).toBase64()
               + "?=\r\nDate: Tue, 08 Dec 2026 10:00:00 +0900\r\nMessage-ID: " + id
               + "\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=ISO-2022-JP\r\n"
                 "Content-Transfer-Encoding: 7bit\r\n\r\n"
               + iso2022jp(text);
    case 1:
        return "From: Hanako <hanako@example.jp>\r\nTo: taro@example.test\r\nSubject: =?UTF-8?B?"
               + QStringLiteral("写真 %1").arg(n).toUtf8().toBase64()
               + "?=\r\nDate: Tue, 08 Dec 2026 11:30:00 +0900\r\nMessage-ID: " + id
               + "\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"b1\"\r\n\r\n"
                 "--b1\r\nContent-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: base64\r\n\r\n"
               + (text + QStringLiteral("\r\n\r\n\r\n\r\nWanderpup（③の選択）")).toUtf8().toBase64()
               + "\r\n--b1\r\nContent-Type: application/octet-stream; name=\"data.bin\"\r\n"
                 "Content-Disposition: attachment; filename=\"data.bin\"\r\n"
                 "Content-Transfer-Encoding: base64\r\n\r\n"
               + QByteArray(4096, char(n % 251)).toBase64() + "\r\n--b1--\r\n";
    default:
        return "From: bob@example.org\r\nTo: taro@example.test\r\nSubject: Report " + QByteArray::number(n)
               + "\r\nDate: Tue, 08 Dec 2026 12:45:00 +0000\r\nMessage-ID: " + id
               + "\r\n\r\n" + QByteArray("Please read the report of this week.\r\n").repeated(20);
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

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
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
    double bestTransport = 1e9, bestReceive = 1e9;
    const auto resetFolders = [&] {
        for (const QString &name : {QStringLiteral("添付フォルダ"), QStringLiteral("scratch")}) {
            QDir(home.path() + u'/' + name).removeRecursively();
            QDir(home.path()).mkdir(name);
        }
        QFile::remove(data + QStringLiteral("/ppdata2.data"));
    };
    const auto runTransport = [&] {
        fill();
        resetFolders();
        const double t = transportAlone(server, home.path() + QStringLiteral("/scratch"), count);
        if (servers.mailCount(QStringLiteral("taro")) != 0)
            std::fprintf(stderr, "transport left mail on the server\n");
        return t;
    };
    const auto runReceive = [&] {
        fill();
        resetFolders();
        QElapsedTimer clock;
        clock.start();
        main->receiveCommand();
        const double r = seconds(clock);
        if (History::RecordCount(data + QStringLiteral("/ppdata2.data")) != count
            || servers.mailCount(QStringLiteral("taro")) != 0)
            std::fprintf(stderr, "the receive click did not store and delete every mail\n");
        return r;
    };
    // The two alternate which goes first, so that neither always meets a warmer system.
    for (int round = 1; round <= rounds; ++round) {
        double t = 0, r = 0;
        if (round % 2) {
            t = runTransport();
            r = runReceive();
        } else {
            r = runReceive();
            t = runTransport();
        }
        std::printf("round %d: transport alone %.3f s, receive click %.3f s, ratio %.2f\n", round, t, r, r / t);
        std::fflush(stdout);
        bestTransport = std::min(bestTransport, t);
        bestReceive = std::min(bestReceive, r);
    }
    std::printf("best: transport alone %.3f s, receive click %.3f s, ratio %.2f (%d mails)\n", bestTransport,
                bestReceive, bestReceive / bestTransport, count);
    Forms::destroyAll();
    return 0;
}
