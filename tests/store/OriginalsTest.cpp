// The originals of a history: a Maildir, and an index that keeps each record paired with its
// original through deletions, compactions, crashes between the two files and older copies of
// the program that write the history alone.
#include "FileSizeLimit.h"
#include "TestSupport.h"
#include "store/HistoryFile.h"
#include "store/Maildir.h"
#include "store/Originals.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

class OriginalsTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(originals.maildir().ensure(nullptr)); }

    HistoryRecord record(int n) const
    {
        return HistoryRecord::make(QStringLiteral("件名%1").arg(n), QStringLiteral("date"), QStringLiteral("a@b"),
                                   QStringLiteral("本文"));
    }
    QByteArray heading(int n) const { return record(n).bytes().left(HistoryRecord::HeadingSize); }
    QByteArray storedHeading(int n) const
    {
        return History::ReadRecord(history, n, History::Fields::Heading)->bytes();
    }
    // Mail n as a delivered original, its record appended and linked, as a check stores it.
    void store(int n)
    {
        const auto pending = originals.maildir().write("Subject: mail " + QByteArray::number(n) + "\r\n\r\nx\r\n", nullptr);
        ASSERT_TRUE(pending && originals.maildir().deliver(*pending, nullptr));
        const int next = History::RecordCount(history) + 1;
        ASSERT_TRUE(originals.link(next, {{pending->name, heading(n)}}, nullptr));
        ASSERT_EQ(History::AppendRecord(history, record(n)), next);
    }
    // Which mail the original of record n is; 0 for none.
    int mailOf(int n)
    {
        QFile file(originals.pathOf(n, storedHeading(n)));
        if (file.fileName().isEmpty() || !file.open(QIODevice::ReadOnly))
            return 0;
        return file.readLine().mid(14).trimmed().toInt();
    }
    int files() const { return int(QDir(folder.file(QStringLiteral("★MailData/Received/cur"))).count()) - 2; }

    TempProgramFolder folder;
    const QString history = folder.file(QStringLiteral("★MailData/ppdata2.data"));
    Originals originals{history, folder.file(QStringLiteral("★MailData/ppdata2-originals.data")),
                        folder.file(QStringLiteral("★MailData/Received"))};
};

TEST_F(OriginalsTest, RecordsAndOriginalsStayPairedWhateverChangesTheHistory)
{
    // A history from before originals were kept: its records simply have none.
    ASSERT_EQ(History::AppendRecord(history, record(1)), 1);
    for (int n = 2; n <= 5; ++n)
        store(n);
    EXPECT_EQ(mailOf(1), 0);
    EXPECT_EQ(mailOf(3), 3);
    EXPECT_EQ(originals.entryCount(), 5);

    // "１件削除" of record 3, in the program's order: the original, the record, the entry.
    originals.removeOriginal(3, storedHeading(3));
    ASSERT_TRUE(History::MarkDeleted(history, 3) && History::CompactHistory(history));
    ASSERT_TRUE(originals.dropEntry(3, nullptr));
    EXPECT_EQ(files(), 3);
    EXPECT_EQ(mailOf(3), 4);
    EXPECT_EQ(mailOf(4), 5);

    // A crash after the history was compacted and before the index was: the record of mail 2
    // has gone, its entry not. The index is paired again and the entry's original goes too.
    ASSERT_TRUE(History::MarkDeleted(history, 2) && History::CompactHistory(history));
    EXPECT_EQ(mailOf(2), 4);
    EXPECT_EQ(mailOf(3), 5);
    EXPECT_EQ(originals.entryCount(), 3);
    EXPECT_EQ(files(), 2);

    // An older copy of the program appends a record without an entry; a new mail after it still
    // pairs with its own.
    ASSERT_EQ(History::AppendRecord(history, record(6)), 4);
    store(7);
    EXPECT_EQ(mailOf(4), 0);
    EXPECT_EQ(mailOf(5), 7);

    // Entries beyond the history (a crash before the records were written) wait for their
    // records; one whose original has gone is dropped.
    const auto kept = originals.maildir().write("Subject: mail 8\r\n\r\nx\r\n", nullptr);
    const auto lost = originals.maildir().write("Subject: mail 9\r\n\r\nx\r\n", nullptr);
    ASSERT_TRUE(kept && lost && originals.maildir().deliver(*kept, nullptr));
    QFile::remove(lost->temporary);
    ASSERT_TRUE(originals.link(6, {{kept->name, heading(8)}, {lost->name, heading(9)}}, nullptr));
    EXPECT_EQ(originals.reconcile(), QStringList{kept->name});
    EXPECT_EQ(originals.entryCount(), 6);
    ASSERT_EQ(History::AppendRecord(history, record(8)), 6);
    EXPECT_EQ(mailOf(6), 8);

    // "全件削除": nothing left, nothing pointing anywhere.
    originals.removeAllOriginals();
    ASSERT_TRUE(History::DeleteAllRecords(history) && originals.dropAllEntries(nullptr));
    EXPECT_EQ(files(), 0);
    EXPECT_EQ(originals.entryCount(), 0);
}

TEST_F(OriginalsTest, AFullDiskLeavesNoPartOfAnOriginalAndNoNameLeavesItsFolder)
{
    QString problem;
    {
        FileSizeLimit limit(1000);
        EXPECT_FALSE(originals.maildir().write(QByteArray(5000, 'x'), &problem));
    }
    EXPECT_TRUE(problem.contains(QStringLiteral("ディスクの空き容量が足りません"))) << problem.toStdString();
    EXPECT_TRUE(QDir(folder.file(QStringLiteral("★MailData/Received/tmp"))).isEmpty());
    EXPECT_TRUE(originals.maildir().find(QStringLiteral("../../petpost.ini")).isEmpty());
    EXPECT_TRUE(Maildir::nameOf(QStringLiteral("../x,S=1:2,S")).isEmpty());
}

TEST_F(OriginalsTest, MailIsKeptWithLfLineEndsAndComesBackByteForByte)
{
    Maildir &maildir = originals.maildir();
    const auto keep = [&](const QByteArray &mail) {
        const auto pending = maildir.write(mail, nullptr);
        EXPECT_TRUE(pending && maildir.deliver(*pending, nullptr));
        return pending ? maildir.find(pending->name) : QString();
    };
    const auto file = [](const QString &path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(none)");
    };

    // As delivery agents write it, so mail readers show no ^M; Dovecot's W= gives the size with
    // CR LF. A CR of its own comes back too, also one right before a line end.
    const QByteArray mail = "Subject: a\r\nX-Odd: b\rc\r\n\r\nline one\r\nends in CR\r\r\nlast";
    const QString lf = keep(mail);
    EXPECT_EQ(file(lf), QByteArray("Subject: a\nX-Odd: b\rc\n\nline one\nends in CR\r\nlast"));
    EXPECT_TRUE(lf.endsWith(QStringLiteral(",S=%1,W=%2:2,S").arg(mail.size() - 5).arg(mail.size())))
        << lf.toStdString();
    EXPECT_EQ(Maildir::read(lf), mail);
    EXPECT_FALSE(Maildir::nameOf(lf.section(u'/', -1)).isEmpty());

    // A LF alone would not come back as it was: such a mail is kept as it travelled.
    const QByteArray bare = "Subject: b\r\n\r\nunix\nline\r\n";
    const QString asItIs = keep(bare);
    EXPECT_EQ(file(asItIs), bare);
    EXPECT_FALSE(asItIs.contains(QStringLiteral(",W=")));
    EXPECT_EQ(Maildir::read(asItIs), bare);

    // An original an earlier copy of the program kept with CR LF reads and pairs as before.
    const QString old = QStringLiteral("1765000000.M1P2Q3.oldhost,S=25");
    folder.write(QStringLiteral("★MailData/Received/cur/") + old + QStringLiteral(":2,S"),
                 "Subject: mail 1\r\n\r\nx\r\n");
    ASSERT_EQ(History::AppendRecord(history, record(1)), 1);
    ASSERT_TRUE(originals.link(1, {{old, heading(1)}}, nullptr));
    EXPECT_EQ(mailOf(1), 1);
    EXPECT_EQ(Maildir::read(originals.pathOf(1, storedHeading(1))), QByteArray("Subject: mail 1\r\n\r\nx\r\n"));
}

} // namespace
