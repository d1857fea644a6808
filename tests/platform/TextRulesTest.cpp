#include "platform/TextRules.h"

#include <gtest/gtest.h>

using namespace TextRules;

TEST(TextRules, TrimRemovesAsciiSpacesOnly)
{
    EXPECT_EQ(trimSpaces("  a b  "), "a b");
    EXPECT_EQ(trimSpaces("\t a \r\n"), "\t a \r\n");
    EXPECT_EQ(trimSpaces(QStringLiteral("\u3000a\u3000 ")), QStringLiteral("\u3000a\u3000"));
    EXPECT_EQ(trimSpaces("    "), "");
}

TEST(TextRules, CutAtNul)
{
    EXPECT_EQ(CutAtNul(QString("ab") + QChar(0) + "cd"), "ab");
    EXPECT_EQ(CutAtNul("abc"), "abc");
    EXPECT_EQ(CutAtNul(QString(QChar(0))), "");
}

namespace {

struct Rounding
{
    const char *name;
    const char *text;
    int expected;
};

class LeadingNumberRounded : public ::testing::TestWithParam<Rounding>
{
};

} // namespace

TEST_P(LeadingNumberRounded, IntoSigned16Bit)
{
    EXPECT_EQ(roundHalfEvenToInt16(leadingNumber(QString::fromUtf8(GetParam().text))), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    TextRules, LeadingNumberRounded,
    ::testing::Values(Rounding{"one", "1", 1}, Rounding{"half_up_to_even", "1.5", 2},
                      Rounding{"half_down_to_even", "2.5", 2}, Rounding{"three_and_a_half", "3.5", 4},
                      Rounding{"below_half", "0.49", 0}, Rounding{"negative_half", "-2.5", -2},
                      Rounding{"nothing", "", 0}, Rounding{"letters", "abc", 0},
                      Rounding{"leading_blanks", "  \t7", 7}, Rounding{"trailing_text", "12ab", 12},
                      Rounding{"fraction_only", ".6", 1}, Rounding{"lone_point", ".", 0},
                      Rounding{"exponent", "1e2x", 100}, Rounding{"too_big", "70000", 32767},
                      Rounding{"too_small", "-70000", -32768}, Rounding{"fullwidth_digit", "１", 0}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(TextRules, WholeNumberForTheDogChoice)
{
    for (const char *chosen : {"1", " 1", "01", "1.0", "1 ", "+1"}) {
        EXPECT_TRUE(isWholeNumber(chosen)) << chosen;
        EXPECT_EQ(leadingNumber(chosen), 1.0) << chosen;
    }
    for (const char *notNumber : {"yes", "", " ", "1a", "1 2", ".", "-"})
        EXPECT_FALSE(isWholeNumber(notNumber)) << notNumber;
    EXPECT_TRUE(isWholeNumber("2"));
    EXPECT_NE(leadingNumber("2"), 1.0);
}
