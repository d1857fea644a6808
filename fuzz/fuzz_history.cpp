// History files as they may be found on a disk: any file is read without harm; an appended record
// lands after the last whole record and reads back byte for byte; compaction keeps exactly the
// live records, in order.
#include "FuzzInput.h"
#include "store/HistoryFile.h"

#include <QFile>
#include <QTemporaryDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir;
    static const QString file = dir.filePath(QStringLiteral("ppdata2.data"));
    FuzzInput in(data, size);
    const QString subject = QString::fromUtf8(in.piece());
    const QString body = QString::fromUtf8(in.piece());
    const int mark = in.number(8);
    // Up to a few records' worth, with whatever tail.
    QByteArray content = in.rest();
    if (content.size() > 4 * HistoryRecord::Size)
        content.truncate(4 * HistoryRecord::Size);
    {
        QFile f(file);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(content);
    }
    const int count = History::RecordCount(file);
    FUZZ_CHECK(count == int(content.size() / HistoryRecord::Size));
    for (int n = 1; n <= count + 1; ++n) {
        const auto all = History::ReadRecord(file, n);
        const auto heading = History::ReadRecord(file, n, History::Fields::Heading);
        FUZZ_CHECK(bool(all) == (n <= count) && bool(heading) == (n <= count));
        if (all) {
            FUZZ_CHECK(all->bytes() == content.mid((n - 1) * HistoryRecord::Size, HistoryRecord::Size));
            FUZZ_CHECK(heading->Subject() == all->Subject() && heading->Live() == all->Live());
            (void)all->Body();
        }
    }

    const HistoryRecord record = HistoryRecord::make(subject, QStringLiteral("date"), QStringLiteral("a@b"), body);
    FUZZ_CHECK(record.bytes().size() == HistoryRecord::Size);
    FUZZ_CHECK(History::AppendRecord(file, record) == count + 1);
    const auto back = History::ReadRecord(file, count + 1);
    FUZZ_CHECK(back && back->bytes() == record.bytes());

    if (mark >= 1 && mark <= count + 1)
        FUZZ_CHECK(History::MarkDeleted(file, mark));
    QList<QByteArray> live;
    for (int n = 1; n <= count + 1; ++n)
        if (const auto r = History::ReadRecord(file, n); r && r->Live() != 0)
            live.append(r->bytes());
    FUZZ_CHECK(History::CompactHistory(file));
    FUZZ_CHECK(History::RecordCount(file) == live.size());
    for (int n = 1; n <= live.size(); ++n)
        FUZZ_CHECK(History::ReadRecord(file, n)->bytes() == live[n - 1]);
    return 0;
}
