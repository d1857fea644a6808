// The clock's text as a Japanese desktop writes it: the platform's short date, two blanks, its
// long time. Sent mails are recorded with this text.
#include "platform/Clock.h"

#include <QTimeZone>

#include <gtest/gtest.h>

TEST(Clock, JapaneseDesktopWritesShortDateTwoBlanksAndLongTime)
{
    const QDateTime morning(QDate(2026, 12, 9), QTime(9, 5, 7), QTimeZone("Asia/Tokyo"));
    EXPECT_EQ(Clock::text(morning, QLocale(QLocale::Japanese, QLocale::Japan)).toStdString(),
              "2026/12/09  9時05分07秒 JST");
    // The same moment on a desktop set to American English.
    EXPECT_EQ(Clock::text(morning, QLocale(QLocale::English, QLocale::UnitedStates)).toStdString(),
              "12/9/26  9:05:07 AM JST");
}
