// Fetches N mails from a local Dovecot through the transport the way a mail check does (status,
// size, retrieval, attachment decoding, deletion, close) and then lets mpop fetch the same
// mailbox, and prints mails per second for both.
#include "MailServers.h"
#include "platform/Cp932.h"
#include "transport/VmimeTransport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <ctime>

namespace {

QByteArray crlf(QByteArray text)
{
    text.replace("\n", "\r\n");
    return text;
}

// A mix like a real mailbox: mostly short Japanese text, some HTML, every tenth with a file.
QByteArray sampleMail(int i)
{
    const QByteArray subject =
        "=?UTF-8?B?" + QStringLiteral("ベンチマーク %1 通目").arg(i).toUtf8().toBase64() + "?=";
    QByteArray body;
    for (int line = 0; line < 20; ++line)
        body +=
            QStringLiteral("%1 行目：散歩の予定をお知らせします。Wanderpup（③の選択）\n").arg(line).toUtf8();
    QByteArray head = "From: =?UTF-8?B?" + QStringLiteral("花子").toUtf8().toBase64()
                      + "?= <hanako@example.test>\nTo: taro@example.test\nSubject: " + subject
                      + "\nDate: Tue, 8 Dec 2026 10:00:00 +0900\nMessage-ID: <bench" + QByteArray::number(i)
                      + "@example.test>\nMIME-Version: 1.0\n";
    if (i % 10 != 0)
        return crlf(head + "Content-Type: text/plain; charset=UTF-8\nContent-Transfer-Encoding: base64\n\n"
                    + body.toBase64() + "\n");
    QByteArray file(40000, '\0');
    for (int k = 0; k < file.size(); ++k)
        file[k] = char((k * 31 + i) & 0xFF);
    QByteArray b64;
    const QByteArray all = file.toBase64();
    for (int k = 0; k < all.size(); k += 76)
        b64 += all.mid(k, 76) + "\n";
    return crlf(head
                + "Content-Type: multipart/mixed; boundary=\"bb\"\n\n--bb\n"
                  "Content-Type: text/plain; charset=UTF-8\nContent-Transfer-Encoding: 8bit\n\n"
                + body
                + "--bb\nContent-Type: application/octet-stream\nContent-Disposition: attachment; "
                  "filename*=UTF-8''%E5%86%99%E7%9C%9F.bin\nContent-Transfer-Encoding: base64\n\n"
                + b64 + "--bb--\n");
}

qint64 cpuNs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

bool fill(MailServers &servers, int n, qint64 &bytes)
{
    servers.clearMails(QStringLiteral("taro"));
    bytes = 0;
    for (int i = 1; i <= n; ++i) {
        const QByteArray m = sampleMail(i);
        bytes += m.size();
        if (!servers.addMail(QStringLiteral("taro"), m))
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int n = argc > 1 ? std::max(1, atoi(argv[1])) : 1000;
    MailServers servers;
    if (!servers.ok()) {
        fprintf(stderr, "servers: %s\n", qPrintable(servers.error()));
        return 1;
    }
    // BENCH_DIR=/dev/shm keeps the disk (mpop syncs every mail it delivers) out of the figures.
    const QString base = qEnvironmentVariable("BENCH_DIR");
    QTemporaryDir work(base.isEmpty() ? QDir::tempPath() + QStringLiteral("/bench-transport-XXXXXX")
                                      : base + QStringLiteral("/bench-transport-XXXXXX"));
    const QString attachments = work.filePath(QStringLiteral("attachments"));
    QDir().mkpath(attachments);
    qint64 bytes = 0;

    // The transport, over STLS on the plain port like a default setup.
    if (!fill(servers, n, bytes))
        return 1;
    VmimeTransport t;
    t.setTrustFile(servers.certificateFile());
    QElapsedTimer clock;
    clock.start();
    const int h = t.NMailPop3Connect("127.0.0.1:" + QByteArray::number(servers.pop3Port()));
    const qint64 connectMs = clock.elapsed();
    const int count = t.NMailPop3Authenticate(h, "taro", "taro-pass-1", 0);
    if (count != n) {
        fprintf(stderr, "transport: %d mails, %s\n", count,
                Cp932::toUnicode(t.NMailGetMessage()).toLocal8Bit().data());
        return 1;
    }
    const qint64 loginMs = clock.elapsed();
    int stored = 0;
    qint64 statusNs = 0, getNs = 0, attachNs = 0, statusCpuNs = 0, attachCpuNs = 0;
    QElapsedTimer part;
    qint64 cpuMark = 0;
    for (int i = 1; i <= count; ++i) {
        QByteArray s, d, f, hd, b;
        part.start();
        cpuMark = cpuNs();
        t.NMailPop3GetMailStatus(h, i, s, d, f, hd, 0);
        t.NMailPop3GetMailSize(h, i);
        statusNs += part.nsecsElapsed();
        statusCpuNs += cpuNs() - cpuMark;
        part.start();
        t.NMailPop3GetMail(h, i, s, d, f, hd, b, 0, 0);
        getNs += part.nsecsElapsed();
        part.start();
        cpuMark = cpuNs();
        if (t.NMailAttachmentFileFirst(0, s, d, f, hd, b, attachments + QLatin1Char('/'), QString(),
                                       hd + "\r\n" + b + "\r\n", 0)
            == 1)
            ++stored;
        t.NMailAttachmentFileClose(0);
        t.NMailPop3DeleteMail(h, i);
        attachNs += part.nsecsElapsed();
        attachCpuNs += cpuNs() - cpuMark;
    }
    part.start();
    t.NMailPop3Close(h);
    const qint64 closeMs = part.elapsed();
    if (qEnvironmentVariableIntValue("BENCH_PARTS"))
        printf("login %lld ms, status+size (retrieval, reading) %lld ms, body %lld ms, attachments %lld ms, "
               "close (deletions) %lld ms\n",
               loginMs, statusNs / 1000000, getNs / 1000000, attachNs / 1000000, closeMs);
    if (qEnvironmentVariableIntValue("BENCH_PARTS"))
        printf("  connect %lld ms of the login; on this thread's CPU: status+size %lld ms, attachments %lld ms\n",
               connectMs, statusCpuNs / 1000000, attachCpuNs / 1000000);
    const double ours = clock.elapsed() / 1000.0;
    const int left = servers.mailCount(QStringLiteral("taro"));

    // mpop on the same mailbox, also over STLS, delivering into a Maildir and deleting.
    if (!fill(servers, n, bytes))
        return 1;
    const QString maildir = work.filePath(QStringLiteral("Maildir"));
    for (const char *sub : {"new", "cur", "tmp"})
        QDir().mkpath(maildir + QLatin1Char('/') + QLatin1String(sub));
    const QString conf = work.filePath(QStringLiteral("mpoprc"));
    {
        QFile f(conf);
        f.open(QIODevice::WriteOnly);
        f.write(QStringLiteral(
                    "account bench\nhost 127.0.0.1\nport %1\nuser taro\npassword taro-pass-1\nauth user\n"
                    "tls on\ntls_starttls on\ntls_trust_file %2\ndelivery maildir %3\nkeep off\n"
                    "uidls_file %4\n")
                    .arg(servers.pop3Port())
                    .arg(servers.certificateFile(), maildir, work.filePath(QStringLiteral("uidls")))
                    .toUtf8());
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    }
    QProcess mpop;
    clock.restart();
    mpop.start(QStringLiteral("mpop"),
               {QStringLiteral("-C"), conf, QStringLiteral("-q"), QStringLiteral("bench")});
    mpop.waitForFinished(600000);
    const double theirs = clock.elapsed() / 1000.0;
    const int delivered = int(QDir(maildir + QStringLiteral("/new")).entryList(QDir::Files).size());

    printf("%d mails, %.1f MB in the mailbox\n", n, bytes / 1e6);
    printf("transport: %.2f s, %.0f mails/s (%d with attachments unpacked, %d left on the server)\n", ours,
           n / ours, stored, left);
    printf("mpop:      %.2f s, %.0f mails/s (exit %d, %d delivered, %d left on the server)\n", theirs,
           n / theirs, mpop.exitCode(), delivered, servers.mailCount(QStringLiteral("taro")));
    printf("ratio transport/mpop: %.2f\n", (n / ours) / (n / theirs));
    if (mpop.exitCode() != 0)
        fprintf(stderr, "%s\n", mpop.readAllStandardError().constData());
    return 0;
}
