#include "app/Forms.h"
#include "app/MainForm.h"
#include "app/ProgramStart.h"
#include "platform/SingleInstance.h"

#include "ScriptedPrompter.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

TEST(SingleInstance, OneOwnerPerFolderUntilItEnds)
{
    QTemporaryDir a, b;
    auto first = std::make_unique<SingleInstance>(a.path());
    ASSERT_TRUE(first->acquire());
    // Another spelling of the same folder is the same folder.
    SingleInstance second(a.path() + QStringLiteral("/./"));
    EXPECT_FALSE(second.acquire());
    SingleInstance elsewhere(b.path());
    EXPECT_TRUE(elsewhere.acquire());

    QSignalSpy raised(first.get(), &SingleInstance::raiseRequested);
    EXPECT_TRUE(second.askOwnerToRaise());
    EXPECT_TRUE(raised.wait(3000));

    // A program the owner started (a browser, say) must not keep the folder after the owner.
    QProcess child;
    child.start(QStringLiteral("sleep"), {QStringLiteral("30")});
    ASSERT_TRUE(child.waitForStarted());
    first.reset();
    EXPECT_TRUE(second.acquire());
    child.kill();
    child.waitForFinished();
}

TEST(SingleInstance, ALockFileLeftByACrashDoesNotBlock)
{
    QTemporaryDir a;
    QFile lock(a.filePath(QStringLiteral(".wanderpup.lock")));
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
    lock.write("4194303\n");
    lock.close();
    SingleInstance next(a.path());
    EXPECT_TRUE(next.acquire());
}

TEST(SingleInstance, ASecondStartSaysSoAndBringsTheFirstForward)
{
    TempProgramFolder folder;
    ScriptedPrompter prompter;
    ProgramStart first;
    ASSERT_TRUE(first.proceed());
    MainForm *main = Forms::mainForm();
    first.raiseOnRequest(main);
    main->showMinimized();

    ProgramStart second;
    EXPECT_FALSE(second.proceed());
    EXPECT_EQ(second.exitCode(), 0);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text,
              QStringLiteral("Wanderpupは既に起動しています。\r\n同じフォルダ（%1）で二つ同時には動かせないため、"
                             "起動中の画面を前に出します。")
                  .arg(folder.path()));
    EXPECT_EQ(prompter.messages[0].title, QStringLiteral("Wanderpup"));
    QTRY_VERIFY_WITH_TIMEOUT(main->isVisible() && !(main->windowState() & Qt::WindowMinimized), 3000);
    Forms::destroyAll();
}
