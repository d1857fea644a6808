#include "platform/FolderSetup.h"
#include "platform/ProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

using ProgramFolder::Choice;

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
}

} // namespace

TEST(ProgramFolderChoice, BesideTheProgramUnlessInstalledAndTheVariableWins)
{
    QTemporaryDir t;
    const QString user = t.filePath(QStringLiteral("data/Wanderpup"));
    const QString built = t.filePath(QStringLiteral("build/Wanderpup"));
    const QString bin = t.filePath(QStringLiteral("prefix/bin"));
    QDir().mkpath(built);
    QDir().mkpath(bin);

    const Choice env = ProgramFolder::choose(QStringLiteral("rel/../here"), built, user);
    EXPECT_EQ(env.kind, Choice::Environment);
    EXPECT_EQ(env.path, QDir::current().absoluteFilePath(QStringLiteral("here")));

    EXPECT_EQ(ProgramFolder::choose({}, built, user).path, built);
    EXPECT_EQ(ProgramFolder::choose({}, built, user).kind, Choice::Executable);
    // A bin folder alone is just a folder; beside share/wanderpup it is an installed program,
    // which keeps its files in the user's folder even where it may write (root, ~/.local).
    EXPECT_EQ(ProgramFolder::choose({}, bin, user).kind, Choice::Executable);
    QDir().mkpath(t.filePath(QStringLiteral("prefix/share/wanderpup")));
    EXPECT_EQ(ProgramFolder::sharedFolder(bin), t.filePath(QStringLiteral("prefix/share/wanderpup")));
    const Choice installed = ProgramFolder::choose({}, bin, user);
    EXPECT_EQ(installed.kind, Choice::User);
    EXPECT_EQ(installed.path, user);

    if (::geteuid() != 0) { // root may write anywhere
        QFile::setPermissions(built, QFile::ReadOwner | QFile::ExeOwner);
        EXPECT_EQ(ProgramFolder::choose({}, built, user).kind, Choice::User);
        QFile::setPermissions(built, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
}

TEST(ProgramFolderChoice, TheUserFolderIsLaidOutOnceAndNeverOverwritten)
{
    QTemporaryDir t;
    const QString shared = t.filePath(QStringLiteral("share/wanderpup"));
    writeFile(shared + QStringLiteral("/Sound/Kouka.wav"), "RIFF bark");
    const Choice user{t.filePath(QStringLiteral("home/.local/share/Wanderpup")), Choice::User};

    ASSERT_EQ(FolderSetup::prepare(user, shared), QString());
    EXPECT_TRUE(QFileInfo(user.path + QStringLiteral("/★MailData")).isDir());
    EXPECT_TRUE(QFileInfo(user.path + QStringLiteral("/添付フォルダ")).isDir());
    EXPECT_EQ(readFile(user.path + QStringLiteral("/Sound/Kouka.wav")), "RIFF bark");

    // A later start keeps what the user has, in whatever letter case it is spelled.
    writeFile(user.path + QStringLiteral("/★MailData/ppdata2.data"), "mail");
    writeFile(user.path + QStringLiteral("/Sound/Kouka.wav"), "own bark");
    QDir(user.path).rename(QStringLiteral("★MailData"), QStringLiteral("★MAilData"));
    writeFile(shared + QStringLiteral("/Sound/Kouka.wav"), "new bark");
    ASSERT_EQ(FolderSetup::prepare(user, shared), QString());
    EXPECT_EQ(readFile(user.path + QStringLiteral("/★MAilData/ppdata2.data")), "mail");
    EXPECT_FALSE(QFileInfo::exists(user.path + QStringLiteral("/★MailData")));
    EXPECT_EQ(readFile(user.path + QStringLiteral("/Sound/Kouka.wav")), "own bark");

    // A folder beside the program is the user's to lay out.
    const QString beside = t.filePath(QStringLiteral("copy"));
    EXPECT_EQ(FolderSetup::prepare({beside, Choice::Executable}, shared), QString());
    EXPECT_FALSE(QFileInfo::exists(beside));
}

TEST(ProgramFolderChoice, AFileWhereTheFolderBelongsIsReported)
{
    QTemporaryDir t;
    const QString path = t.filePath(QStringLiteral("Wanderpup"));
    writeFile(path, "not a folder");
    EXPECT_EQ(FolderSetup::prepare({path, Choice::User}, {}),
              QStringLiteral("フォルダ「%1」を作れません。同じ名前のファイルがあります。\r\n"
                             "Wanderpupはメールを保存する場所がないため終了します。")
                  .arg(path));
    EXPECT_EQ(readFile(path), "not a folder");

    const QString other = t.filePath(QStringLiteral("other"));
    writeFile(other + QStringLiteral("/★maildata"), "");
    EXPECT_TRUE(FolderSetup::prepare({other, Choice::User}, {}).contains(other + QStringLiteral("/★maildata")));
}
