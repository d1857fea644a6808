#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// A file of fixed-length records without a header: record n (counted from 1) starts at
// (n - 1) x record length. Every record carries a 16-bit little-endian live flag (0 = marked
// deleted) at an offset the layout gives. Each operation opens the file, does its work and
// closes it again; no descriptor outlives a call.
//
// Failure contract: an operation that changes the file either completes or leaves the file as
// it was, and says why in lastError() (in Japanese, for a message box). Reading never sets it.
class RecordFile
{
public:
    // Record numbers are signed 16-bit: records beyond this one cannot be addressed.
    static constexpr int MaxRecords = 32767;

    // What a failed operation reports, in the words of the file's owner.
    struct Texts
    {
        QString missingFolder; // the data folder does not exist
        QString cannotWrite;   // the disk refused (full, read-only, no permission)
        QString full;          // MaxRecords reached
        QString noRecord;      // there is no complete record n
    };
    struct Layout
    {
        int size;       // bytes per record
        int liveOffset; // where in the record the live flag lies
        Texts texts;
    };

    // `layout` must outlive the object (layouts are static tables).
    RecordFile(const QString &path, const Layout &layout);

    const QString &path() const { return m_path; }
    // PPDATA2.TMP beside ppdata2.data, in whatever letter case it already has on disk.
    QString temporaryFile() const;

    // Number of complete records (a partial record left by a crash does not count).
    int count() const;

    // Record n whole, or nothing when the file holds no complete record n. A missing file
    // reads as empty and is not created.
    std::optional<QByteArray> read(int n) const;
    // Only `length` bytes at `offset` of record n into `data`, and the live flag when `live` is
    // given; one open for both. False when there is no complete record n.
    bool readPart(int n, int offset, int length, char *data, qint16 *live = nullptr) const;
    // Every complete record, in file order; a missing or unreadable file reads as empty.
    QByteArray readAll() const;

    // Appends `record` (exactly one record long) as record n = whole records + 1 and returns n,
    // or 0 when it could not be stored completely. A partial record at the end is cut off
    // first, so the new record lands right after the last whole one. With Flush::Later the
    // record is written but not yet forced to the disk (many appends, then one flush()).
    enum class Flush { Now, Later };
    int append(const QByteArray &record, Flush flush = Flush::Now);
    // Forces earlier appends to the disk, and the folder entry of a new file.
    bool flush();
    // Writes `record` as record n: in place for an existing record, as an append for
    // n = count() + 1. Numbers beyond that are refused (no gaps).
    bool write(int n, const QByteArray &record);
    // Sets the live flag of record n to 0.
    bool mark(int n);
    // Removes every record whose live flag is 0 (and a partial tail). The survivors go to the
    // temporary file, which is flushed and then renamed over the data file, so at every
    // instant one complete file exists. A data file that is a symbolic link stays one: the
    // file it points to is replaced.
    bool compact();
    // Creates the file empty when it is missing (never its folder).
    bool create();
    // Leaves the file empty, in one step (created when missing).
    bool clear();

    // Why the last changing operation failed; empty after one that succeeded.
    const QString &lastError() const { return m_lastError; }

    // Runs one operation on the file at `path` and keeps its failure text in `lastError`.
    template <typename Operation>
    static auto change(const QString &path, const Layout &layout, QString &lastError, Operation operation)
    {
        RecordFile records(path, layout);
        const auto result = operation(records);
        lastError = records.lastError();
        return result;
    }

    static qint16 liveFlag(const char *bytes)
    {
        return qint16(quint16(uchar(bytes[0])) | quint16(uchar(bytes[1])) << 8);
    }

private:
    bool fail(const QString &text);
    bool failWrite(int error);
    bool folderExists() const;

    QString m_path;
    const Layout &m_layout;
    QString m_lastError;
};
