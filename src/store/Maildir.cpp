#include "Maildir.h"

#include "platform/FileError.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSysInfo>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <memory>

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

namespace {

// What the lines of a mail allow: kept with LF when every LF has its CR before it.
struct Shape
{
    qint64 crlf = 0;     // CR LF pairs
    bool bareLf = false; // a LF without a CR before it
};

Shape shapeOf(const QByteArray &mail)
{
    Shape shape;
    const char *begin = mail.constData();
    const char *end = begin + mail.size();
    for (const char *p = begin; p < end;) {
        const char *lf = static_cast<const char *>(std::memchr(p, '\n', size_t(end - p)));
        if (!lf)
            break;
        if (lf > begin && lf[-1] == '\r')
            ++shape.crlf;
        else
            shape.bareLf = true;
        p = lf + 1;
    }
    return shape;
}

// The size with CR LF of a mail kept with LF, from its file's name; -1 for one kept as it is.
qint64 crlfSize(const QString &fileName)
{
    static const QRegularExpression w(QStringLiteral(",S=\\d+,W=(\\d+)(?::2,|$)"));
    const QRegularExpressionMatch m = w.match(fileName);
    return m.hasMatch() ? m.captured(1).toLongLong() : -1;
}

// Writes `mail` with each CR LF as LF, through a buffer of its own: a large mail is not copied
// whole. 0, or the errno.
int writeWithLf(int fd, const QByteArray &mail)
{
    constexpr size_t kBuffer = size_t(1) << 20;
    static thread_local const std::unique_ptr<char[]> buffer(new char[kBuffer]);
    char *const out = buffer.get();
    size_t used = 0;
    const char *begin = mail.constData();
    const char *end = begin + mail.size();
    for (const char *p = begin; p < end;) {
        const char *lf = static_cast<const char *>(std::memchr(p, '\n', size_t(end - p)));
        const char *stop = lf ? lf + 1 : end; // the line with its LF
        const bool cr = lf && lf > p && lf[-1] == '\r';
        const size_t length = size_t(stop - p) - (cr ? 1 : 0);
        if (used + length > kBuffer) {
            if (const int error = FileError::writeAll(fd, out, qint64(used)))
                return error;
            used = 0;
            if (length > kBuffer) { // a line longer than the buffer goes straight from the mail
                int error = FileError::writeAll(fd, p, qint64(length - (lf ? 1 : 0)));
                if (error == 0 && lf)
                    error = FileError::writeAll(fd, "\n", 1);
                if (error != 0)
                    return error;
                p = stop;
                continue;
            }
        }
        std::memcpy(out + used, p, length - (lf ? 1 : 0));
        used += length;
        if (lf)
            out[used - 1] = '\n';
        p = stop;
    }
    return FileError::writeAll(fd, out, qint64(used));
}

} // namespace

QString Maildir::newName(const QByteArray &mail)
{
    static std::atomic<unsigned> counter{0};
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const Shape shape = shapeOf(mail);
    const bool lf = shape.crlf > 0 && !shape.bareLf;
    const QString sizes = lf ? QStringLiteral(",S=%1,W=%2").arg(mail.size() - shape.crlf).arg(mail.size())
                             : QStringLiteral(",S=%1").arg(mail.size());
    // Fixed widths, so that names also sort as text in the order they were taken.
    const QString head = QStringLiteral("%1.M%2P%3Q%4.")
                             .arg(qint64(now.tv_sec))
                             .arg(qint64(now.tv_nsec / 1000), 6, 10, QLatin1Char('0'))
                             .arg(qint64(::getpid()))
                             .arg(++counter, 6, 10, QLatin1Char('0'));
    // The host is only there to tell machines apart: it gives way where the name would be long.
    const qsizetype room = std::max<qsizetype>(1, MaxNameLength - head.size() - sizes.size());
    return head + hostPart().left(room) + sizes;
}

namespace {

QString writeProblem(const QString &root, int error)
{
    return QStringLiteral("メールの原本を「%1」に保存できません（%2）。")
        .arg(QDir::toNativeSeparators(root), FileError::text(error));
}

} // namespace

Maildir::Maildir(const QString &root) : m_root(root) {}

bool Maildir::ensure(QString *problem)
{
    int error = 0;
    for (const QString &folder : {m_root, m_root + QStringLiteral("/tmp"), m_root + QStringLiteral("/new"),
                                  m_root + QStringLiteral("/cur")}) {
        if (::mkdir(native(folder).constData(), 0700) != 0 && !(errno == EEXIST && QFileInfo(folder).isDir())) {
            error = errno;
            break;
        }
    }
    // The folders' names are forced to the disk even when they were there already: a crash may
    // have come between their making and that.
    if (error == 0)
        error = FileError::syncFolder(QFileInfo(m_root).absolutePath());
    if (error == 0)
        error = FileError::syncFolder(m_root);
    if (error != 0 && problem)
        *problem = writeProblem(m_root, error);
    return error == 0;
}

std::optional<Maildir::Pending> Maildir::write(const QByteArray &mail, QString *problem, const QString &name) const
{
    Pending pending;
    pending.name = name.isEmpty() ? newName(mail) : name;
    pending.temporary = m_root + QStringLiteral("/tmp/") + pending.name;
    const QByteArray path = native(pending.temporary);
    const int fd = FileError::openFile(pending.temporary, O_WRONLY | O_CREAT | O_EXCL);
    int error = fd < 0                           ? errno
                : crlfSize(pending.name) >= 0 ? writeWithLf(fd, mail)
                                              : FileError::writeAll(fd, mail.constData(), mail.size());
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
    return pending;
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
    const int error = FileError::syncFolder(m_root + QStringLiteral("/cur"));
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
    return FileError::syncFolder(QFileInfo(path).absolutePath()) == 0;
}

std::optional<QByteArray> Maildir::read(const QString &path)
{
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    if (crlfSize(QFileInfo(path).fileName()) < 0)
        return bytes;
    // One pass into a buffer of the final size: each LF becomes CR LF.
    QByteArray mail(bytes.size() + bytes.count('\n'), Qt::Uninitialized);
    char *out = mail.data();
    const char *begin = bytes.constData();
    const char *end = begin + bytes.size();
    for (const char *p = begin; p < end;) {
        const char *lf = static_cast<const char *>(std::memchr(p, '\n', size_t(end - p)));
        const char *stop = lf ? lf : end;
        std::memcpy(out, p, size_t(stop - p));
        out += stop - p;
        if (!lf)
            break;
        *out++ = '\r';
        *out++ = '\n';
        p = lf + 1;
    }
    return mail;
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
    static const QRegularExpression ours(
        QStringLiteral("^(\\d+\\.M\\d+P\\d+Q\\d+\\.[A-Za-z0-9-]+,S=\\d+(?:,W=\\d+)?)(:2,.*)?$"));
    const QRegularExpressionMatch m = ours.match(fileName);
    return m.hasMatch() ? m.captured(1) : QString();
}
