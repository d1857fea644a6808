#include "addressbook/AddressBookFile.h"

#include "platform/Cp932.h"
#include "FileSizeLimit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

constexpr int Size = AddressRecord::Size;
const QString kCannotWrite = QStringLiteral("アドレス帳ファイルに書き込めません。ディスクの空き容量を確認して下さい。");

QByteArray repeat(const char *bytes, int times)
{
    return QByteArray(bytes).repeated(times);
}

// A program folder with an empty data folder, which the program finds through WANDERPUP_HOME.
class AddressBookFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir(home.path()).mkdir(QStringLiteral("★MailData")));
        qputenv("WANDERPUP_HOME", QFile::encodeName(home.path()));
        book = AddressBook::BookFile();
    }
    void TearDown() override { qunsetenv("WANDERPUP_HOME"); }

    QString data(const QString &name) const { return home.path() + QStringLiteral("/★MailData/") + name; }
    static QByteArray contents(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QStringList dataFiles() const { return QDir(data({})).entryList(QDir::Files); }
    void registerEntry(const QString &name, const QString &address)
    {
        const int n = AddressBook::RecordCount(book) + 1;
        ASSERT_TRUE(AddressBook::WriteAddressRecord(book, n, name, address))
            << qPrintable(AddressBook::lastError());
    }
    QStringList addresses() const
    {
        QStringList all;
        for (const AddressRecord &r : AddressBook::ReadAll(book))
            all << r.Address().trimmed();
        return all;
    }

    QTemporaryDir home;
    QString book;
};

} // namespace

TEST_F(AddressBookFileTest, RecordsAreByteExactAndReadBackAsNinetyCharacters)
{
    const QString address = QStringLiteral("taro@example.jp12345"); // 20 characters
    const AddressRecord yamada = AddressRecord::make(QStringLiteral("山田"), address);
    EXPECT_EQ(yamada.bytes(), "\x8E\x52\x93\x63" + repeat("\x81\x40", 28) + repeat(" ", 30) + "\r\n"
                                  + QByteArray("\x01\x00", 2) + address.toLatin1() + repeat(" ", 70));

    // 30 characters get no full-width fill, 29 get one; ASCII names are filled by characters too.
    const QByteArray a = Cp932::fromUnicode(QStringLiteral("あ"));
    EXPECT_EQ(AddressRecord::make(QString(30, u'あ'), "x").bytes().left(90), a.repeated(30) + repeat(" ", 30));
    EXPECT_EQ(AddressRecord::make(QString(29, u'あ'), "x").bytes().left(90),
              a.repeated(29) + "\x81\x40" + repeat(" ", 30));
    EXPECT_EQ(AddressRecord::make("ab", "x").bytes().left(90), "ab" + repeat("\x81\x40", 28) + repeat(" ", 32));

    registerEntry(QStringLiteral("山田"), QStringLiteral(" taro@example.jp"));
    ASSERT_EQ(contents(book).size(), Size);
    const auto read = AddressBook::ReadRecord(book, 1);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->Name(), QStringLiteral("山田") + QString(28, QChar(0x3000)) + QString(60, u' '));
    EXPECT_EQ(read->Address(), QStringLiteral(" taro@example.jp") + QString(74, u' '));
    EXPECT_EQ(read->Live(), 1);
    EXPECT_EQ(AddressBook::BulkRecipient(book, 1), QStringLiteral(" taro@example.jp"));
    EXPECT_FALSE(AddressBook::BulkRecipient(book, 2));
}

TEST_F(AddressBookFileTest, PurgeKeepsTheOthersInOrderAndLeavesNoTemporaryFile)
{
    registerEntry("a", "one@example.jp");
    registerEntry("b", "two@example.jp");
    registerEntry("c", "two@example.jp"); // the same address twice is kept
    const QByteArray before = contents(book);

    // Nothing marked: the book stays byte for byte.
    ASSERT_TRUE(AddressBook::PurgeDeletedRecords(book));
    EXPECT_EQ(contents(book), before);

    QFile(data("ppdata20.tmp")).open(QIODevice::WriteOnly); // left by an interrupted purge
    ASSERT_TRUE(AddressBook::MarkDeleted(book, 2));
    ASSERT_TRUE(AddressBook::PurgeDeletedRecords(book));
    EXPECT_EQ(contents(book), before.left(Size) + before.mid(2 * Size));
    EXPECT_EQ(addresses(), (QStringList{"one@example.jp", "two@example.jp"}));
    EXPECT_EQ(dataFiles(), QStringList{"Ppdata20.data"});
    EXPECT_FALSE(AddressBook::MarkDeleted(book, 3));
}

TEST_F(AddressBookFileTest, DiskFaultDuringPurgeLeavesTheOldBookWhole)
{
    registerEntry("a", "one@example.jp");
    registerEntry("b", "two@example.jp");
    registerEntry("c", "three@example.jp");
    ASSERT_TRUE(AddressBook::MarkDeleted(book, 1));
    const QByteArray before = contents(book);
    {
        FileSizeLimit limit(Size + 10); // room for one survivor of two
        EXPECT_FALSE(AddressBook::PurgeDeletedRecords(book));
    }
    EXPECT_EQ(AddressBook::lastError(), kCannotWrite);
    EXPECT_EQ(contents(book), before);
    EXPECT_EQ(dataFiles(), QStringList{"Ppdata20.data"});

    ASSERT_TRUE(AddressBook::PurgeDeletedRecords(book));
    EXPECT_EQ(addresses(), (QStringList{"two@example.jp", "three@example.jp"}));
}

TEST_F(AddressBookFileTest, MissingDataFolderIsReportedAndNeverCreated)
{
    ASSERT_TRUE(QDir(data({})).removeRecursively());
    const QString missing =
        QStringLiteral("データフォルダ（★MailData）が見つかりません。アドレス帳に保存できませんでした。");

    EXPECT_TRUE(AddressBook::ReadNames(AddressBook::MasterFile()).isEmpty());
    EXPECT_EQ(AddressBook::lastError(), missing);
    EXPECT_FALSE(AddressBook::WriteAddressRecord(book, 1, "a", "a@example.jp"));
    EXPECT_EQ(AddressBook::lastError(), missing);
    EXPECT_EQ(QDir(home.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
}

TEST_F(AddressBookFileTest, FullBookRefusesTheNextEntry)
{
    {
        QFile f(book);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(qint64(AddressBook::MaxRecords) * Size)); // sparse
    }
    EXPECT_FALSE(AddressBook::WriteAddressRecord(book, AddressBook::MaxRecords + 1, "a", "a@example.jp"));
    EXPECT_EQ(AddressBook::lastError(),
              QStringLiteral("アドレス帳がいっぱいです（最大32767件）。不要なデータを削除して下さい。"));
    EXPECT_EQ(QFileInfo(book).size(), qint64(AddressBook::MaxRecords) * Size);

    // A book already beyond the limit: the next number is not written over the record there.
    {
        QFile f(book);
        ASSERT_TRUE(f.open(QIODevice::Append));
        f.write(AddressRecord::make("kept", "kept@example.jp").bytes());
    }
    EXPECT_FALSE(AddressBook::WriteAddressRecord(book, AddressBook::RecordCount(book) + 1, "a", "a@example.jp"));
    EXPECT_EQ(contents(book).right(Size), AddressRecord::make("kept", "kept@example.jp").bytes());
}

TEST_F(AddressBookFileTest, NameListsAreFoundInAnyLetterCaseAndCreatedWhenMissing)
{
    // A missing list is created empty, under the program's spelling.
    EXPECT_TRUE(AddressBook::ReadNames(AddressBook::MasterFile()).isEmpty());
    EXPECT_TRUE(AddressBook::lastError().isEmpty());
    EXPECT_EQ(dataFiles(), QStringList{"PPMASTER20.INI"});
    ASSERT_TRUE(QFile::remove(data("PPMASTER20.INI")));

    // A list in another letter case is the same file, read even when it may not be written.
    const QString master = data("ppmaster20.ini");
    {
        QFile f(master);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(AddressRecord::make(QStringLiteral("山田"), "y@example.jp").bytes()
                + AddressRecord::make("ab", "ab@example.jp").bytes() + "partial");
    }
    ASSERT_EQ(::chmod(QFile::encodeName(master).constData(), 0444), 0);
    EXPECT_EQ(AddressBook::MasterFile(), master);
    const QStringList names = AddressBook::ReadNames(AddressBook::MasterFile());
    EXPECT_TRUE(AddressBook::lastError().isEmpty());
    ASSERT_EQ(names.size(), 2);
    EXPECT_EQ(names[0], QStringLiteral("山田") + QString(28, QChar(0x3000)) + QString(60, u' '));
    EXPECT_EQ(names[1].size(), 90);
    EXPECT_EQ(dataFiles(), QStringList{"ppmaster20.ini"});
}
