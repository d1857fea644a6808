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

int replaceFile(const QString &target, const QByteArray &bytes)
{
    const QFileInfo info(target);
    const QString destination =
        info.isSymLink() && !info.canonicalFilePath().isEmpty() ? info.canonicalFilePath() : target;
    const QByteArray destinationName = QFile::encodeName(destination);

    mode_t mode;
    struct stat st;
    if (::stat(destinationName.constData(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }

    const QFileInfo where(destination);
    QByteArray tmp = QFile::encodeName(where.path() + QStringLiteral("/.") + where.fileName() + QStringLiteral(".XXXXXX"));
    const int fd = ::mkostemp(tmp.data(), O_CLOEXEC);
    if (fd < 0)
        return errno;
    int error = ::fchmod(fd, mode) == 0 ? writeAll(fd, bytes.constData(), bytes.size()) : errno;
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
    const int dir = ::open(QFile::encodeName(where.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return 0;
}

} // namespace FileError
