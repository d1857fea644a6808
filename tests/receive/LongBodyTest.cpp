#include "platform/Cp932.h"
#include "receive/LongBody.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(LongBody, BodyThatFitsStaysAsItIs)
{
    QTemporaryDir dir;
    for (const QString &body : {QString(), QStringLiteral("short"), QString(16000, u'あ')}) {
        QString error;
        const auto fitted = LongBody::fit(body, dir.path(), &error);
        ASSERT_TRUE(fitted);
        EXPECT_EQ(fitted->body, body);
        EXPECT_TRUE(fitted->fullTextFile.isEmpty());
    }
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
}

TEST(LongBody, WholeTextIsKeptInAFileAndTheStoredBodyNamesIt)
{
    QTemporaryDir dir;
    // 16001 double-byte characters: one byte too many, and an odd cut would split a character.
    const QString body = QStringLiteral("始め") + QString(15998, u'あ') + QStringLiteral("終");
    QString error;
    const auto fitted = LongBody::fit(body, dir.path(), &error);
    ASSERT_TRUE(fitted) << error.toStdString();
    ASSERT_FALSE(fitted->fullTextFile.isEmpty());
    EXPECT_EQ(readFile(fitted->fullTextFile), body.toUtf8()); // for a UTF-8 text editor

    const QByteArray stored = Cp932::fromUnicode(fitted->body);
    EXPECT_LE(stored.size(), LongBody::FieldBytes);
    EXPECT_GE(stored.size(), LongBody::FieldBytes - 1);
    const QString name = QFileInfo(fitted->fullTextFile).fileName();
    EXPECT_TRUE(fitted->body.endsWith(LongBody::note(name)));
    EXPECT_TRUE(fitted->body.startsWith(QStringLiteral("始めああ")));
    EXPECT_FALSE(fitted->body.contains(QChar(0xFFFD)));
    EXPECT_EQ(Cp932::toUnicode(stored), fitted->body);
}

TEST(LongBody, NeverReplacesAnEarlierFile)
{
    QTemporaryDir dir;
    const QString first = QString(40000, u'a');
    const QString second = QString(40000, u'b');
    QString error;
    const auto a = LongBody::fit(first, dir.path(), &error);
    const auto b = LongBody::fit(second, dir.path(), &error);
    ASSERT_TRUE(a && b);
    EXPECT_NE(a->fullTextFile, b->fullTextFile);
    EXPECT_EQ(readFile(a->fullTextFile), first.toLatin1());
    EXPECT_EQ(readFile(b->fullTextFile), second.toLatin1());
}

TEST(LongBody, MissingFolderIsReported)
{
    QTemporaryDir dir;
    QString error;
    EXPECT_FALSE(LongBody::fit(QString(40000, u'a'), dir.filePath(QStringLiteral("gone")), &error));
    EXPECT_FALSE(error.isEmpty());
}

} // namespace
