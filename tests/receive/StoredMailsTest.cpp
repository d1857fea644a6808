#include "receive/StoredMails.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QByteArray read(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST(StoredMails, EachAccountKeepsItsOwnMailsAndTheFileSurvivesWhatItCannotRead)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("uidl.txt"));
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("WanderpupUIDL 1\r\nhanako%40pop.example.jp%3A995 h-1 120\r\nbroken line\r\n"
                "taro%40pop.example.jp%3A110 bad\x01id 5\r\n");
    }
    StoredMails taro(file, QStringLiteral("taro@pop.example.jp:110"));
    ASSERT_TRUE(taro.load());
    taro.add("t-1", 300);
    taro.add("t-2", -1);
    ASSERT_TRUE(taro.save());

    StoredMails again(file, QStringLiteral("taro@pop.example.jp:110"));
    ASSERT_TRUE(again.load());
    EXPECT_TRUE(again.contains("t-1", 300));
    EXPECT_FALSE(again.contains("t-1", 301)); // the same id on a mail of another size is another mail
    EXPECT_TRUE(again.contains("t-2", -1));
    // The server no longer lists t-2: deleted, forgotten.
    again.keepOnly({"t-1"});
    ASSERT_TRUE(again.save());

    StoredMails hanako(file, QStringLiteral("hanako@pop.example.jp:995"));
    ASSERT_TRUE(hanako.load());
    EXPECT_TRUE(hanako.contains("h-1", 120));
    EXPECT_FALSE(hanako.contains("t-1", 300));
    EXPECT_EQ(read(file), "WanderpupUIDL 1\r\nhanako%40pop.example.jp%3A995 h-1 120\r\n"
                          "taro%40pop.example.jp%3A110 t-1 300\r\n");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("uidl.txt")});
}

} // namespace
