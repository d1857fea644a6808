#include "store/HistoryFile.h"

#include "platform/Cp932.h"
#include "platform/ProgramFolder.h"
#include "FileSizeLimit.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int Size = HistoryRecord::Size;

const QString kMissingFolder =
    QStringLiteral("データフォルダ（★MailData）が見つかりません。履歴に保存できませんでした。");
const QString kCannotWrite = QStringLiteral("履歴ファイルに書き込めません。ディスクの空き容量を確認して下さい。");
const QString kFull = QStringLiteral("履歴がいっぱいです（最大32767件）。不要なメールを削除して下さい。");

class HistoryFileTest : public ::testing::Test
{
protected:
    TempProgramFolder folder;
    QString file = ProgramFolder::receivedHistory();

    QByteArray contents() const
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    qint64 length() const { return QFileInfo(file).size(); }
    QStringList dataFolderFiles() const
    {
        return QDir(ProgramFolder::dataFolder()).entryList(QDir::Files | QDir::Hidden);
    }
    void appendNumbered(int count)
    {
        for (int i = 1; i <= count; ++i)
            ASSERT_EQ(History::AppendRecord(file, record(i)), i);
    }
    static HistoryRecord record(int i)
    {
        return HistoryRecord::make(QStringLiteral("件名%1").arg(i), "2026/12/09  10:00:00",
                                   QStringLiteral("user%1@example.jp").arg(i), QStringLiteral("本文%1").arg(i));
    }
    QString subject(int n) const
    {
        const auto r = History::ReadRecord(file, n, History::Fields::Heading);
        return r ? r->Subject().trimmed() : QStringLiteral("<end>");
    }
};

} // namespace

TEST_F(HistoryFileTest, MissingFileListsEmptyAndFirstAppendIsRecordOne)
{
    EXPECT_FALSE(History::ReadRecord(file, 1));
    EXPECT_EQ(History::RecordCount(file), 0);
    EXPECT_FALSE(QFile::exists(file)) << "reading must not create the file";

    EXPECT_EQ(History::AppendRecord(file, record(1)), 1);
    EXPECT_TRUE(History::lastError().isEmpty());
    const QByteArray bytes = contents();
    ASSERT_EQ(bytes.size(), Size);
    EXPECT_EQ(bytes.mid(32280, 4), QByteArray("\r\n\x01\x00", 4));
    EXPECT_EQ(History::AppendRecord(file, record(2)), 2);
    EXPECT_EQ(length(), 2 * Size);
    EXPECT_EQ(contents().mid(Size + 32280, 4), QByteArray("\r\n\x01\x00", 4));
}

TEST_F(HistoryFileTest, RecordFieldsAreFixedWidthCodePage932)
{
    const HistoryRecord r = HistoryRecord::make(QString(30, QChar(u'漢')), "date", "abc", QStringLiteral("表ソ①"));
    const QByteArray &b = r.bytes();
    ASSERT_EQ(b.size(), Size);
    EXPECT_EQ(b.mid(60, 40), QByteArray(40, ' '));
    EXPECT_EQ(b.mid(100, 90), "date" + QByteArray(86, ' '));
    EXPECT_EQ(b.mid(190, 90), "abc" + QByteArray(87, ' '));
    EXPECT_EQ(b.mid(280, 6), QByteArray("\x95\x5C\x83\x5C\x87\x40"));
    EXPECT_EQ(r.Address(), "abc" + QString(87, u' '));
    EXPECT_EQ(r.Body().trimmed(), QStringLiteral("表ソ①"));
    EXPECT_EQ(r.Live(), 1);

    // 70 double-byte characters are cut to the 100 bytes of the field.
    const HistoryRecord cut = HistoryRecord::make(QString(70, QChar(u'漢')), {}, {}, {});
    EXPECT_EQ(cut.Subject(), QString(50, QChar(u'漢')));
    EXPECT_EQ(cut.bytes().mid(100, 90), QByteArray(90, ' '));

    // A field ends at its first NUL; a marked record reads its flag as 0.
    QByteArray raw = r.bytes();
    raw[3] = '\0';
    raw[32282] = 0;
    const HistoryRecord fromDisk = HistoryRecord::fromBytes(raw);
    EXPECT_EQ(fromDisk.Subject(), QString(1, QChar(u'漢')) + QChar(0xFFFD));
    EXPECT_EQ(fromDisk.Live(), 0);
}

TEST_F(HistoryFileTest, ReadingGivesBackWhatWasAppended)
{
    appendNumbered(3);
    const auto all = History::ReadRecord(file, 2);
    ASSERT_TRUE(all);
    EXPECT_EQ(all->bytes(), record(2).bytes());
    EXPECT_EQ(all->Body().trimmed(), QStringLiteral("本文2"));

    const auto heading = History::ReadRecord(file, 3, History::Fields::Heading);
    ASSERT_TRUE(heading);
    EXPECT_EQ(heading->bytes().size(), HistoryRecord::HeadingSize);
    EXPECT_EQ(heading->Subject().trimmed(), QStringLiteral("件名3"));
    EXPECT_EQ(heading->Date().trimmed(), "2026/12/09  10:00:00");
    EXPECT_EQ(heading->Address().trimmed(), "user3@example.jp");
    EXPECT_EQ(heading->Body(), QString());
    EXPECT_EQ(heading->Live(), 1);

    EXPECT_FALSE(History::ReadRecord(file, 4));
    EXPECT_FALSE(History::ReadRecord(file, 0));
    EXPECT_FALSE(History::ReadRecord(file, -1, History::Fields::Heading));
}

TEST_F(HistoryFileTest, DeletingOneRecordKeepsTheOthersInOrder)
{
    appendNumbered(3);
    ASSERT_TRUE(History::MarkDeleted(file, 2));
    EXPECT_EQ(contents().mid(Size + 32282, 2), QByteArray("\x00\x00", 2));
    ASSERT_TRUE(History::CompactHistory(file));
    EXPECT_EQ(length(), 64568);
    EXPECT_EQ(subject(1), QStringLiteral("件名1"));
    EXPECT_EQ(subject(2), QStringLiteral("件名3"));
    EXPECT_EQ(subject(3), "<end>");
    EXPECT_EQ(dataFolderFiles(), QStringList{"ppdata2.data"});

    EXPECT_FALSE(History::MarkDeleted(file, 3));
    EXPECT_FALSE(History::MarkDeleted(file, 0));
    EXPECT_EQ(length(), 64568);
}

TEST_F(HistoryFileTest, DeletingAllRecordsLeavesAnEmptyFile)
{
    appendNumbered(3);
    ASSERT_TRUE(History::DeleteAllRecords(file));
    EXPECT_TRUE(QFile::exists(file));
    EXPECT_EQ(length(), 0);
    EXPECT_EQ(dataFolderFiles(), QStringList{"ppdata2.data"});

    const QString sent = ProgramFolder::sentHistory();
    ASSERT_TRUE(History::DeleteAllRecords(sent));
    EXPECT_TRUE(QFile::exists(sent));
    EXPECT_EQ(QFileInfo(sent).size(), 0);
}

TEST_F(HistoryFileTest, CompactionKeepsTheOwnersModeAndReplacesAStaleTemporaryFile)
{
    appendNumbered(2);
    ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), 0640), 0);
    // A temporary file left by an interrupted run, in another letter case.
    const QString stale = ProgramFolder::dataFolder() + "/ppData2.tmp";
    {
        QFile f(stale);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("leftover");
    }
    ASSERT_TRUE(History::MarkDeleted(file, 1));
    ASSERT_TRUE(History::CompactHistory(file));
    EXPECT_EQ(subject(1), QStringLiteral("件名2"));
    EXPECT_EQ(length(), Size);
    EXPECT_EQ(dataFolderFiles(), QStringList{"ppdata2.data"});
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(file).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u); // nobody but the owner reads the mail
}

TEST_F(HistoryFileTest, PartialLastRecordReadsAsEndAndIsCutBeforeAppending)
{
    appendNumbered(2);
    // More than half a record: rounding the length would point past it and leave a gap.
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::Append));
        f.write(QByteArray(20000, 'x'));
    }
    EXPECT_EQ(History::RecordCount(file), 2);
    EXPECT_FALSE(History::ReadRecord(file, 3));
    EXPECT_FALSE(History::ReadRecord(file, 3, History::Fields::Heading));

    EXPECT_EQ(History::AppendRecord(file, record(3)), 3);
    EXPECT_EQ(length(), 3 * Size);
    EXPECT_EQ(subject(2), QStringLiteral("件名2"));
    EXPECT_EQ(subject(3), QStringLiteral("件名3"));

    // Compaction drops a partial tail as well, even with nothing marked.
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::Append));
        f.write(QByteArray(100, 'x'));
    }
    ASSERT_TRUE(History::CompactHistory(file));
    EXPECT_EQ(length(), 3 * Size);
}

TEST_F(HistoryFileTest, FullHistoryRefusesAnotherRecord)
{
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(qint64(History::MaxRecords) * Size)); // sparse, takes no disk
    }
    EXPECT_EQ(History::RecordCount(file), History::MaxRecords);
    EXPECT_TRUE(History::ReadRecord(file, History::MaxRecords, History::Fields::Heading));
    EXPECT_EQ(History::AppendRecord(file, record(1)), 0);
    EXPECT_EQ(History::lastError(), kFull);
    EXPECT_EQ(length(), qint64(History::MaxRecords) * Size);
}

TEST_F(HistoryFileTest, MissingDataFolderStoresNothing)
{
    const QString nowhere = folder.path() + "/NoFolder/ppdata2.data";
    EXPECT_EQ(History::AppendRecord(nowhere, record(1)), 0);
    EXPECT_EQ(History::lastError(), kMissingFolder);
    EXPECT_FALSE(History::DeleteAllRecords(nowhere));
    EXPECT_EQ(History::lastError(), kMissingFolder);
    EXPECT_TRUE(History::CompactHistory(nowhere));
    EXPECT_FALSE(History::ReadRecord(nowhere, 1));
    EXPECT_FALSE(QFile::exists(folder.path() + "/NoFolder"));
}

TEST_F(HistoryFileTest, DiskFullDuringAppendLeavesNoPartialRecord)
{
    appendNumbered(1);
    const QByteArray before = contents();
    {
        FileSizeLimit limit(Size + 1000);
        EXPECT_EQ(History::AppendRecord(file, record(2)), 0);
    }
    EXPECT_EQ(History::lastError(), kCannotWrite);
    EXPECT_EQ(contents(), before);

    // A new file that could take nothing is not left behind empty either.
    const QString sent = ProgramFolder::sentHistory();
    {
        FileSizeLimit limit(1000);
        EXPECT_EQ(History::AppendRecord(sent, record(1)), 0);
    }
    EXPECT_FALSE(QFile::exists(sent));

    EXPECT_EQ(History::AppendRecord(file, record(2)), 2);
    EXPECT_TRUE(History::lastError().isEmpty());
}

TEST_F(HistoryFileTest, DiskFullDuringCompactionKeepsTheOldHistory)
{
    appendNumbered(3);
    ASSERT_TRUE(History::MarkDeleted(file, 1));
    const QByteArray before = contents();
    {
        FileSizeLimit limit(Size + 1000); // room for one survivor of two
        EXPECT_FALSE(History::CompactHistory(file));
    }
    EXPECT_EQ(History::lastError(), kCannotWrite);
    EXPECT_EQ(contents(), before);
    EXPECT_EQ(dataFolderFiles(), QStringList{"ppdata2.data"});

    ASSERT_TRUE(History::CompactHistory(file));
    EXPECT_EQ(subject(1), QStringLiteral("件名2"));
    EXPECT_EQ(subject(2), QStringLiteral("件名3"));
}

TEST_F(HistoryFileTest, ReadOnlyDataFolderSaysSoRatherThanBlameTheDiskSpace)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "the superuser may write anywhere";
    const QByteArray dataFolder = QFile::encodeName(ProgramFolder::dataFolder());
    ASSERT_EQ(::chmod(dataFolder.constData(), 0555), 0);
    EXPECT_EQ(History::AppendRecord(file, record(1)), 0);
    ::chmod(dataFolder.constData(), 0755);
    EXPECT_EQ(History::lastError(),
              QStringLiteral("履歴ファイルに書き込めません。書き込みが許可されていません。"
                             "フォルダやファイルが読み取り専用になっていないか確認して下さい。"));
}
