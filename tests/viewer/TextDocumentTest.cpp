#include "viewer/TextDocument.h"
#include "TestSupport.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

using namespace Editor;

// FindFirst from 1, then FindNext from just past each hit, as the editor runs them.
std::vector<qsizetype> hits(const QString &text, const QString &what, int searches)
{
    std::vector<qsizetype> found{findText(text, what, 1)};
    while (int(found.size()) < searches)
        found.push_back(findText(text, what, nextSearchStart(found.back(), what.size())));
    return found;
}

TEST(EditorSearch, PositionsAndTheRestartAfterAMiss)
{
    // After the miss the search starts at the search text's length (3), finding the second hit again.
    EXPECT_EQ(hits(QStringLiteral("xabcabc"), QStringLiteral("abc"), 5), (std::vector<qsizetype>{2, 5, 0, 5, 0}));
    EXPECT_EQ(hits(QStringLiteral("aaaaa"), QStringLiteral("aa"), 3), (std::vector<qsizetype>{1, 3, 0}));
    // Case and width count.
    EXPECT_EQ(findText(QStringLiteral("xabcabc"), QStringLiteral("ABC")), 0);
    EXPECT_EQ(findText(QStringLiteral("ａｂｃ"), QStringLiteral("abc")), 0);
    EXPECT_EQ(findText(QStringLiteral("ｱｲｳアイウ"), QStringLiteral("アイウ")), 4);
    // An empty search text.
    EXPECT_EQ(findText(QStringLiteral("text"), QString()), 1);
    EXPECT_EQ(findText(QString(), QString()), 0);
    EXPECT_EQ(hits(QStringLiteral("text"), QString(), 2), (std::vector<qsizetype>{1, 1}));
    // Positions far beyond 16 bits.
    QString big(100000, u'x');
    big += QStringLiteral("犬");
    EXPECT_EQ(findText(big, QStringLiteral("犬"), 70000), 100001);
}

class EditorFiles : public ::testing::Test
{
protected:
    QString path(const QString &name) const { return folder.file(name); }
    void write(const QString &name, const QByteArray &bytes) const { folder.write(name, bytes); }
    QByteArray read(const QString &name) const { return folder.read(name); }

    // Open as the editor does and save again under the same name.
    void openAndSave(const QString &name) const
    {
        const TextFile file = readTextLines(path(name));
        ASSERT_TRUE(file.ok) << file.error.toStdString();
        ASSERT_TRUE(writeFileAtomically(path(name), savedTextBytes(file.text)).ok);
    }

    TempProgramFolder folder;
};

TEST_F(EditorFiles, LineRulesOnOpening)
{
    const struct
    {
        const char *edge;
        QString file, shown;
    } rows[] = {
        {"last line without line end", QStringLiteral("one\r\ntwo"), QStringLiteral("one\ntwo\n")},
        {"lone CR", QStringLiteral("one\rtwo\r"), QStringLiteral("one\ntwo\n")},
        {"lone LF", QStringLiteral("one\ntwo\n"), QStringLiteral("one\ntwo\n")},
        {"empty lines kept", QStringLiteral("\r\none\r\n\r\n"), QStringLiteral("\none\n\n")},
        {"empty file", QString(), QString()},
    };
    for (const auto &row : rows)
        EXPECT_EQ(textLines(row.file), row.shown) << row.edge;
}

TEST_F(EditorFiles, OpeningAndSavingAgainLeavesTheFileAsItWas)
{
    // 表 and ソ have the trail byte 0x5C; ① is an NEC extension.
    const QByteArray withLineEnd("\x95\x5C\x83\x5C\r\n\x87\x40 dog\r\n\r\n", 14);
    write(QStringLiteral("a.txt"), withLineEnd);
    openAndSave(QStringLiteral("a.txt"));
    openAndSave(QStringLiteral("a.txt"));
    EXPECT_EQ(read(QStringLiteral("a.txt")), withLineEnd);

    // A last line without a line end gets one, once.
    write(QStringLiteral("b.txt"), "one\r\ntwo");
    openAndSave(QStringLiteral("b.txt"));
    openAndSave(QStringLiteral("b.txt"));
    EXPECT_EQ(read(QStringLiteral("b.txt")), QByteArray("one\r\ntwo\r\n"));

    write(QStringLiteral("empty.txt"), QByteArray());
    openAndSave(QStringLiteral("empty.txt"));
    EXPECT_EQ(read(QStringLiteral("empty.txt")), QByteArray());
}

TEST_F(EditorFiles, BadInputEndsClearlyAndLeavesFilesAlone)
{
    // Not code page 932 (a lead byte without its trail, an undefined pair): shown, and flagged.
    write(QStringLiteral("bad.txt"), QByteArray("ok\x81\r\n\xA0\xFD", 7));
    const TextFile bad = readTextLines(path(QStringLiteral("bad.txt")));
    EXPECT_TRUE(bad.ok);
    EXPECT_TRUE(bad.unreadableBytes);
    EXPECT_TRUE(bad.text.startsWith(QStringLiteral("ok\uFFFD\n")));

    EXPECT_FALSE(readTextLines(path(QStringLiteral("missing.txt"))).ok);
    // A device without an end stops at the size limit instead of filling the memory.
    const TextFile endless = readTextLines(QStringLiteral("/dev/zero"));
    EXPECT_FALSE(endless.ok);
    EXPECT_FALSE(endless.error.isEmpty());

    // A read-only file and a missing folder are not written; the file keeps its contents.
    write(QStringLiteral("ro.txt"), "keep me");
    QFile::setPermissions(path(QStringLiteral("ro.txt")), QFileDevice::ReadOwner | QFileDevice::ReadUser);
    const FileResult readOnly = writeFileAtomically(path(QStringLiteral("ro.txt")), "new");
    EXPECT_FALSE(readOnly.ok);
    EXPECT_FALSE(readOnly.error.isEmpty());
    EXPECT_EQ(read(QStringLiteral("ro.txt")), QByteArray("keep me"));
    EXPECT_FALSE(writeFileAtomically(path(QStringLiteral("no such folder/x.txt")), "new").ok);

    // The current document: an empty path is a silent failure that keeps Modified.
    CurrentDocPath.clear();
    Modified = true;
    EXPECT_FALSE(SaveCurrentDocument(QStringLiteral("text")));
    EXPECT_TRUE(Modified);
}

} // namespace
