#include "HistoryFile.h"

#include "RecordFile.h"
#include "platform/Cp932.h"

namespace {

const RecordFile::Layout &historyLayout()
{
    static const RecordFile::Layout layout{
        HistoryRecord::Size,
        HistoryRecord::LiveOffset,
        {QStringLiteral("データフォルダ（★MailData）が見つかりません。履歴に保存できませんでした。"),
         QStringLiteral("履歴ファイルに書き込めません。ディスクの空き容量を確認して下さい。"),
         QStringLiteral("履歴がいっぱいです（最大32767件）。不要なメールを削除して下さい。"),
         QStringLiteral("指定されたメールは履歴にありません。")},
    };
    return layout;
}

// Per thread: a send writes back the sent records a crash lost while an automatic check stores
// the received ones beside it.
thread_local QString g_lastError;

// Runs one changing operation on `file` and keeps its failure text for lastError().
template <typename Operation>
auto change(const QString &file, Operation operation)
{
    return RecordFile::change(file, historyLayout(), g_lastError, operation);
}

QString field(const QByteArray &bytes, int offset, int width)
{
    if (bytes.size() < offset + width)
        return QString();
    return Cp932::readField(bytes.constData() + offset, width);
}

} // namespace

HistoryRecord HistoryRecord::make(const QString &subject, const QString &date, const QString &address,
                                  const QString &body)
{
    HistoryRecord r;
    r.m_bytes.reserve(Size);
    r.m_bytes += Cp932::fixedField(subject, SubjectWidth);
    r.m_bytes += Cp932::fixedField(date, DateWidth);
    r.m_bytes += Cp932::fixedField(address, AddressWidth);
    r.m_bytes += Cp932::fixedField(body, BodyWidth);
    r.m_bytes += QByteArray("\r\n\x01\x00", 4);
    r.m_live = 1;
    return r;
}

HistoryRecord HistoryRecord::fromBytes(QByteArray bytes)
{
    HistoryRecord r;
    r.m_bytes = std::move(bytes);
    if (r.m_bytes.size() >= Size)
        r.m_live = RecordFile::liveFlag(r.m_bytes.constData() + LiveOffset);
    return r;
}

HistoryRecord HistoryRecord::fromHeading(QByteArray heading, qint16 live)
{
    HistoryRecord r;
    r.m_bytes = std::move(heading);
    r.m_live = live;
    return r;
}

QString HistoryRecord::Subject() const { return field(m_bytes, SubjectOffset, SubjectWidth); }
QString HistoryRecord::Date() const { return field(m_bytes, DateOffset, DateWidth); }
QString HistoryRecord::Address() const { return field(m_bytes, AddressOffset, AddressWidth); }
QString HistoryRecord::Body() const { return field(m_bytes, BodyOffset, BodyWidth); }
qint16 HistoryRecord::Live() const { return m_live; }

namespace History {

int AppendRecord(const QString &file, const HistoryRecord &record, Flush flush)
{
    return change(file, [&](RecordFile &records) { return records.append(record.bytes(), flush); });
}

bool FlushHistory(const QString &file)
{
    return change(file, [](RecordFile &records) { return records.flush(); });
}

std::optional<HistoryRecord> ReadRecord(const QString &file, int n, Fields fields)
{
    const RecordFile records(file, historyLayout());
    if (fields == Fields::Heading) {
        QByteArray heading(HistoryRecord::HeadingSize, Qt::Uninitialized);
        qint16 live = 0;
        if (!records.readPart(n, 0, HistoryRecord::HeadingSize, heading.data(), &live))
            return std::nullopt;
        return HistoryRecord::fromHeading(std::move(heading), live);
    }
    std::optional<QByteArray> bytes = records.read(n);
    if (!bytes)
        return std::nullopt;
    return HistoryRecord::fromBytes(std::move(*bytes));
}

int RecordCount(const QString &file)
{
    return RecordFile(file, historyLayout()).count();
}

bool MarkDeleted(const QString &file, int n)
{
    return change(file, [n](RecordFile &records) { return records.mark(n); });
}

bool CompactHistory(const QString &file)
{
    return change(file, [](RecordFile &records) { return records.compact(); });
}

bool DeleteAllRecords(const QString &file)
{
    return change(file, [](RecordFile &records) { return records.clear(); });
}

QString lastError()
{
    return g_lastError;
}

} // namespace History
