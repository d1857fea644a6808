#pragma once

#include "store/RecordFile.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// One entry of the address book: a 90-byte name field, CR LF, a 16-bit little-endian flag and
// a 90-byte address field, 184 bytes in all, in code page 932.
class AddressRecord
{
public:
    static constexpr int NameOffset = 0, NameWidth = 90;
    static constexpr int LineEndOffset = 90;
    static constexpr int LiveOffset = 92;
    static constexpr int AddressOffset = 94, AddressWidth = 90;
    static constexpr int Size = 184;
    // A name is filled with full-width spaces to this many characters before the ASCII fill.
    static constexpr int NameCharacters = 30;

    // A live entry: the name filled with full-width spaces to 30 characters, then each field
    // cut at a character boundary to its 90 bytes and filled with ASCII spaces.
    static AddressRecord make(const QString &name, const QString &address);
    // Wraps the 184 bytes of a record read from a file.
    static AddressRecord fromBytes(QByteArray bytes);

    // The fields as 90-character strings: the bytes decoded up to the first NUL, padded with
    // spaces to 90 characters. Readers trim as they need.
    QString Name() const;
    QString Address() const;
    qint16 Live() const;

    const QByteArray &bytes() const { return m_bytes; }

private:
    QByteArray m_bytes;
};

// The address book Ppdata20.data and the name list PPMASTER20.INI, both of AddressRecords.
// Each operation opens the file, does its work and closes it again. Opening a book to read it
// creates it empty when it is missing, as the windows expect; a missing data folder is never
// created.
namespace AddressBook {

constexpr int MaxRecords = RecordFile::MaxRecords;

// The longest address the book takes, in characters: the compose window's To field holds no
// more.
constexpr int AddressCharacters = 60;
// Why `address` would not be stored as given (too long for the box or the record's 90 bytes, or
// a character without a code page 932 form), in Japanese for a message box; empty when it fits.
QString addressProblem(const QString &address);

// ★MAilData/Ppdata20.data and ★MAilData/PPMASTER20.INI under the program folder, in whatever
// letter case they have on disk.
QString BookFile();
QString MasterFile();

// Every record of `file` in file order (the flag is not looked at); the file is created empty
// when missing. Empty, with lastError() saying why, when it can be neither read nor created.
QList<AddressRecord> ReadAll(const QString &file);
// The name field of every record, 90 characters each, fill spaces included (the compose
// window's list); created empty when missing, as ReadAll.
QStringList ReadNames(const QString &file);

// Record n, or nothing when the file holds no complete record n. Does not create the file.
std::optional<AddressRecord> ReadRecord(const QString &file, int n);
// Number of complete records.
int RecordCount(const QString &file);

// The recipient of mail i of a bulk send: the address field of record i with trailing spaces
// removed; nothing when there is no record i.
std::optional<QString> BulkRecipient(const QString &file, int i);

// Writes an AddressRecord of `name` and `address` as record n: over an existing record, or as a
// new one for n = RecordCount + 1 (registering). False when it could not be written (folder
// missing, disk full, 32767 entries, n beyond that); the file is then unchanged and
// lastError() says why.
bool WriteAddressRecord(const QString &file, int n, const QString &name, const QString &address);
// Sets the flag of record n to 0; PurgeDeletedRecords then removes it.
bool MarkDeleted(const QString &file, int n);
// Rewrites the book without the records whose flag is 0, keeping the order. The survivors go
// to PPDATA20.TMP, which is flushed and then renamed over the book, so a crash or a full disk
// leaves either the old book or the new one, whole, and no TMP behind.
bool PurgeDeletedRecords(const QString &file);

// Why the last WriteAddressRecord, MarkDeleted, PurgeDeletedRecords, or the creation of a
// missing file by ReadAll/ReadNames failed, in Japanese for a message box; empty after one
// that succeeded.
QString lastError();

} // namespace AddressBook
