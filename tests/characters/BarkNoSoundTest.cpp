// Barking on a machine without a sound system: every failure becomes its message, nothing hangs.
#include "ScriptedPrompter.h"
#include "app/Forms.h"
#include "app/MainForm.h"
#include "platform/PlayWave.h"
#include "platform/ProgramFolder.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QMouseEvent>
#include <QWaveDecoder>

#include <gtest/gtest.h>

namespace {

class BarkNoSound : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QFile::copy(QStringLiteral(WANDERPUP_BARK), folder.file(QStringLiteral("Sound/Kouka.wav")));
    }
    void TearDown() override { Forms::destroyAll(); }

    TempProgramFolder folder;
    ScriptedPrompter prompter;
};

void click(QWidget *label)
{
    QMouseEvent event(QEvent::MouseButtonPress, QPointF(3, 3), label->mapToGlobal(QPointF(3, 3)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(label, &event);
}

const QString kApiError = QStringLiteral("API がエラーを返しました");

} // namespace

TEST_F(BarkNoSound, ResultCodes)
{
    const QString bark = ProgramFolder::barkSound();
    EXPECT_EQ(PlayWave(bark, true, true, false, false), 2);
    EXPECT_EQ(PlayWave(bark, true, true, true, true), 2);
    // By name: no sound system, a missing file and an empty name are all the platform's refusal.
    EXPECT_EQ(PlayWave(bark, false, false, false, false), 4);
    EXPECT_EQ(PlayWave(bark, false, true, false, false), 4);
    EXPECT_EQ(PlayWave(folder.file(QStringLiteral("Sound/none.wav")), false, false, false, false), 4);
    EXPECT_EQ(PlayWave(QString(), false, false, false, true), 4);
    // From memory: missing or empty files cannot be read; nothing is created.
    EXPECT_EQ(PlayWave(folder.file(QStringLiteral("Sound/none.wav")), false, false, true, false), 3);
    EXPECT_FALSE(QFile::exists(folder.file(QStringLiteral("Sound/none.wav"))));
    folder.write(QStringLiteral("Sound/empty.wav"), QByteArray());
    EXPECT_EQ(PlayWave(folder.file(QStringLiteral("Sound/empty.wav")), false, false, true, false), 3);
    EXPECT_EQ(PlayWave(bark, false, false, true, false), 4);
}

TEST_F(BarkNoSound, InMemoryPlaybackRefusedAboveTwoMebibytes)
{
    folder.write(QStringLiteral("Sound/big.wav"), QByteArray(2097152 + 1, 'x'));
    EXPECT_EQ(PlayWave(folder.file(QStringLiteral("Sound/big.wav")), false, true, true, false), 1);
    // Exactly 2 MiB is read; it is no sound, so the platform refuses it.
    folder.write(QStringLiteral("Sound/limit.wav"), QByteArray(2097152, 'x'));
    EXPECT_EQ(PlayWave(folder.file(QStringLiteral("Sound/limit.wav")), false, true, true, false), 4);
}

TEST_F(BarkNoSound, BarkCommandsShowTheErrorAndKeepTheirNewStates)
{
    MainForm *main = Forms::mainForm();
    main->startUp();
    click(main->Label17); // Loop
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text, kApiError);
    EXPECT_EQ(prompter.messages[0].title, QStringLiteral("エラー"));
    EXPECT_EQ(prompter.messages[0].icon, Prompter::Icon::Critical);
    EXPECT_EQ(prompter.messages[0].buttons, Prompter::Buttons::Ok);
    EXPECT_FALSE(main->Label17->isEnabled());
    EXPECT_TRUE(main->Label18->isEnabled());
    EXPECT_TRUE(main->Label16->isEnabled());
    EXPECT_TRUE(main->ChkLoop->isChecked());

    click(main->Label18); // One
    EXPECT_EQ(prompter.messages.size(), 2u);
    EXPECT_TRUE(main->Label17->isEnabled());
    EXPECT_FALSE(main->Label18->isEnabled());
    EXPECT_FALSE(main->ChkLoop->isChecked());

    click(main->Label16); // Quiet: no message
    EXPECT_EQ(prompter.messages.size(), 2u);
    EXPECT_TRUE(main->Label17->isEnabled());
    EXPECT_FALSE(main->Label18->isEnabled()); // stays disabled until Loop
    EXPECT_FALSE(main->Label16->isEnabled());
}

TEST_F(BarkNoSound, EveryCodeHasItsText)
{
    MainForm *main = Forms::mainForm();
    main->startUp();
    // Missing from memory: 3.
    QFile::remove(folder.file(QStringLiteral("Sound/Kouka.wav")));
    main->ChkOnMem->setChecked(true);
    click(main->Label18);
    // Too large for memory: 1.
    folder.write(QStringLiteral("Sound/Kouka.wav"), QByteArray(3 * 1024 * 1024, '\0'));
    click(main->Label17);
    // Synchronous loop: 2.
    click(main->Label16);
    main->ChkSynchro->setChecked(true);
    click(main->Label17);
    // Missing by name: 4.
    main->ChkSynchro->setChecked(false);
    main->ChkOnMem->setChecked(false);
    QFile::remove(folder.file(QStringLiteral("Sound/Kouka.wav")));
    click(main->Label18);

    std::vector<QString> texts;
    for (const auto &m : prompter.messages)
        texts.push_back(m.text);
    const std::vector<QString> expected = {
        QStringLiteral("指定されたファイルは存在しません"),
        QStringLiteral("ファイルサイズが大きすぎて展開に\r\n時間がかかる可能性があるため中止しました"),
        QStringLiteral("フラグの指定が正しくありません"),
        kApiError,
    };
    EXPECT_EQ(texts.size(), 4u);
    for (size_t i = 0; i < std::min(texts.size(), expected.size()); ++i)
        EXPECT_EQ(texts[i], expected[i]) << i;
}

TEST(BarkAsset, AShortPcmWaveUnder200KB)
{
    QFile file(QStringLiteral(WANDERPUP_BARK));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_LT(file.size(), 200 * 1024);
    QWaveDecoder wave(&file);
    ASSERT_TRUE(wave.open(QIODevice::ReadOnly));
    ASSERT_TRUE(wave.audioFormat().isValid());
    const qint64 ms = wave.audioFormat().durationForBytes(qint32(wave.size())) / 1000;
    EXPECT_GT(ms, 300);
    EXPECT_LT(ms, 1500);
}
