#pragma once

#include "store/RecordFile.h"

#include <QByteArray>
#include <QString>

#include <optional>

// One record of the received or the sent history: four fixed-width code page 932 text fields,
// CR LF and a 16-bit little-endian live flag, 32284 bytes in all.
class HistoryRecord
{
public:
    static constexpr int SubjectOffset = 0, SubjectWidth = 100;
    static constexpr int DateOffset = 100, DateWidth = 90;
    static constexpr int AddressOffset = 190, AddressWidth = 90;
    static constexpr int BodyOffset = 280, BodyWidth = 32000;
    static constexpr int LineEndOffset = 32280;
    static constexpr int LiveOffset = 32282;
    static constexpr int Size = 32284;
    // The bytes before the body: enough to list a record.
    static constexpr int HeadingSize = BodyOffset;

    // A live record; each text is cut at a character boundary to its field and filled with spaces.
    static HistoryRecord make(const QString &subject, const QString &date, const QString &address,
                              const QString &body);
    // Wraps raw bytes read from a file (the whole record, or only its heading).
    static HistoryRecord fromBytes(QByteArray bytes);
    // Only the heading (subject, date, address) and the live flag.
    static HistoryRecord fromHeading(QByteArray heading, qint16 live);

    // Field values as stored: decoded up to the first NUL, fill spaces included. Each call decodes
    // its field afresh, so listing a history never pays for the bodies.
    QString Subject() const;
    QString Date() const;
    QString Address() const;
    QString Body() const; // empty when only the heading was read
    qint16 Live() const;

    // The record's bytes: all 32284, or only the heading when only that was read.
    const QByteArray &bytes() const { return m_bytes; }

private:
    QByteArray m_bytes;
    qint16 m_live = 0; // used when m_bytes holds only the heading
};

// The operations on a history file. Each opens the file, does its work and closes it again.
namespace History {

// Records beyond this number cannot be addressed (record numbers are signed 16-bit).
constexpr int MaxRecords = RecordFile::MaxRecords;

enum class Fields { All, Heading };

// Appends `record` as record n = whole records + 1 and returns n. Returns 0 when the record could
// not be stored completely (folder missing, disk full, history full); the file then holds what
// it held before, and `lastError()` says why in words for the user. A partial record at the end
// of the file (left by a crash) cannot be read anyway; it is cut off first, so the new record
// lands right after the last whole one.
// With `Flush::Later` the record is written but not yet forced to the disk: for many records in
// a row (a mail check), followed by one FlushHistory.
using Flush = RecordFile::Flush;
int AppendRecord(const QString &file, const HistoryRecord &record, Flush flush = Flush::Now);

// Forces what was appended with `Flush::Later` to the disk. False when that fails (lastError).
bool FlushHistory(const QString &file);

// Record n, or nothing when the file holds no complete record n. `Fields::Heading` reads only
// the heading and the live flag. A missing file reads as empty and is not created.
std::optional<HistoryRecord> ReadRecord(const QString &file, int n, Fields fields = Fields::All);

// Number of complete records.
int RecordCount(const QString &file);

// Sets the live flag of record n to 0. False when there is no complete record n.
bool MarkDeleted(const QString &file, int n);

// Removes every record whose live flag is 0. The data file is replaced by rename only after the
// survivors have been written and flushed, so at every instant one complete history exists.
bool CompactHistory(const QString &file);

// Leaves the file empty (it is created when missing).
bool DeleteAllRecords(const QString &file);

// Why the last AppendRecord, MarkDeleted, CompactHistory or DeleteAllRecords failed, in Japanese
// for a message box; empty after one that succeeded. Reading never changes it.
QString lastError();

} // namespace History
