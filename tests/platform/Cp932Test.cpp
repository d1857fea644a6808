#include "platform/Cp932.h"

#include <gtest/gtest.h>

#include <iconv.h>

namespace {

struct Mapping
{
    const char *name;
    QString text;
    QByteArray bytes;
};

class Cp932Mapping : public ::testing::TestWithParam<Mapping>
{
};

} // namespace

TEST_P(Cp932Mapping, BothWays)
{
    EXPECT_EQ(Cp932::fromUnicode(GetParam().text), GetParam().bytes);
    EXPECT_EQ(Cp932::toUnicode(GetParam().bytes), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Cp932, Cp932Mapping,
    ::testing::Values(Mapping{"ascii", "abc \\~", "abc \\~"},
                      Mapping{"circled_digits_nec", QStringLiteral("①⑩"), "\x87\x40\x87\x49"},
                      Mapping{"ibm_extension", QStringLiteral("ⅰ髙"), "\xFA\x40\xFB\xFC"},
                      Mapping{"trail_byte_5C", QStringLiteral("表ソ能"), "\x95\x5C\x83\x5C\x94\x5C"},
                      Mapping{"fullwidth_tilde", QStringLiteral("～"), "\x81\x60"},
                      Mapping{"halfwidth_kana", QStringLiteral("ｱｦ"), "\xB1\xA6"},
                      Mapping{"geta", QStringLiteral("〓"), "\x81\xAC"},
                      Mapping{"reference_mark", QStringLiteral("※"), "\x81\xA6"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(Cp932, JisFormsOfDashesAndTildesGoToTheirCodePage932Places)
{
    // Text converted from JIS-based charsets uses these; they come back in the vendor form.
    EXPECT_EQ(Cp932::fromUnicode(QStringLiteral("〜")), QByteArray("\x81\x60")); // wave dash
    EXPECT_EQ(Cp932::toUnicode("\x81\x60"), QStringLiteral("～"));
    EXPECT_EQ(Cp932::fromUnicode(QStringLiteral("−‖—")), QByteArray("\x81\x7C\x81\x61\x81\x5C"));
}

TEST(Cp932, CharacterWithoutCodePage932FormBecomesGeta)
{
    EXPECT_EQ(Cp932::fromUnicode(QStringLiteral("aé😀b")), QByteArray("a\x81\xAC\x81\xAC" "b"));
    // A lone surrogate is one unconvertible character too.
    QString lone = QStringLiteral("x");
    lone.append(QChar(0xD800));
    lone.append(u'y');
    EXPECT_EQ(Cp932::fromUnicode(lone), QByteArray("x\x81\xACy"));
}

TEST(Cp932, InvalidBytesBecomeReplacementWithoutEatingTheNextCharacter)
{
    EXPECT_EQ(Cp932::toUnicode("a\x81"), QString("a") + QChar(0xFFFD));
    // A lead byte followed by a line feed: the line feed stays.
    EXPECT_EQ(Cp932::toUnicode("\x81\nb"), QString(QChar(0xFFFD)) + "\nb");
    EXPECT_EQ(Cp932::toUnicode(QByteArray("\x81\xFF" "c")).right(1), "c");
}

TEST(Cp932, FixedFieldCutsAtCharacterBoundaryAndFillsWithSpaces)
{
    EXPECT_EQ(Cp932::fixedField("abc", 6), QByteArray("abc   "));
    EXPECT_EQ(Cp932::fixedField(QStringLiteral("あいう"), 5), QByteArray("\x82\xA0\x82\xA2 "));
    EXPECT_EQ(Cp932::fixedField(QStringLiteral("表"), 1), QByteArray(" "));
    EXPECT_EQ(Cp932::fixedField(QString(), 3), QByteArray("   "));

    const QByteArray thirty = Cp932::fixedField(QString(30, QChar(u'漢')), 100);
    EXPECT_EQ(thirty.size(), 100);
    EXPECT_EQ(thirty.mid(60), QByteArray(40, ' '));
    const QByteArray seventy = Cp932::fixedField(QString(70, QChar(u'漢')), 100);
    EXPECT_EQ(seventy, Cp932::fromUnicode(QString(50, QChar(u'漢'))));
}

TEST(Cp932, ReadFieldStopsAtFirstNulAndKeepsFillSpaces)
{
    const QByteArray field("abc  \0xyz", 9);
    EXPECT_EQ(Cp932::readField(field.constData(), field.size()), "abc  ");
    EXPECT_EQ(Cp932::readField("\x95\x5C  ", 4), QStringLiteral("表  "));
    EXPECT_EQ(Cp932::readField("abcdef", 3), "abc");
}

TEST(Cp932, EveryDoubleByteCharacterDecodesAsIconvDoes)
{
    iconv_t cd = iconv_open("UTF-16LE", "CP932");
    ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
    int checked = 0;
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (lead > 0x9F && lead < 0xE0)
            continue;
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            if (trail == 0x7F)
                continue;
            char in[2] = {char(lead), char(trail)};
            char16_t out[4] = {};
            char *inPtr = in, *outPtr = reinterpret_cast<char *>(out);
            size_t inLeft = 2, outLeft = sizeof out;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            const bool defined = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != size_t(-1);
            const QString expected = defined ? QString(QChar(out[0])) : QString(QChar(0xFFFD));
            ASSERT_EQ(Cp932::toUnicode(QByteArray(in, 2)), expected) << std::hex << lead << ' ' << trail;
            checked += defined;
        }
    }
    iconv_close(cd);
    EXPECT_GT(checked, 7000);
}

TEST(Cp932, LongMixedTextRoundTripsAcrossEveryAlignment)
{
    // ASCII runs of every length between double-byte characters and invalid bytes.
    QString text;
    QByteArray bytes;
    for (int run = 0; run < 40; ++run) {
        text += QString(run, QChar(u'a' + run % 26)) + QStringLiteral("表");
        bytes += QByteArray(run, char('a' + run % 26)) + "\x95\x5C";
    }
    EXPECT_EQ(Cp932::fromUnicode(text), bytes);
    EXPECT_EQ(Cp932::toUnicode(bytes), text);
    EXPECT_EQ(Cp932::toUnicode(QByteArray(37, ' ') + "\x81" + QByteArray(20, '0')),
              QString(37, u' ') + QChar(0xFFFD) + QString(20, u'0'));
}
