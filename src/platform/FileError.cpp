#include "FileError.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FileError {

QString text(int error)
{
    switch (error) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return QStringLiteral("ディスクの空き容量が足りません");
    case EROFS:
        return QStringLiteral("書き込めない（読み取り専用の）場所です");
    case EACCES:
    case EPERM:
        return QStringLiteral("書き込みが許可されていません（読み取り専用になっていないか確かめて下さい）");
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("フォルダが見つかりません");
    case EIO:
        return QStringLiteral("ディスクの読み書きに失敗しました");
    case ENAMETOOLONG:
        return QStringLiteral("ファイル名が長すぎます");
    case EISDIR:
        return QStringLiteral("同じ名前のフォルダがあります");
    default:
        return QStringLiteral("ファイルに書き込めません（%1）").arg(QString::fromLocal8Bit(strerror(error)));
    }
}

int writeAll(int fd, const char *bytes, qint64 size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, bytes, size_t(std::min<qint64>(size, qint64(1) << 30)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno != 0 ? errno : EIO;
        if (n == 0)
            return ENOSPC;
        bytes += n;
        size -= n;
    }
    return 0;
}

int openFile(const QString &path, int flags)
{
    const QByteArray native = QFile::encodeName(path);
    int fd;
    do
        fd = ::open(native.constData(), flags | O_CLOEXEC, 0600);
    while (fd < 0 && errno == EINTR);
    return fd;
}

int syncFolder(const QString &folder)
{
    const int fd = openFile(folder, O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return errno;
    int error = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    // Some file systems sync their folders with the files, and refuse the call.
    if (error == EINVAL || error == ENOTSUP || error == ENOSYS)
        error = 0;
    return error;
}

int syncFiles(const QStringList &files)
{
    QStringList folders;
    for (const QString &file : files) {
        const int fd = openFile(file, O_RDONLY);
        if (fd < 0)
            return errno;
        const int error = ::fsync(fd) == 0 ? 0 : errno;
        ::close(fd);
        if (error != 0)
            return error;
        const QString folder = QFileInfo(file).absolutePath();
        if (!folders.contains(folder))
            folders.append(folder);
    }
    for (const QString &folder : std::as_const(folders))
        if (const int error = syncFolder(folder))
            return error;
    return 0;
}

int makeFolder(const QString &folder)
{
    if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0)
        return errno == EEXIST && QFileInfo(folder).isDir() ? 0 : errno;
    return syncFolder(QFileInfo(folder).absolutePath());
}

int replaceFile(const QString &target, const QByteArray &bytes)
{
    const QFileInfo info(target);
    const QString destination =
        info.isSymLink() && !info.canonicalFilePath().isEmpty() ? info.canonicalFilePath() : target;
    const QByteArray destinationName = QFile::encodeName(destination);

    // The owner keeps the rights the file gave them (read-only stays read-only); nobody else
    // keeps any.
    mode_t mode = 0600;
    struct stat st;
    if (::stat(destinationName.constData(), &st) == 0 && (st.st_mode & 0700) != 0)
        mode = st.st_mode & 0700;

    const QFileInfo where(destination);
    QByteArray tmp = QFile::encodeName(where.path() + QStringLiteral("/.") + where.fileName() + QStringLiteral(".XXXXXX"));
    const int fd = ::mkostemp(tmp.data(), O_CLOEXEC); // 0600 already
    if (fd < 0)
        return errno;
    // A file system without modes refuses the change, and has nothing to protect.
    if (mode != 0600)
        ::fchmod(fd, mode);
    int error = writeAll(fd, bytes.constData(), bytes.size());
    if (error == 0 && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(tmp.constData(), destinationName.constData()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(tmp.constData());
        return error;
    }
    return syncFolder(where.absolutePath());
}

} // namespace FileError
