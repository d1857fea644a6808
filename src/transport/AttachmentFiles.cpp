#include "AttachmentFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <dirent.h>

namespace {

// Opens a new file in `folder` named `name`, or "stem (2).ext", "stem (3).ext", ... when taken.
bool createUnique(const QString &folder, const QString &name, QFile &file)
{
    const QDir dir(folder);
    const int dot = int(name.lastIndexOf(QLatin1Char('.')));
    const QString stem = dot > 0 ? name.left(dot) : name;
    const QString ext = dot > 0 ? name.mid(dot) : QString();
    // After a few clashes the names in use are read once from the folder instead of being
    // tried one by one: the same file name arriving in many mails would cost a square number
    // of tries. The first free number is taken either way.
    QSet<QByteArray> taken; // names as the file system has them: no decoding per entry
    bool listed = false;
    for (int n = 1; n < 10000; ++n) {
        const QString candidate = n == 1 ? name : QStringLiteral("%1 (%2)%3").arg(stem).arg(n).arg(ext);
        if (listed && taken.contains(QFile::encodeName(candidate)))
            continue;
        file.setFileName(dir.filePath(candidate));
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return true;
        if (!QFileInfo::exists(file.fileName()))
            return false; // not a name clash: the folder cannot be written
        if (n >= 4 && !listed) {
            listed = true;
            if (DIR *d = opendir(QFile::encodeName(folder).constData())) {
                while (const dirent *e = readdir(d))
                    taken.insert(QByteArray(e->d_name));
                closedir(d);
            }
        }
    }
    return false;
}

} // namespace

namespace AttachmentFiles {

QString defaultName(const QByteArray &type, int index)
{
    QString ext = QStringLiteral(".bin");
    if (type == "message/rfc822")
        ext = QStringLiteral(".eml");
    else if (type.startsWith("text/"))
        ext = type == "text/html" ? QStringLiteral(".html") : QStringLiteral(".txt");
    else if (type == "image/jpeg")
        ext = QStringLiteral(".jpg");
    else if (type == "image/png")
        ext = QStringLiteral(".png");
    else if (type == "image/gif")
        ext = QStringLiteral(".gif");
    else if (type == "application/pdf")
        ext = QStringLiteral(".pdf");
    return QStringLiteral("attachment%1%2").arg(index).arg(ext);
}

QString safeFileName(const QString &name)
{
    QString base = name;
    base.replace(QLatin1Char('\\'), QLatin1Char('/'));
    base = base.section(QLatin1Char('/'), -1);
    QString clean;
    for (QChar ch : base) {
        const ushort u = ch.unicode();
        if (u < 0x20 || u == 0x7F || (u >= 0x80 && u < 0xA0) || u == 0xFFFD)
            continue;
        if (QStringLiteral(":*?\"<>|").contains(ch))
            clean += QLatin1Char('_');
        else
            clean += ch;
    }
    clean = clean.trimmed();
    while (clean.endsWith(QLatin1Char('.')))
        clean.chop(1);
    while (clean.startsWith(QLatin1Char('.')))
        clean.remove(0, 1);
    if (clean.isEmpty())
        clean = QStringLiteral("attachment");
    // Keep the extension when the name is too long for the file system.
    while (clean.toUtf8().size() > 200) {
        const int dot = int(clean.lastIndexOf(QLatin1Char('.')));
        const QString ext = (dot > 0 && clean.size() - dot <= 16) ? clean.mid(dot) : QString();
        QString stem = clean.left(clean.size() - ext.size());
        stem.chop(1);
        if (stem.isEmpty())
            return QStringLiteral("attachment") + ext;
        clean = stem + ext;
    }
    return clean;
}

QString store(const QString &folder, const QString &name, const QByteArray &content)
{
    QFile file;
    if (!createUnique(folder, safeFileName(name), file) || file.write(content) != content.size()
        || !file.flush()) {
        if (file.isOpen()) {
            file.close();
            file.remove();
        }
        return QString();
    }
    file.close();
    return file.fileName();
}

} // namespace AttachmentFiles
