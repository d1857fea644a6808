#include "AddressBookFile.h"

#include "platform/Cp932.h"
#include "platform/ProgramFolder.h"

namespace {

const RecordFile::Layout &bookLayout()
{
    static const RecordFile::Layout layout{
        AddressRecord::Size,
        AddressRecord::LiveOffset,
        {QStringLiteral("データフォルダ（★MailData）が見つかりません。アドレス帳に保存できませんでした。"),
         QStringLiteral("アドレス帳ファイルに書き込めません。ディスクの空き容量を確認して下さい。"),
         QStringLiteral("アドレス帳がいっぱいです（最大32767件）。不要なデータを削除して下さい。"),
         QStringLiteral("指定されたデータはアドレス帳にありません。")},
    };
    return layout;
}

QString g_lastError;

template <typename Operation>
auto change(const QString &file, Operation operation)
{
    return RecordFile::change(file, bookLayout(), g_lastError, operation);
}

QString paddedField(const QByteArray &bytes, int offset, int width)
{
    return Cp932::readField(bytes.constData() + offset, width).leftJustified(width, u' ');
}

} // namespace

AddressRecord AddressRecord::make(const QString &name, const QString &address)
{
    AddressRecord r;
    r.m_bytes.reserve(Size);
    r.m_bytes += Cp932::fixedField(name.leftJustified(NameCharacters, QChar(0x3000)), NameWidth);
    r.m_bytes += QByteArray("\r\n\x01\x00", 4);
    r.m_bytes += Cp932::fixedField(address, AddressWidth);
    return r;
}

AddressRecord AddressRecord::fromBytes(QByteArray bytes)
{
    AddressRecord r;
    r.m_bytes = std::move(bytes);
    r.m_bytes.resize(Size, '\0');
    return r;
}

QString AddressRecord::Name() const { return paddedField(m_bytes, NameOffset, NameWidth); }
QString AddressRecord::Address() const { return paddedField(m_bytes, AddressOffset, AddressWidth); }
qint16 AddressRecord::Live() const { return RecordFile::liveFlag(m_bytes.constData() + LiveOffset); }

namespace AddressBook {

QString addressProblem(const QString &address)
{
    const QByteArray bytes = Cp932::fromUnicode(address);
    if (Cp932::toUnicode(bytes) != address)
        return QStringLiteral("メールアドレスに、アドレス帳に保存できない文字が含まれています。");
    if (address.size() > AddressCharacters || bytes.size() > AddressRecord::AddressWidth)
        return QStringLiteral("メールアドレスが長すぎます。アドレス帳に登録できるのは半角%1文字までです。")
            .arg(AddressCharacters);
    return {};
}

QString BookFile() { return ProgramFolder::resolve(QStringLiteral("★MAilData/Ppdata20.data")); }
QString MasterFile() { return ProgramFolder::resolve(QStringLiteral("★MAilData/PPMASTER20.INI")); }

QList<AddressRecord> ReadAll(const QString &file)
{
    const QByteArray bytes = change(file, [](RecordFile &records) {
        return records.create() ? records.readAll() : QByteArray();
    });
    QList<AddressRecord> all;
    all.reserve(bytes.size() / AddressRecord::Size);
    for (qsizetype at = 0; at + AddressRecord::Size <= bytes.size(); at += AddressRecord::Size)
        all.append(AddressRecord::fromBytes(bytes.mid(at, AddressRecord::Size)));
    return all;
}

QStringList ReadNames(const QString &file)
{
    QStringList names;
    for (const AddressRecord &record : ReadAll(file))
        names.append(record.Name());
    return names;
}

std::optional<AddressRecord> ReadRecord(const QString &file, int n)
{
    std::optional<QByteArray> bytes = RecordFile(file, bookLayout()).read(n);
    if (!bytes)
        return std::nullopt;
    return AddressRecord::fromBytes(std::move(*bytes));
}

int RecordCount(const QString &file)
{
    return RecordFile(file, bookLayout()).count();
}

std::optional<QString> BulkRecipient(const QString &file, int i)
{
    const std::optional<AddressRecord> record = ReadRecord(file, i);
    if (!record)
        return std::nullopt;
    QString address = record->Address();
    qsizetype end = address.size();
    while (end > 0 && address[end - 1] == u' ')
        --end;
    address.truncate(end);
    return address;
}

bool WriteAddressRecord(const QString &file, int n, const QString &name, const QString &address)
{
    // Record numbers end at 32767, also in a book that has grown beyond that by other means: the
    // next number must not land on an existing record past the limit.
    if (n > MaxRecords) {
        g_lastError = bookLayout().texts.full;
        return false;
    }
    const AddressRecord record = AddressRecord::make(name, address);
    return change(file, [&](RecordFile &records) { return records.write(n, record.bytes()); });
}

bool MarkDeleted(const QString &file, int n)
{
    return change(file, [n](RecordFile &records) { return records.mark(n); });
}

bool PurgeDeletedRecords(const QString &file)
{
    return change(file, [](RecordFile &records) { return records.compact(); });
}

QString lastError()
{
    return g_lastError;
}

} // namespace AddressBook
