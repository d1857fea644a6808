#include "store/RecordFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// A record of ten bytes with the live flag in the middle, as the address book has it.
const RecordFile::Layout kSmall{10, 4, {"no folder", "cannot write", "full", "no record"}};

QByteArray record(char c)
{
    return QByteArray(4, c) + QByteArray("\x01\x00", 2) + QByteArray(4, c);
}

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void appendRaw(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write(bytes);
}

} // namespace

TEST(RecordFile, WriteReplacesInPlaceAppendsAtTheEndAndLeavesNoGap)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("records.data");
    RecordFile file(path, kSmall);

    EXPECT_FALSE(file.write(2, record('a')));
    EXPECT_EQ(file.lastError(), "no record");
    EXPECT_FALSE(QFile::exists(path));
    ASSERT_TRUE(file.write(1, record('a')));
    ASSERT_TRUE(file.write(2, record('b')));
    ASSERT_TRUE(file.write(1, record('c')));
    EXPECT_TRUE(file.lastError().isEmpty());
    EXPECT_EQ(contents(path), record('c') + record('b'));

    // A partial tail: not a record to read, and overwritten by the next one.
    appendRaw(path, "zzzzz");
    EXPECT_EQ(file.count(), 2);
    char part[2];
    qint16 live = 0;
    EXPECT_FALSE(file.readPart(3, 0, 2, part)) << "the flag alone does not prove a whole record";
    EXPECT_FALSE(file.readPart(3, 0, 2, part, &live));
    ASSERT_TRUE(file.readPart(2, 0, 2, part, &live));
    EXPECT_EQ(QByteArray(part, 2), "bb");
    EXPECT_EQ(live, 1);
    EXPECT_EQ(file.readAll(), record('c') + record('b'));
    ASSERT_TRUE(file.write(3, record('d')));
    EXPECT_EQ(contents(path), record('c') + record('b') + record('d'));

    // The flag in the middle decides what compaction keeps.
    ASSERT_TRUE(file.mark(2));
    EXPECT_EQ(contents(path).mid(14, 2), QByteArray("\x00\x00", 2));
    ASSERT_TRUE(file.compact());
    EXPECT_EQ(contents(path), record('c') + record('d'));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"records.data"});
}

TEST(RecordFile, CompactingASymlinkedFileReplacesItsTargetAndKeepsTheLink)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("elsewhere"));
    const QString target = dir.filePath("elsewhere/book.bin");
    const QString link = dir.filePath("ppdata20.data");
    QFile(target).open(QIODevice::WriteOnly);
    ASSERT_TRUE(QFile::link(target, link));

    RecordFile file(link, kSmall);
    ASSERT_EQ(file.append(record('a')), 1);
    ASSERT_EQ(file.append(record('b')), 2);
    ASSERT_TRUE(file.mark(1));
    ASSERT_TRUE(file.compact());

    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(contents(target), record('b'));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::System), QStringList{"ppdata20.data"});
    EXPECT_EQ(QDir(dir.filePath("elsewhere")).entryList(QDir::Files), QStringList{"book.bin"});
}
