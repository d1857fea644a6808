#include "LongBody.h"

#include "platform/Cp932.h"
#include "platform/FileError.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace {

int charLength(unsigned char lead)
{
    return ((lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC)) ? 2 : 1;
}

// The longest start of `bytes` that ends on a character boundary and has at most `limit` bytes.
qsizetype boundaryAtMost(const QByteArray &bytes, qsizetype limit)
{
    qsizetype pos = 0;
    while (pos < bytes.size()) {
        const qsizetype next = pos + charLength(static_cast<unsigned char>(bytes[pos]));
        if (next > limit)
            break;
        pos = next;
    }
    return pos;
}

// A new file with `bytes`; `exists` tells a name clash from any other failure.
bool writeNewFile(const QString &path, const QByteArray &bytes, QString *error, bool *exists)
{
    *exists = false;
    const QByteArray native = QFile::encodeName(path);
    const int fd = FileError::openFile(path, O_WRONLY | O_CREAT | O_EXCL);
    if (fd < 0) {
        *exists = errno == EEXIST;
        if (error)
            *error = FileError::text(errno);
        return false;
    }
    int failure = FileError::writeAll(fd, bytes.constData(), bytes.size());
    if (::close(fd) != 0 && failure == 0)
        failure = errno;
    if (failure == 0)
        return true;
    if (error)
        *error = FileError::text(failure);
    ::unlink(native.constData());
    return false;
}

} // namespace

namespace LongBody {

QString note(const QString &fileName)
{
    return QStringLiteral("\r\n♪♪♪　本文が長いため、全文を添付フォルダの「%1」に保存しました。♪♪♪").arg(fileName);
}

std::optional<Fitted> fit(const QString &body, const QString &folder, QString *error)
{
    const QByteArray bytes = Cp932::fromUnicode(body);
    if (bytes.size() <= FieldBytes)
        return Fitted{body, QString()};

    const QString stem = QStringLiteral("受信本文_")
                         + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd_HHmmss"));
    const QDir dir(folder);
    // Many long mails within one second share the stem: the numbering goes on where the last
    // one stopped instead of trying every taken name again.
    static QString lastStem;
    static int lastAttempt = 0;
    const int first = stem == lastStem ? lastAttempt + 1 : 1;
    for (int attempt = first; attempt < first + 100000; ++attempt) {
        const QString name = stem + (attempt == 1 ? QString() : QStringLiteral("_%1").arg(attempt))
                             + QStringLiteral(".txt");
        const QString path = dir.filePath(name);
        bool exists = false;
        // The file is for the user's text editor, which on this desktop reads UTF-8.
        if (!writeNewFile(path, body.toUtf8(), error, &exists)) {
            if (exists)
                continue;
            return std::nullopt;
        }
        lastStem = stem;
        lastAttempt = attempt;
        const QString tail = note(name);
        const qsizetype room = FieldBytes - Cp932::fromUnicode(tail).size();
        const QByteArray head = bytes.left(boundaryAtMost(bytes, room));
        return Fitted{Cp932::toUnicode(head) + tail, path};
    }
    if (error)
        *error = QStringLiteral("空いているファイル名がありません");
    return std::nullopt;
}

} // namespace LongBody
