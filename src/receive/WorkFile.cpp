#include "WorkFile.h"

#include "platform/FileError.h"

#include <QFile>

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace WorkFile {

bool write(const QString &path, const QByteArray &header, const QByteArray &body, QString *error)
{
    // Overwritten in place and then cut to length: emptying a file first makes some file
    // systems push it to the disk on close, which a check of many mails would pay for each.
    const int fd = FileError::openFile(path, O_RDWR | O_CREAT);
    if (fd < 0) {
        if (error)
            *error = FileError::text(errno);
        return false;
    }
    QByteArray bytes;
    bytes.reserve(header.size() + body.size() + 4);
    bytes.append(header).append("\r\n").append(body).append("\r\n");
    int failure = FileError::writeAll(fd, bytes.constData(), bytes.size());
    if (failure == 0 && ::ftruncate(fd, off_t(bytes.size())) != 0)
        failure = errno;
    if (::close(fd) != 0 && failure == 0)
        failure = errno;
    if (failure != 0 && error)
        *error = FileError::text(failure);
    return failure == 0;
}

QByteArray joinLines(const QByteArray &bytes)
{
    QByteArray out;
    out.reserve(bytes.size() + 3);
    qsizetype start = 0;
    const qsizetype size = bytes.size();
    while (start < size) {
        qsizetype cr = bytes.indexOf('\r', start);
        if (cr < 0) {
            out.append(bytes.constData() + start, size - start).append("\r\n");
            break;
        }
        out.append(bytes.constData() + start, cr - start).append("\r\n");
        start = cr + 1;
        if (start < size && bytes[start] == '\n')
            ++start;
    }
    out.append('\0');
    return out;
}

QByteArray readMailText(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray(1, '\0');
    return joinLines(file.readAll());
}

} // namespace WorkFile
