// The sending rules without a window: the fortune draw, the marker's bytes, the sent-history
// record, the bulk recipients and the attachment check.
#include "TestSupport.h"
#include "addressbook/AddressBookFile.h"
#include "platform/Cp932.h"
#include "platform/RandomSource.h"
#include "send/BulkList.h"
#include "send/Outbox.h"
#include "send/SendRules.h"

#include <QDir>
#include <QFile>

#include <unistd.h>

#include <gtest/gtest.h>

namespace {

TEST(SendRules, FortuneNumberCoversOneToTwelveAlsoAtTheTopOfTheRange)
{
    EXPECT_EQ(SendRules::fortuneNumberFor(0.0), 1);
    EXPECT_EQ(SendRules::fortuneNumberFor(0.5), 7);
    EXPECT_EQ(SendRules::fortuneNumberFor(11.0 / 12 - 1e-6), 11);
    // Just below 1 rounds to 1.0 in single precision: still the last text, never a 13th.
    EXPECT_EQ(SendRules::fortuneNumberFor(0.99999999), 12);

    RandomSource::pin([] { return 0.25; });
    EXPECT_EQ(SendRules::drawFortune(), 4);
    RandomSource::unpin();
}

TEST(SendRules, OutgoingBodyCarriesFortuneThenMarkerInCodePage932)
{
    const QString body = SendRules::outgoingBody(QStringLiteral("こんにちは"), 0, 10);
    EXPECT_EQ(Cp932::fromUnicode(body), Cp932::fromUnicode(QStringLiteral("こんにちは"))
                                            + "\r\n\r\n\r\n\r\nWanderpup\x81\x69\x87\x49"
                                            + Cp932::fromUnicode(QStringLiteral("の選択")) + "\x81\x6a");
    EXPECT_EQ(SendRules::outgoingBody(QStringLiteral("x"), 0, 0), QStringLiteral("x"));

    const QString withFortune = SendRules::outgoingBody(QStringLiteral("x"), 7, 0);
    EXPECT_EQ(withFortune, QStringLiteral("x\r\n\r\n") + SendRules::fortuneHeading() + QStringLiteral("\r\n\r\n")
                               + SendRules::fortuneText(7));
    EXPECT_TRUE(SendRules::fortuneText(7).endsWith(QChar(0x3000)));
    EXPECT_TRUE(SendRules::fortuneHeading().contains(QStringLiteral("この占いは アトランダム")));
    for (int k = 1; k <= 12; ++k) // every text survives code page 932 unchanged
        EXPECT_EQ(Cp932::toUnicode(Cp932::fromUnicode(SendRules::fortuneText(k))), SendRules::fortuneText(k)) << k;
}

TEST(SendRules, SentRecordTrimsSpacesKeepsLineBreaksAndCutsLongFields)
{
    const QString longSubject = QString(60, QChar(0x3042)); // 120 bytes in code page 932
    const HistoryRecord r =
        SendRules::sentRecord(QStringLiteral("  ") + longSubject, QStringLiteral(" 2026/12/08  10:00:00 "),
                              QStringLiteral(" a@example.test "), QStringLiteral("  本文\r\n "));
    const QByteArray bytes = r.bytes();
    ASSERT_EQ(bytes.size(), 32284);
    EXPECT_EQ(bytes.left(100), Cp932::fromUnicode(longSubject.left(50)));
    EXPECT_EQ(bytes.mid(100, 22), QByteArray(" 2026/12/08  10:00:00 ")); // the clock box, untrimmed
    EXPECT_EQ(bytes.mid(190, 15), QByteArray("a@example.test "));
    EXPECT_EQ(bytes.mid(280, 7), Cp932::fromUnicode(QStringLiteral("本文\r\n")) + ' ');
    EXPECT_EQ(bytes.right(4), QByteArray("\r\n\x01\x00", 4));
}

TEST(SendRules, BulkListStopsAtTheBooksEndAndNeverSendsToAnEmptyAddress)
{
    TempProgramFolder folder;
    const QString book = AddressBook::BookFile();
    ASSERT_TRUE(
        AddressBook::WriteAddressRecord(book, 1, QStringLiteral("一郎"), QStringLiteral("ichiro@example.test  ")));
    ASSERT_TRUE(AddressBook::WriteAddressRecord(book, 2, QStringLiteral("空"), QStringLiteral("   ")));
    ASSERT_TRUE(
        AddressBook::WriteAddressRecord(book, 3, QStringLiteral("三郎"), QStringLiteral("saburo@example.test")));

    const BulkList::Plan plan = BulkList::plan(book, {1, 2, 3, 4, 5});
    ASSERT_EQ(plan.mails.size(), 2);
    EXPECT_EQ(plan.mails[0].address, QStringLiteral("ichiro@example.test"));
    EXPECT_EQ(plan.mails[1].entry, 2);
    EXPECT_EQ(plan.mails[1].address, QStringLiteral("saburo@example.test"));
    EXPECT_EQ(plan.withoutAddress, 1);
    EXPECT_EQ(plan.beyondBook, 2);
}

TEST(SendRules, AttachmentCheckNamesTheFileThatCannotGo)
{
    TempProgramFolder folder;
    QDir(folder.path()).mkpath(QStringLiteral("a,b フォルダ"));
    const QString plain = folder.file(QStringLiteral("添付フォルダ/memo 1.txt"));
    const QString commaPath = folder.file(QStringLiteral("a,b フォルダ/写真.txt"));
    folder.write(QStringLiteral("添付フォルダ/memo 1.txt"), "memo");
    folder.write(QStringLiteral("a,b フォルダ/写真.txt"), "photo");

    EXPECT_TRUE(Outbox::attachmentProblem(QString()).isEmpty());
    EXPECT_TRUE(Outbox::attachmentProblem(plain).isEmpty());
    const QString missing = folder.file(QStringLiteral("添付フォルダ/none.txt"));
    EXPECT_EQ(Outbox::attachmentProblem(plain + u',' + missing),
              QStringLiteral("添付ファイル「%1」が見つかりません。").arg(missing));
    const QString comma = Outbox::attachmentProblem(commaPath);
    EXPECT_TRUE(comma.contains(commaPath)) << comma.toStdString();
    EXPECT_TRUE(comma.contains(QStringLiteral("カンマ")));
    if (::geteuid() != 0) { // root reads every file
        QFile::setPermissions(plain, QFileDevice::WriteOwner);
        EXPECT_EQ(Outbox::attachmentProblem(plain), QStringLiteral("添付ファイル「%1」を読み込めません。").arg(plain));
    }
}

} // namespace
