#include "LongBody.h"

#include "platform/Cp932.h"
#include "platform/FileError.h"
#include "store/HistoryFile.h"

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

bool needsFile(const QString &body)
{
    // Code page 932 needs at most two bytes for each UTF-16 unit.
    return body.size() * 2 > FieldBytes && Cp932::fromUnicode(body).size() > FieldBytes;
}

QString stampNow()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd_HHmmss"));
}

QString fileName(const QString &stamp, qint64 n)
{
    return QStringLiteral("受信本文_") + stamp + (n <= 1 ? QString() : QStringLiteral("_%1").arg(n))
           + QStringLiteral(".txt");
}

QString shortened(const QString &body, const QString &fileName)
{
    const QByteArray bytes = Cp932::fromUnicode(body);
    const QString tail = note(fileName);
    const qsizetype room = FieldBytes - Cp932::fromUnicode(tail).size();
    return Cp932::toUnicode(bytes.left(boundaryAtMost(bytes, room))) + tail;
}

bool writeText(const QString &path, const QString &body, QString *error)
{
    bool exists = false;
    // The file is for the user's text editor, which on this desktop reads UTF-8.
    return writeNewFile(path, body.toUtf8(), error, &exists);
}

QString namedFile(const QString &storedBody)
{
    const QString end = note(QString()).section(u'」', 1);
    const QString body = storedBody.trimmed();
    if (!body.endsWith(end))
        return QString();
    const QString start = note(QString()).section(u'「', 0, 0).trimmed();
    const qsizetype at = body.lastIndexOf(start);
    if (at < 0)
        return QString();
    const qsizetype from = at + start.size() + 1;
    const QString name = body.mid(from, body.size() - end.size() - from - 1);
    if (!name.startsWith(QStringLiteral("受信本文_")) || !name.endsWith(QStringLiteral(".txt"))
        || name.contains(u'/') || name.contains(u'\\'))
        return QString();
    return name;
}

QStringList namedFiles(const QString &historyFile)
{
    QStringList names;
    QFile file(historyFile);
    if (!file.open(QIODevice::ReadOnly))
        return names;
    // The note ends the stored text, just before the field's fill: only that end is read.
    constexpr int kTail = 512;
    const qint64 count = file.size() / HistoryRecord::Size;
    for (qint64 n = 0; n < count; ++n) {
        if (!file.seek(n * HistoryRecord::Size + HistoryRecord::BodyOffset + HistoryRecord::BodyWidth - kTail))
            break;
        const QByteArray tail = file.read(kTail);
        const QString name = namedFile(Cp932::toUnicode(tail));
        if (!name.isEmpty())
            names.append(name);
    }
    return names;
}

std::optional<Fitted> fit(const QString &body, const QString &folder, QString *error)
{
    if (!needsFile(body))
        return Fitted{body, QString()};

    const QString stem = stampNow();
    const QDir dir(folder);
    // Many long mails within one second share the stem: the numbering goes on where the last
    // one stopped instead of trying every taken name again.
    static QString lastStem;
    static int lastAttempt = 0;
    const int first = stem == lastStem ? lastAttempt + 1 : 1;
    for (int attempt = first; attempt < first + 100000; ++attempt) {
        const QString name = fileName(stem, attempt);
        const QString path = dir.filePath(name);
        bool exists = false;
        if (!writeNewFile(path, body.toUtf8(), error, &exists)) {
            if (exists)
                continue;
            return std::nullopt;
        }
        lastStem = stem;
        lastAttempt = attempt;
        return Fitted{shortened(body, name), path};
    }
    if (error)
        *error = QStringLiteral("空いているファイル名がありません");
    return std::nullopt;
}

} // namespace LongBody
