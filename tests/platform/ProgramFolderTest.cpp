#include "platform/ProgramFolder.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

TEST(ProgramFolder, FollowsTheEnvironment)
{
    TempProgramFolder folder;
    EXPECT_EQ(ProgramFolder::path(), QDir(folder.path()).absolutePath());
}

TEST(ProgramFolder, ResolveReusesTheSpellingOnDisk)
{
    TempProgramFolder folder;
    const QString data = folder.path() + QStringLiteral("/★MailData");
    EXPECT_EQ(ProgramFolder::resolve(QStringLiteral("★MAilData")), data);
    EXPECT_EQ(ProgramFolder::resolve(QStringLiteral("\\★MAilData\\ppdata2.data")), data + "/ppdata2.data");
    EXPECT_EQ(ProgramFolder::receivedHistory(), data + "/ppdata2.data");
    EXPECT_EQ(ProgramFolder::idPassIni(), data + "/iniIdPass.ini");

    folder.write(QStringLiteral("★MailData/Ppdata20.data"), "x");
    EXPECT_EQ(ProgramFolder::resolve(QStringLiteral("★MAilData/ppdata20.data")), data + "/Ppdata20.data");
    EXPECT_EQ(ProgramFolder::resolve(QStringLiteral("★maildata/PPDATA20.DATA")), data + "/Ppdata20.data");

    // Nothing is created for parts that do not exist; they keep the spelling given.
    EXPECT_EQ(ProgramFolder::resolve(QStringLiteral("New/Sub/file.TXT")), folder.path() + "/New/Sub/file.TXT");
    EXPECT_FALSE(QFile::exists(folder.path() + "/New"));
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(), 3);
}

TEST(ProgramFolder, ExactSpellingWinsOverAnotherCase)
{
    TempProgramFolder folder;
    folder.write(QStringLiteral("★MailData/a.ini"), "lower");
    folder.write(QStringLiteral("★MailData/A.INI"), "upper");
    EXPECT_EQ(ProgramFolder::resolve(QStringLiteral("★MailData/A.INI")),
              folder.path() + QStringLiteral("/★MailData/A.INI"));
    EXPECT_EQ(ProgramFolder::resolve(QStringLiteral("★MailData/a.ini")),
              folder.path() + QStringLiteral("/★MailData/a.ini"));
}
