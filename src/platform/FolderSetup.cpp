#include "FolderSetup.h"

#include "FileError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FolderSetup {

namespace {

// Makes `path` a folder unless it is one (only for the user when `onlyForUser`); the failure
// text names what is in the way.
QString makeFolder(const QString &path, bool onlyForUser)
{
    const QFileInfo info(path);
    if (info.isDir())
        return {};
    if (info.exists() || info.isSymLink())
        return QStringLiteral("フォルダ「%1」を作れません。同じ名前のファイルがあります。")
            .arg(QDir::toNativeSeparators(path));
    if (onlyForUser ? FileError::makeFolder(path) != 0 : !QDir().mkpath(path))
        return QStringLiteral("フォルダ「%1」を作れません。書き込みが許可されているか確かめてください。")
            .arg(QDir::toNativeSeparators(path));
    return {};
}

constexpr int kDeepest = 16; // folders below the data folder, a bound against loops

// `fd` is a folder already closed to others, so nobody but the user can swap what is in it
// while it is looked at.
void tightenBelow(int fd, dev_t device, int depth)
{
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return;
    }
    const uid_t me = ::geteuid();
    while (const dirent *entry = ::readdir(dir)) {
        const char *name = entry->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        struct stat st;
        if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || st.st_uid != me)
            continue;
        const bool folder = S_ISDIR(st.st_mode);
        if (!folder && !S_ISREG(st.st_mode))
            continue; // symbolic links and the like are not ours to change
        if ((st.st_mode & 077) != 0 && ::fchmodat(fd, name, st.st_mode & 07700, 0) != 0)
            continue; // left as it is, with what is in it
        if (folder && depth < kDeepest && st.st_dev == device) {
            const int sub = ::openat(fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub >= 0)
                tightenBelow(sub, device, depth + 1);
        }
    }
    ::closedir(dir);
}

void tighten(const QString &folder)
{
    const int fd = FileError::openFile(folder, O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return;
    struct stat st;
    if (::fstat(fd, &st) != 0 || st.st_uid != ::geteuid()) {
        ::close(fd);
        return;
    }
    // A folder closed to others already was tightened before (or made so): what is in it cannot be
    // reached by them, and a large one is not walked at every start. Where modes cannot be set
    // (FAT) nothing below can be tightened either.
    if ((st.st_mode & 077) == 0 || ::fchmod(fd, st.st_mode & 07700) != 0) {
        ::close(fd);
        return;
    }
    tightenBelow(fd, st.st_dev, 0);
}

} // namespace

QString prepare(const ProgramFolder::Choice &choice, const QString &sharedFolder)
{
    if (choice.kind != ProgramFolder::Choice::User)
        return {};
    QString failure = makeFolder(choice.path, false);
    const std::pair<const char *, bool> folders[] = {{"★MailData", true}, {"添付フォルダ", true}, {"Sound", false}};
    for (const auto &[name, onlyForUser] : folders) {
        if (failure.isEmpty())
            failure = makeFolder(ProgramFolder::resolveUnder(choice.path, QString::fromUtf8(name)), onlyForUser);
    }
    if (!failure.isEmpty())
        return failure + QStringLiteral("\r\nWanderpupはメールを保存する場所がないため終了します。");

    const QString sound = ProgramFolder::resolveUnder(choice.path, QStringLiteral("Sound/Kouka.wav"));
    const QString source = ProgramFolder::resolveUnder(sharedFolder, QStringLiteral("Sound/Kouka.wav"));
    // Without the sound the dogs bark with a message instead; not a reason to stop here.
    if (!sharedFolder.isEmpty() && !QFileInfo::exists(sound) && QFileInfo::exists(source))
        QFile::copy(source, sound);
    return {};
}

void makePrivate(const QString &programFolder)
{
    for (const char *name : {"★MailData", "添付フォルダ"})
        tighten(ProgramFolder::resolveUnder(programFolder, QString::fromUtf8(name)));
}

} // namespace FolderSetup
