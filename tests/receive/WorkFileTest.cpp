#include "../store/FileSizeLimit.h"
#include "receive/LongBody.h"
#include "receive/WorkFile.h"

#include <QDir>

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QByteArray bytes(const char *text, int size = -1)
{
    return size < 0 ? QByteArray(text) : QByteArray(text, size);
}

TEST(WorkFile, LinesEndAtCarriageReturns)
{
    EXPECT_EQ(WorkFile::joinLines(""), bytes("\0", 1));
    EXPECT_EQ(WorkFile::joinLines("a"), bytes("a\r\n\0", 4));
    EXPECT_EQ(WorkFile::joinLines("a\r\nb\r\n"), bytes("a\r\nb\r\n\0", 7));
    // A lone CR ends a line; a lone LF does not.
    EXPECT_EQ(WorkFile::joinLines("a\rb"), bytes("a\r\nb\r\n\0", 7));
    EXPECT_EQ(WorkFile::joinLines("a\nb"), bytes("a\nb\r\n\0", 6));
    // Empty lines survive.
    EXPECT_EQ(WorkFile::joinLines("a\r\n\r\n\r\nb"), bytes("a\r\n\r\n\r\nb\r\n\0", 11));
}

TEST(WorkFile, WritesHeaderAndBodyAndReadsThemBack)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("0.txt"));
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(5000, 'x')); // replaced, not appended to
    }
    QString error;
    ASSERT_TRUE(WorkFile::write(path, "Subject: \x82\xA0", "line1\r\nline2", &error));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), bytes("Subject: \x82\xA0\r\nline1\r\nline2\r\n"));
    EXPECT_EQ(WorkFile::readMailText(path), bytes("Subject: \x82\xA0\r\nline1\r\nline2\r\n\0", 28));
}

TEST(WorkFile, FailuresSayWhatHappened)
{
    QTemporaryDir dir;
    QString error;
    EXPECT_FALSE(WorkFile::write(dir.filePath(QStringLiteral("gone/0.txt")), "h", "b", &error));
    EXPECT_EQ(error, QStringLiteral("フォルダが見つかりません"));
    EXPECT_EQ(WorkFile::readMailText(dir.filePath(QStringLiteral("gone/0.txt"))), bytes("\0", 1));

    // A full disk part way through the work file, and part way through a long body's file.
    {
        FileSizeLimit full(1000);
        EXPECT_FALSE(WorkFile::write(dir.filePath(QStringLiteral("0.txt")), "h", QByteArray(5000, 'b'), &error));
        EXPECT_EQ(error, QStringLiteral("ディスクの空き容量が足りません"));
        EXPECT_FALSE(LongBody::fit(QString(40000, u'a'), dir.path(), &error));
        EXPECT_EQ(error, QStringLiteral("ディスクの空き容量が足りません"));
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("0.txt")});
}

} // namespace
