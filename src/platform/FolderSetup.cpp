#include "FolderSetup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace FolderSetup {

namespace {

// Makes `path` a folder unless it is one; the failure text names what is in the way.
QString makeFolder(const QString &path)
{
    const QFileInfo info(path);
    if (info.isDir())
        return {};
    if (info.exists() || info.isSymLink())
        return QStringLiteral("フォルダ「%1」を作れません。同じ名前のファイルがあります。")
            .arg(QDir::toNativeSeparators(path));
    if (!QDir().mkpath(path))
        return QStringLiteral("フォルダ「%1」を作れません。書き込みが許可されているか確かめてください。")
            .arg(QDir::toNativeSeparators(path));
    return {};
}

} // namespace

QString prepare(const ProgramFolder::Choice &choice, const QString &sharedFolder)
{
    if (choice.kind != ProgramFolder::Choice::User)
        return {};
    QString failure = makeFolder(choice.path);
    for (const char *name : {"★MailData", "添付フォルダ", "Sound"}) {
        if (failure.isEmpty())
            failure = makeFolder(ProgramFolder::resolveUnder(choice.path, QString::fromUtf8(name)));
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

} // namespace FolderSetup
