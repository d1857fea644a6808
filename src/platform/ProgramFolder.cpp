#include "ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace ProgramFolder {

QString path()
{
    const QString home = qEnvironmentVariable("WANDERPUP_HOME");
    if (!home.isEmpty())
        return QDir(home).absolutePath();
    return QCoreApplication::applicationDirPath();
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
QString sentHistory() { return resolve(QStringLiteral("★MAilData/ppdata5.data")); }
QString barkSound() { return resolve(QStringLiteral("Sound/Kouka.wav")); }

} // namespace ProgramFolder
