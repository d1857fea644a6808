#include "platform/IniFile.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <sys/stat.h>

using IniFile::GetPrivateProfileString;
using IniFile::WritePrivateProfileString;

namespace {

class IniFileTest : public ::testing::Test
{
protected:
    TempProgramFolder folder;
    QString ini = folder.file(QStringLiteral("★MailData/CharaData.ini"));

    void put(const QByteArray &bytes) { folder.write(QStringLiteral("★MailData/CharaData.ini"), bytes); }
    QByteArray bytes() const { return folder.read(QStringLiteral("★MailData/CharaData.ini")); }

    QString get(const QString &key, int bufferSize = 256, const QString &def = QString(),
                const QString &section = QStringLiteral("EXEINI"))
    {
        QString value;
        const int length = GetPrivateProfileString(section, key, def, value, bufferSize, ini);
        lastLength = length;
        return value;
    }
    int lastLength = -1;
};

} // namespace

TEST_F(IniFileTest, WrittenOnEmptyFolderHoldsSectionThenKeysInWriteOrder)
{
    for (int i = 1; i <= 10; ++i)
        ASSERT_TRUE(WritePrivateProfileString("EXEINI", QStringLiteral("NAME%1").arg(i), "0", ini));
    ASSERT_TRUE(WritePrivateProfileString("EXEINI", "NAME3", "1", ini));
    EXPECT_EQ(bytes(), QByteArray("[EXEINI]\r\nNAME1=0\r\nNAME2=0\r\nNAME3=1\r\nNAME4=0\r\nNAME5=0\r\n"
                                  "NAME6=0\r\nNAME7=0\r\nNAME8=0\r\nNAME9=0\r\nNAME10=0\r\n"));
    EXPECT_EQ(get("NAME3"), "1");
    EXPECT_EQ(lastLength, 1);
    // The write went through a temporary file; none is left behind.
    EXPECT_EQ(QDir(folder.file("★MailData")).entryList(QDir::Files | QDir::Hidden),
              QStringList{"CharaData.ini"});
}

TEST_F(IniFileTest, NamesMatchWithoutRegardToCase)
{
    put("[exeini]\r\nname1=abc\r\n");
    EXPECT_EQ(get("NAME1"), "abc");
    ASSERT_TRUE(WritePrivateProfileString("ExeIni", "Name1", "xyz", ini));
    EXPECT_EQ(bytes(), QByteArray("[exeini]\r\nname1=xyz\r\n"));
}

TEST_F(IniFileTest, OtherSectionsKeysCommentsAndLineOrderAreLeftAlone)
{
    const QByteArray before = "; settings\n"
                              "[Other]\n"
                              "NAME1=other\n"
                              "\n"
                              "[EXEINI]\r\n"
                              "  NAME2 = two  \r\n"
                              "; a comment\r\n"
                              "NAME1=old\r\n"
                              "\r\n"
                              "[Last]\r\n"
                              "k=v"; // no line end at the very end
    put(before);
    ASSERT_TRUE(WritePrivateProfileString("EXEINI", "NAME1", "new", ini));
    ASSERT_TRUE(WritePrivateProfileString("EXEINI", "NAME3", "3", ini));
    EXPECT_EQ(bytes(), QByteArray("; settings\n"
                                  "[Other]\n"
                                  "NAME1=other\n"
                                  "\n"
                                  "[EXEINI]\r\n"
                                  "  NAME2 = two  \r\n"
                                  "; a comment\r\n"
                                  "NAME1=new\r\n"
                                  "NAME3=3\r\n"
                                  "\r\n"
                                  "[Last]\r\n"
                                  "k=v"));
    EXPECT_EQ(get("NAME1"), "new");
    EXPECT_EQ(get("NAME2"), "two");
    EXPECT_EQ(get("NAME1", 256, {}, "Other"), "other");
    EXPECT_EQ(get("k", 256, {}, "LAST"), "v");

    // A new section goes to the end, after a blank line; a last line without an end gets one.
    ASSERT_TRUE(WritePrivateProfileString("New", "a", "b", ini));
    EXPECT_TRUE(bytes().endsWith("[Last]\r\nk=v\r\n\r\n[New]\r\na=b\r\n"));
}

TEST_F(IniFileTest, KeysOutsideTheSectionAndLinesWithoutEqualsDoNotCount)
{
    put("NAME1=before any section\r\n[OTHER]\r\nNAME1=x\r\n[EXEINI]\r\nNAME1\r\n=empty key\r\n"
        "[EXEINI]\r\nNAME1=second section\r\n");
    EXPECT_EQ(get("NAME1", 256, "dflt"), "dflt");
    EXPECT_EQ(lastLength, 4);
    ASSERT_TRUE(WritePrivateProfileString("EXEINI", "NAME1", "1", ini));
    EXPECT_TRUE(bytes().startsWith("NAME1=before any section\r\n[OTHER]\r\nNAME1=x\r\n[EXEINI]\r\nNAME1\r\n"
                                   "=empty key\r\nNAME1=1\r\n[EXEINI]\r\n"));
    EXPECT_EQ(get("NAME1"), "1");
}

TEST_F(IniFileTest, ValuesAreCodePage932AndSurviveTrailByte5C)
{
    const QString value = QStringLiteral("表ソ\\①～");
    ASSERT_TRUE(WritePrivateProfileString("EXEINI", "NAME", value, ini));
    EXPECT_EQ(bytes(), QByteArray("[EXEINI]\r\nNAME=\x95\x5C\x83\x5C\x5C\x87\x40\x81\x60\r\n"));
    EXPECT_EQ(get("NAME"), value);
    EXPECT_EQ(lastLength, 9);

    // Section and key names in code page 932 as well; ']' inside a double-byte name is a trail byte.
    put("[\x83\x5D]\r\n\x95\x5C=1\r\n"); // [ゾ] 表=1
    EXPECT_EQ(get(QStringLiteral("表"), 256, {}, QStringLiteral("ゾ")), "1");
}

TEST_F(IniFileTest, ValueIsTrimmedAndLosesOnePairOfQuotes)
{
    put("[EXEINI]\r\nA=  a b \t\r\nB=\"  quoted  \"\r\nC='x'\r\nD=\"unbalanced\r\nE=\r\n");
    EXPECT_EQ(get("A"), "a b");
    EXPECT_EQ(get("B"), "  quoted  ");
    EXPECT_EQ(get("C"), "x");
    EXPECT_EQ(get("D"), "\"unbalanced");
    EXPECT_EQ(get("E", 256, "dflt"), "");
    EXPECT_EQ(lastLength, 0);
}

TEST_F(IniFileTest, BufferLengthCutsTheValue)
{
    put("[EXEINI]\r\nASCII=" + QByteArray(300, 'a') + "\r\nWIDE=" + QByteArray("\x82\xA0").repeated(200)
        + "\r\nS=abc\r\n");
    EXPECT_EQ(get("ASCII", 256).size(), 255);
    EXPECT_EQ(lastLength, 255);
    EXPECT_EQ(get("ASCII", 1256).size(), 300);
    EXPECT_EQ(lastLength, 300);
    // 200 two-byte characters: 255 bytes would split one, so 127 characters (254 bytes) remain.
    EXPECT_EQ(get("WIDE", 256), QString(127, QChar(u'あ')));
    EXPECT_EQ(lastLength, 254);
    EXPECT_EQ(get("S", 3), "ab");
    EXPECT_EQ(lastLength, 2);
    EXPECT_EQ(get("S", 1), "");
    EXPECT_EQ(lastLength, 0);
    EXPECT_EQ(get("S", 0), "");
    EXPECT_EQ(lastLength, 0);
    // The default follows the same rule.
    EXPECT_EQ(get("MISSING", 4, "default"), "def");
    EXPECT_EQ(lastLength, 3);
}

TEST_F(IniFileTest, MissingFileReadsAsDefault)
{
    EXPECT_EQ(get("NAME1", 1256, ""), "");
    EXPECT_EQ(lastLength, 0);
    EXPECT_FALSE(QFile::exists(ini));
}

TEST_F(IniFileTest, MissingFolderMakesTheWriteFailAndCreatesNothing)
{
    const QString elsewhere = folder.file("NoSuchFolder/CharaData.ini");
    EXPECT_FALSE(WritePrivateProfileString("EXEINI", "NAME1", "1", elsewhere));
    EXPECT_FALSE(QFile::exists(folder.file("NoSuchFolder")));
    QString value;
    EXPECT_EQ(GetPrivateProfileString("EXEINI", "NAME1", "", value, 1256, elsewhere), 0);
}

TEST_F(IniFileTest, WrittenFilesAreTheUsersAloneWhateverTheUmask)
{
    // A password file an earlier copy left readable to all, and one that is read-only.
    put("");
    ASSERT_EQ(::chmod(QFile::encodeName(ini).constData(), 0644), 0);
    const mode_t mask = ::umask(0);
    ASSERT_TRUE(WritePrivateProfileString("EXEINI", "NAME2", "secret", ini));
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(ini).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(bytes(), QByteArray("[EXEINI]\r\nNAME2=secret\r\n"));
    ASSERT_EQ(::chmod(QFile::encodeName(ini).constData(), 0444), 0);
    ASSERT_TRUE(WritePrivateProfileString("EXEINI", "NAME", "taro", ini));
    ASSERT_EQ(::stat(QFile::encodeName(ini).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0400u);

    const QString other = folder.file("★MailData/new.ini");
    ASSERT_TRUE(WritePrivateProfileString("EXEINI", "A", "1", other));
    ::umask(mask);
    ASSERT_EQ(::stat(QFile::encodeName(other).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST_F(IniFileTest, FileNameMatchesWithoutRegardToCase)
{
    folder.write("★MailData/CHARADATA.INI", "[EXEINI]\r\nNAME1=1\r\n");
    EXPECT_EQ(get("NAME1"), "1");
    ASSERT_TRUE(WritePrivateProfileString("EXEINI", "NAME2", "1", ini));
    EXPECT_EQ(QDir(folder.file("★MailData")).entryList(QDir::Files | QDir::Hidden),
              QStringList{"CHARADATA.INI"});
    EXPECT_EQ(folder.read("★MailData/CHARADATA.INI"), QByteArray("[EXEINI]\r\nNAME1=1\r\nNAME2=1\r\n"));

    // The folder too: "★MAilData" is the same folder.
    const QString otherSpelling = folder.file("★MAilData/charadata.ini");
    QString value;
    EXPECT_EQ(GetPrivateProfileString("EXEINI", "NAME2", "", value, 1256, otherSpelling), 1);
    ASSERT_TRUE(WritePrivateProfileString("EXEINI", "NAME3", "0", otherSpelling));
    EXPECT_FALSE(QFile::exists(folder.file("★MAilData")));
    EXPECT_TRUE(folder.read("★MailData/CHARADATA.INI").endsWith("NAME3=0\r\n"));
}

TEST_F(IniFileTest, LineBreakInValueCannotSplitTheLine)
{
    ASSERT_TRUE(WritePrivateProfileString("EXEINI", "NAME", "first\r\nNAME2=injected", ini));
    EXPECT_EQ(bytes(), QByteArray("[EXEINI]\r\nNAME=first\r\n"));
}

TEST_F(IniFileTest, FileThatIsAFolderReadsAsDefaultAndIsNotReplaced)
{
    ASSERT_TRUE(QDir().mkdir(ini));
    EXPECT_EQ(get("NAME1", 1256, "d"), "d");
    EXPECT_FALSE(WritePrivateProfileString("EXEINI", "NAME1", "1", ini));
    EXPECT_TRUE(QFileInfo(ini).isDir());
}
