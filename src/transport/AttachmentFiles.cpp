#include "AttachmentFiles.h"

#include "platform/FileError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

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

Unpacking::Unpacking(const QString &folder) : m_folder(folder) {}

bool Unpacking::isTaken(const QByteArray &name)
{
    if (!m_listed) {
        m_listed = true;
        if (DIR *d = opendir(QFile::encodeName(m_folder).constData())) {
            while (const dirent *e = readdir(d))
                m_taken.insert(QByteArray(e->d_name));
            closedir(d);
        }
    }
    return m_taken.contains(name);
}

QString Unpacking::store(const QString &name, const QByteArray &content)
{
    const QString safe = safeFileName(name);
    const int dot = int(safe.lastIndexOf(QLatin1Char('.')));
    const QString stem = dot > 0 ? safe.left(dot) : safe;
    const QString ext = dot > 0 ? safe.mid(dot) : QString();
    const QDir dir(m_folder);
    qint64 &next = m_next[safe];
    qint64 number = next > 0 ? next : 1;
    // A folder that claims every name exists would keep us here: give up after many more tries
    // than there are names in it.
    for (qint64 tries = 0; tries < m_taken.size() + 10000; ++tries, ++number) {
        const QString candidate =
            number == 1 ? safe : QStringLiteral("%1 (%2)%3").arg(stem, QString::number(number), ext);
        const QByteArray encoded = QFile::encodeName(candidate);
        if (number > 1 && isTaken(encoded))
            continue;
        const QString path = dir.filePath(candidate);
        const QByteArray native = QFile::encodeName(path);
        // For the user alone, like the mail it came in.
        const int fd = FileError::openFile(path, O_WRONLY | O_CREAT | O_EXCL);
        if (fd < 0) {
            if (errno == EEXIST) {
                isTaken(encoded); // list the folder now if not yet
                m_taken.insert(encoded);
                continue;
            }
            m_errno = errno;
            return QString();
        }
        int error = FileError::writeAll(fd, content.constData(), content.size());
        if (::close(fd) != 0 && error == 0)
            error = errno;
        if (error != 0) {
            m_errno = error;
            ::unlink(native.constData());
            return QString();
        }
        m_taken.insert(encoded);
        next = number + 1;
        m_written.append(path);
        return path;
    }
    m_errno = EEXIST;
    return QString();
}

void Unpacking::discard()
{
    for (const QString &path : std::as_const(m_written))
        QFile::remove(path);
    m_written.clear();
}

QString numberedName(const QString &name, qint64 n)
{
    if (n <= 1)
        return name;
    const int dot = int(name.lastIndexOf(QLatin1Char('.')));
    const QString stem = dot > 0 ? name.left(dot) : name;
    const QString ext = dot > 0 ? name.mid(dot) : QString();
    return QStringLiteral("%1 (%2)%3").arg(stem, QString::number(n), ext);
}

int renameNoReplace(const QString &from, const QString &to)
{
    const QByteArray source = QFile::encodeName(from), target = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return errno;
    // A file system without the flag: a hard link cannot replace either.
    if (::link(source.constData(), target.constData()) == 0) {
        ::unlink(source.constData());
        return 0;
    }
    if (errno == EEXIST)
        return EEXIST;
    // Nor links (FAT): look first, as nothing better is to be had there.
    struct stat st;
    if (::lstat(target.constData(), &st) == 0)
        return EEXIST;
    return ::rename(source.constData(), target.constData()) == 0 ? 0 : errno;
}

FolderNames::FolderNames(const QString &folder) : m_folder(folder) {}

void FolderNames::list()
{
    if (m_listed)
        return;
    m_listed = true;
    if (DIR *d = opendir(QFile::encodeName(m_folder).constData())) {
        while (const dirent *e = readdir(d))
            m_taken.insert(QByteArray(e->d_name));
        closedir(d);
    }
}

bool FolderNames::isTaken(const QString &name)
{
    list();
    return m_taken.contains(QFile::encodeName(name));
}

void FolderNames::reserve(const QString &name)
{
    list();
    m_taken.insert(QFile::encodeName(name));
}

QString FolderNames::freeName(const QString &key, const std::function<QString(qint64)> &candidate)
{
    qint64 &next = m_next[key];
    for (qint64 n = std::max<qint64>(next, 1);; ++n) {
        const QString name = candidate(n);
        if (!isTaken(name)) {
            next = n;
            return name;
        }
    }
}

bool FolderNames::moveInAs(const QString &from, const QString &name)
{
    const int error = renameNoReplace(from, QDir(m_folder).filePath(name));
    m_taken.insert(QFile::encodeName(name)); // ours now, or someone else's
    m_errno = error;
    return error == 0;
}

QString FolderNames::moveIn(const QString &from, const QString &name)
{
    // A folder that claims every name exists would keep us here: give up after many more tries
    // than there are names in it.
    list();
    const qint64 limit = m_taken.size() + 10000;
    for (qint64 tries = 0; tries < limit; ++tries) {
        const QString candidate = freeName(name, [&name](qint64 n) { return numberedName(name, n); });
        if (moveInAs(from, candidate))
            return QDir(m_folder).filePath(candidate);
        if (m_errno != EEXIST)
            return QString();
    }
    m_errno = EEXIST;
    return QString();
}

QString store(const QString &folder, const QString &name, const QByteArray &content)
{
    return Unpacking(folder).store(name, content);
}

} // namespace AttachmentFiles
