#include "HistoryFile.h"

// Placeholder until the history file operations land.
HistoryRecord HistoryRecord::make(const QString &, const QString &, const QString &, const QString &) { return {}; }
HistoryRecord HistoryRecord::fromBytes(QByteArray bytes) { HistoryRecord r; r.m_bytes = std::move(bytes); return r; }
QString HistoryRecord::Subject() const { return {}; }
QString HistoryRecord::Date() const { return {}; }
QString HistoryRecord::Address() const { return {}; }
QString HistoryRecord::Body() const { return {}; }
qint16 HistoryRecord::Live() const { return 0; }

namespace History {
int AppendRecord(const QString &, const HistoryRecord &) { return 0; }
std::optional<HistoryRecord> ReadRecord(const QString &, int, Fields) { return std::nullopt; }
int RecordCount(const QString &) { return 0; }
bool MarkDeleted(const QString &, int) { return false; }
bool CompactHistory(const QString &) { return false; }
bool DeleteAllRecords(const QString &) { return false; }
QString lastError() { return {}; }
} // namespace History
