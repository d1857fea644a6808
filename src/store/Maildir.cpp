#include "Maildir.h"

#include "platform/FileError.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSysInfo>

#include <atomic>
#include <cerrno>
#include <ctime>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kFlags = QStringLiteral(":2,S");

QByteArray native(const QString &path) { return QFile::encodeName(path); }

// The host part of a name: letters, digits, '-' and '.' only, as a name must not carry '/' or ':'.
const QString &hostPart()
{
    static const QString host = [] {
        QString h;
        for (const QChar c : QSysInfo::machineHostName())
            if (h.size() < 16 && c.unicode() < 0x80 && (c.isLetterOrNumber() || c == u'-'))
                h += c;
        return h.isEmpty() ? QStringLiteral("localhost") : h;
    }();
    return host;
}

} // namespace

QString Maildir::newName(qint64 size)
{
    static std::atomic<unsigned> counter{0};
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return QStringLiteral("%1.M%2P%3Q%4.%5,S=%6")
        .arg(qint64(now.tv_sec))
        .arg(qint64(now.tv_nsec / 1000))
        .arg(qint64(::getpid()))
        .arg(++counter)
        .arg(hostPart())
        .arg(size);
}

namespace {

int syncPath(const QString &folder)
{
    const int fd = ::open(native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const int error = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    return error;
}

QString writeProblem(const QString &root, int error)
{
    return QStringLiteral("メールの原本を「%1」に保存できません（%2）。")
        .arg(QDir::toNativeSeparators(root), FileError::text(error));
}

} // namespace

Maildir::Maildir(const QString &root) : m_root(root) {}

bool Maildir::ensure(QString *problem)
{
    for (const QString &folder : {m_root, m_root + QStringLiteral("/tmp"), m_root + QStringLiteral("/new"),
                                  m_root + QStringLiteral("/cur")}) {
        if (QFileInfo(folder).isDir())
            continue;
        if (::mkdir(native(folder).constData(), 0700) != 0 && errno != EEXIST) {
            if (problem)
                *problem = writeProblem(m_root, errno);
            return false;
        }
    }
    return true;
}

std::optional<Maildir::Pending> Maildir::write(const QByteArray &bytes, QString *problem, const QString &name) const
{
    Pending mail;
    mail.name = name.isEmpty() ? newName(bytes.size()) : name;
    mail.temporary = m_root + QStringLiteral("/tmp/") + mail.name;
    const QByteArray path = native(mail.temporary);
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    int error = fd < 0 ? errno : FileError::writeAll(fd, bytes.constData(), bytes.size());
    if (fd >= 0) {
        if (error == 0 && ::fsync(fd) != 0)
            error = errno;
        if (::close(fd) != 0 && error == 0)
            error = errno;
    }
    if (error != 0) {
        ::unlink(path.constData());
        if (problem)
            *problem = writeProblem(m_root, error);
        return std::nullopt;
    }
    return mail;
}

bool Maildir::deliver(const Pending &mail, QString *problem) const
{
    const QByteArray from = native(mail.temporary);
    if (::rename(from.constData(), native(m_root + QStringLiteral("/cur/") + mail.name + kFlags).constData()) == 0)
        return true;
    const int error = errno;
    ::unlink(from.constData());
    if (problem)
        *problem = writeProblem(m_root, error);
    return false;
}

bool Maildir::syncDelivered(QString *problem) const
{
    const int error = syncPath(m_root + QStringLiteral("/cur"));
    if (error != 0 && problem)
        *problem = writeProblem(m_root, error);
    return error == 0;
}

QString Maildir::find(const QString &name) const
{
    if (name.isEmpty() || name.contains(u'/'))
        return QString();
    // Where we put it, unless a mail reader has changed its flags or moved it since.
    const QString usual = m_root + QStringLiteral("/cur/") + name + kFlags;
    if (QFileInfo::exists(usual))
        return usual;
    for (const char *sub : {"/cur", "/new"}) {
        QDirIterator it(m_root + QLatin1String(sub), {name + u'*'}, QDir::Files);
        while (it.hasNext()) {
            it.next();
            if (nameOf(it.fileName()) == name)
                return it.filePath();
        }
    }
    return QString();
}

bool Maildir::remove(const QString &name) const
{
    const QString path = find(name);
    if (path.isEmpty())
        return true;
    if (::unlink(native(path).constData()) != 0 && errno != ENOENT)
        return false;
    syncPath(QFileInfo(path).absolutePath());
    return true;
}

void Maildir::discardTemporary() const
{
    QDirIterator it(m_root + QStringLiteral("/tmp"), QDir::Files | QDir::Hidden);
    while (it.hasNext())
        ::unlink(native(it.next()).constData());
}

QStringList Maildir::namesSince(const QDateTime &since) const
{
    QStringList names;
    for (const char *sub : {"/cur", "/new"}) {
        QDirIterator it(m_root + QLatin1String(sub), QDir::Files);
        while (it.hasNext()) {
            it.next();
            const QString name = nameOf(it.fileName());
            if (!name.isEmpty() && (!since.isValid() || it.fileInfo().lastModified() >= since))
                names.append(name);
        }
    }
    return names;
}

QString Maildir::nameOf(const QString &fileName)
{
    static const QRegularExpression ours(QStringLiteral("^(\\d+\\.M\\d+P\\d+Q\\d+\\.[A-Za-z0-9-]+,S=\\d+)(:2,.*)?$"));
    const QRegularExpressionMatch m = ours.match(fileName);
    return m.hasMatch() ? m.captured(1) : QString();
}
