#include "ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <unistd.h>

namespace ProgramFolder {

Choice choose(const QString &home, const QString &executableFolder, const QString &userFolder)
{
    if (!home.isEmpty())
        return {QDir(home).absolutePath(), Choice::Environment};
    // access() rather than the permission bits: it knows root, ACLs and read-only mounts. Root
    // may write to /usr/bin, hence the check for an installed layout as well.
    if (::access(QFile::encodeName(executableFolder).constData(), W_OK) == 0
        && sharedFolder(executableFolder).isEmpty())
        return {executableFolder, Choice::Executable};
    return {userFolder, Choice::User};
}

Choice choice()
{
    const QString home = qEnvironmentVariable("WANDERPUP_HOME");
    if (!home.isEmpty())
        return choose(home, {}, {});
    // The executable does not move while the program runs; XDG_DATA_HOME is read once, too.
    static const Choice fixed = choose({}, QCoreApplication::applicationDirPath(), userFolder());
    return fixed;
}

QString path() { return choice().path; }

QString userFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Wanderpup");
}

QString sharedFolder(const QString &executableFolder)
{
    const QString shared = QDir::cleanPath(executableFolder + QStringLiteral("/../share/wanderpup"));
    return QFileInfo(executableFolder).fileName() == QLatin1String("bin") && QFileInfo(shared).isDir() ? shared
                                                                                                    : QString();
}

QString resolveUnder(const QString &base, const QString &relative)
{
    QString current = QDir::cleanPath(base);
    QString parts = relative;
    parts.replace(u'\\', u'/');
    for (const QString &part : parts.split(u'/', Qt::SkipEmptyParts)) {
        QString found = current + u'/' + part;
        if (!QFileInfo::exists(found)) {
            const QStringList entries =
                QDir(current).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
            for (const QString &entry : entries) {
                if (entry.compare(part, Qt::CaseInsensitive) == 0) {
                    found = current + u'/' + entry;
                    break;
                }
            }
        }
        current = found;
    }
    return current;
}

QString resolve(const QString &relative)
{
    return resolveUnder(path(), relative);
}

QString dataFolder() { return resolve(QStringLiteral("★MailData")); }
QString attachmentFolder() { return resolve(QStringLiteral("添付フォルダ")); }
QString petpostIni() { return resolve(QStringLiteral("petpost.ini")); }
QString idPassIni() { return resolve(QStringLiteral("★MailData/iniIdPass.ini")); }
QString charaDataIni() { return resolve(QStringLiteral("★MailData/CharaData.ini")); }
QString receivedHistory() { return resolve(QStringLiteral("★MAilData/ppdata2.data")); }
QString storedMailsRecord() { return resolve(QStringLiteral("★MailData/uidl.txt")); }
QString sentHistory() { return resolve(QStringLiteral("★MAilData/ppdata5.data")); }
QString receivedOriginals() { return resolve(QStringLiteral("★MailData/Received")); }
QString sentOriginals() { return resolve(QStringLiteral("★MailData/Sent")); }
QString receivedIndex() { return resolve(QStringLiteral("★MAilData/ppdata2-originals.data")); }
QString sentIndex() { return resolve(QStringLiteral("★MAilData/ppdata5-originals.data")); }
QString barkSound() { return resolve(QStringLiteral("Sound/Kouka.wav")); }

} // namespace ProgramFolder
