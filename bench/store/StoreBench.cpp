// Timings of the history file operations on a large history; driven by run.sh.
//
//   store_bench make FILE N      write a history of N records (the setup, not timed)
//   store_bench list FILE        ReadRecord(n, Heading) for n = 1.. and decode subject, date, address
//   store_bench fields FILE      ReadRecord(n, All) and decode subject, date, address
//   store_bench bodies FILE      ReadRecord(n, All) and decode every field, the body too
//   store_bench compact FILE     MarkDeleted(2), then CompactHistory
//   store_bench originals FOLDER a 20 MB mail kept in a Maildir there with LF line ends and as it
//                                travelled (one LF of its own), and read back; medians of 7 rounds
#include "store/HistoryFile.h"
#include "store/Maildir.h"

#include <QElapsedTimer>
#include <QFile>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <tuple>
#include <vector>

namespace {

int make(const QString &file, int count)
{
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
        return 1;
    }
    QString paragraph;
    for (int i = 0; i < 20; ++i)
        paragraph += QStringLiteral("こんにちは。お元気ですか？表計算のソフトの件でご連絡します。①〜⑩\r\n");
    for (int n = 1; n <= count; ++n) {
        const HistoryRecord r = HistoryRecord::make(
            QStringLiteral("Re: 打ち合わせの件 %1").arg(n), QStringLiteral("Wed, 9 Dec 2026 10:%1:00 +0900").arg(n % 60),
            QStringLiteral("山田 太郎 <taro%1@example.jp>").arg(n), paragraph.repeated(1 + n % 8));
        if (out.write(r.bytes()) != r.bytes().size()) {
            std::fprintf(stderr, "write failed\n");
            return 1;
        }
    }
    return out.flush() ? 0 : 1;
}

// Walks the history as the history list does; returns a checksum so nothing is optimised away.
qint64 walk(const QString &file, History::Fields fields, bool bodies, int &records)
{
    qint64 sum = 0;
    records = 0;
    for (int n = 1;; ++n) {
        const auto r = History::ReadRecord(file, n, fields);
        if (!r)
            break;
        ++records;
        sum += r->Subject().size() + r->Date().size() + r->Address().size();
        if (bodies)
            sum += r->Body().size();
    }
    return sum;
}

} // namespace

// Kept with LF (the CR LF of every line taken out on the way) against kept as it is, and each
// read back; the same writes and reads in every round, alternately.
int originals(const QString &folder)
{
    Maildir maildir(folder + QStringLiteral("/Received"));
    if (!maildir.ensure(nullptr))
        return 1;
    QByteArray mail = "Subject: big\r\nContent-Transfer-Encoding: base64\r\n\r\n";
    const QByteArray line = QByteArray(76, 'Q') + "\r\n";
    while (mail.size() < 20 << 20)
        mail += line;
    QByteArray asItIs = mail;
    asItIs[20] = '\n'; // a LF of its own: kept as it travelled
    std::vector<double> name, writeLf, writeAsIs, readLf, readAsIs;
    const auto ms = [](QElapsedTimer &t) { return t.nsecsElapsed() / 1e6; };
    for (int round = 0; round < 7; ++round) {
        QElapsedTimer t;
        t.start();
        const QString lf = Maildir::newName(mail);
        name.push_back(ms(t));
        for (const auto &[bytes, named, written, read] :
             {std::tuple(&mail, lf, &writeLf, &readLf), std::tuple(&asItIs, Maildir::newName(asItIs), &writeAsIs, &readAsIs)}) {
            t.restart();
            const std::optional<Maildir::Pending> kept = maildir.write(*bytes, nullptr, named);
            written->push_back(ms(t));
            t.restart();
            const std::optional<QByteArray> back = kept ? Maildir::read(kept->temporary) : std::nullopt;
            read->push_back(ms(t));
            if (!back || *back != *bytes) {
                std::fprintf(stderr, "the mail did not come back as it was\n");
                return 1;
            }
            QFile::remove(kept->temporary);
        }
    }
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    std::printf("20 MB mail: looking at its lines %.1f ms; kept with LF %.1f ms, as it is %.1f ms (ratio %.2f, "
                "each with fsync); read back to CR LF %.1f ms, as it is %.1f ms (ratio %.2f)\n",
                median(name), median(writeLf), median(writeAsIs), median(writeLf) / median(writeAsIs),
                median(readLf), median(readAsIs), median(readLf) / median(readAsIs));
    return 0;
}

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: store_bench make|list|fields|bodies|compact FILE [N] | originals FOLDER\n");
        return 2;
    }
    const char *mode = argv[1];
    const QString file = QFile::decodeName(argv[2]);
    if (std::strcmp(mode, "make") == 0)
        return make(file, argc > 3 ? std::atoi(argv[3]) : 10000);
    if (std::strcmp(mode, "originals") == 0)
        return originals(file);

    QElapsedTimer timer;
    timer.start();
    if (std::strcmp(mode, "compact") == 0) {
        const bool ok = History::MarkDeleted(file, 2) && History::CompactHistory(file);
        std::printf("%s %.3f s records=%d%s\n", mode, timer.nsecsElapsed() / 1e9, History::RecordCount(file),
                    ok ? "" : " FAILED");
        return ok ? 0 : 1;
    }
    int records = 0;
    qint64 sum = 0;
    if (std::strcmp(mode, "list") == 0)
        sum = walk(file, History::Fields::Heading, false, records);
    else if (std::strcmp(mode, "fields") == 0)
        sum = walk(file, History::Fields::All, false, records);
    else if (std::strcmp(mode, "bodies") == 0)
        sum = walk(file, History::Fields::All, true, records);
    else
        return 2;
    std::printf("%s %.3f s records=%d checksum=%lld\n", mode, timer.nsecsElapsed() / 1e9, records,
                static_cast<long long>(sum));
    return 0;
}
