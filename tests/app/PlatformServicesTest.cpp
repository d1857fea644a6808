#include "platform/Fonts.h"
#include "platform/RandomSource.h"
#include "platform/UserSettings.h"

#include "ScriptedPrompter.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

TEST(RandomSource, StaysInUnitIntervalAndCanBePinned)
{
    for (int i = 0; i < 1000; ++i) {
        const double r = RandomSource::next();
        ASSERT_GE(r, 0.0);
        ASSERT_LT(r, 1.0);
    }
    double values[] = {0.25, 0.5};
    int at = 0;
    RandomSource::pin([&] { return values[at++ % 2]; });
    RandomSource::reseedFromClock(); // a pinned sequence is not disturbed by reseeding
    EXPECT_EQ(RandomSource::next(), 0.25);
    EXPECT_EQ(RandomSource::next(), 0.5);
    RandomSource::unpin();
    EXPECT_NE(at, 0);
}

TEST(UserSettings, SectionsRoundTripAndDelete)
{
    QStandardPaths::setTestModeEnabled(true);
    UserSettings::SaveSetting(QStringLiteral("lumenpad"), QStringLiteral("HIST"), QStringLiteral("0"),
                              QStringLiteral("EMPTY"));
    UserSettings::SaveSetting(QStringLiteral("lumenpad"), QStringLiteral("FLAG"), QStringLiteral("AUTOSAVE"),
                              QString());
    EXPECT_EQ(UserSettings::GetSetting(QStringLiteral("lumenpad"), QStringLiteral("HIST"), QStringLiteral("0")),
              QStringLiteral("EMPTY"));
    UserSettings::DeleteSection(QStringLiteral("lumenpad"), QStringLiteral("HIST"));
    EXPECT_EQ(UserSettings::GetSetting(QStringLiteral("lumenpad"), QStringLiteral("HIST"), QStringLiteral("0"),
                                       QStringLiteral("gone")),
              QStringLiteral("gone"));
    EXPECT_TRUE(UserSettings::GetSetting(QStringLiteral("lumenpad"), QStringLiteral("FLAG"), QStringLiteral("AUTOSAVE"),
                                         QStringLiteral("x"))
                    .isEmpty());
}

TEST(Prompter, ScriptedPrompterRecordsAndAnswers)
{
    {
        ScriptedPrompter prompter;
        prompter.answers = {Prompter::No};
        EXPECT_EQ(MsgBox(QStringLiteral("本当に？"), Prompter::Buttons::YesNo, Prompter::Icon::Question), Prompter::No);
        EXPECT_EQ(MsgBox(QStringLiteral("完了")), Prompter::Ok);
        ASSERT_EQ(prompter.messages.size(), 2u);
        EXPECT_EQ(prompter.messages[0].title, QStringLiteral("Wanderpup"));
        EXPECT_EQ(&Prompter::current(), &prompter);
    }
    EXPECT_EQ(dynamic_cast<ScriptedPrompter *>(&Prompter::current()), nullptr);
}

TEST(Prompter, MessageBoxSpeaksInTheProgramsFaceAndEnterTakesItsDefault)
{
    // The real box: the face it inherits otherwise draws Japanese in a fixed-width fallback.
    QString family;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&family] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        family = QFontInfo(box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"))->font()).family();
        QTest::keyClick(box, Qt::Key_Return);
    });
    answer.start(10);
    EXPECT_EQ(MsgBox(QStringLiteral("削除しますか？"), Prompter::Buttons::YesNoDefaultNo, Prompter::Icon::Question),
              Prompter::No);
    EXPECT_EQ(family, QFontInfo(Fonts::proportionalGothic(9)).family());
}
