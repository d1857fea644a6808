#include "platform/Cp932.h"
#include "receive/MailScan.h"

#include <gtest/gtest.h>

namespace {

struct MarkerCase
{
    const char *edge;
    QString body;
    int marker;
};

class MarkerScan : public ::testing::TestWithParam<MarkerCase>
{
};

TEST_P(MarkerScan, FindsTheFirstMarkerNumber)
{
    EXPECT_EQ(MailScan::markerNumber(GetParam().body), GetParam().marker);
}

const QString kText = QStringLiteral("こんにちは\r\n元気ですか\r\n\r\n\r\n\r\n");

INSTANTIATE_TEST_SUITE_P(
    Bodies, MarkerScan,
    ::testing::Values(
        MarkerCase{"no_marker", kText, 0},
        MarkerCase{"empty_body", QString(), 0},
        MarkerCase{"marker_1", kText + QStringLiteral("Wanderpup（①の選択）"), 1},
        MarkerCase{"marker_1_without_closing_bracket", kText + QStringLiteral("Wanderpup（①の選択"), 1},
        MarkerCase{"marker_2_without_closing_bracket", kText + QStringLiteral("Wanderpup（②の選択"), 0},
        MarkerCase{"marker_3", kText + QStringLiteral("Wanderpup（③の選択）"), 3},
        MarkerCase{"marker_10", kText + QStringLiteral("Wanderpup（⑩の選択）"), 10},
        MarkerCase{"markers_7_and_3_give_3",
                   QStringLiteral("Wanderpup（⑦の選択）") + kText + QStringLiteral("Wanderpup（③の選択）"), 3},
        MarkerCase{"marker_in_the_middle", QStringLiteral("aWanderpup（⑤の選択）b"), 5},
        MarkerCase{"half_width_brackets", QStringLiteral("Wanderpup(③の選択)"), 0},
        MarkerCase{"other_letter_case", QStringLiteral("wanderpup（③の選択）"), 0},
        MarkerCase{"plain_digit", QStringLiteral("Wanderpup（3の選択）"), 0}),
    [](const ::testing::TestParamInfo<MarkerCase> &info) { return std::string(info.param.edge); });

TEST(MarkerScan, EveryMarkerTheSenderWritesIsFoundAfterCodePage932)
{
    for (int number = 1; number <= 10; ++number) {
        // The sender's text travels as code page 932 and comes back decoded.
        const QString body = Cp932::toUnicode(Cp932::fromUnicode(kText + MailScan::markerText(number)));
        EXPECT_EQ(MailScan::markerNumber(body), number) << number;
    }
    EXPECT_EQ(Cp932::fromUnicode(MailScan::markerText(1)),
              QByteArray("Wanderpup\x81\x69\x87\x40\x82\xCC\x91\x49\x91\xF0\x81\x6A"));
}

TEST(AttachmentWord, OnlyTheLowerCaseWordCounts)
{
    EXPECT_TRUE(MailScan::hasAttachmentWord(QStringLiteral("Please see the attachment.")));
    EXPECT_TRUE(MailScan::hasAttachmentWord(QStringLiteral("attachments")));
    EXPECT_FALSE(MailScan::hasAttachmentWord(QStringLiteral("Attachment enclosed")));
    EXPECT_FALSE(MailScan::hasAttachmentWord(QStringLiteral("ATTACHMENT")));
    EXPECT_FALSE(MailScan::hasAttachmentWord(QString()));
}

} // namespace
