#include "LongBody.h"

#include "platform/Cp932.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

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

bool writeNewFile(const QString &path, const QByteArray &bytes, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    const bool complete = file.write(bytes) == bytes.size() && file.flush();
    file.close();
    if (complete && file.error() == QFileDevice::NoError)
        return true;
    if (error)
        *error = file.errorString();
    file.remove();
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
    for (int attempt = 1; attempt <= 1000; ++attempt) {
        const QString name = stem + (attempt == 1 ? QString() : QStringLiteral("_%1").arg(attempt))
                             + QStringLiteral(".txt");
        const QString path = dir.filePath(name);
        if (QFile::exists(path))
            continue;
        // The file is for the user's text editor, which on this desktop reads UTF-8.
        if (!writeNewFile(path, body.toUtf8(), error)) {
            if (QFile::exists(path))
                continue; // someone took the name in between
            return std::nullopt;
        }
        const QString tail = note(name);
        const qsizetype room = FieldBytes - Cp932::fromUnicode(tail).size();
        const QByteArray head = bytes.left(boundaryAtMost(bytes, room));
        return Fitted{Cp932::toUnicode(head) + tail, path};
    }
    if (error)
        *error = QStringLiteral("no free file name");
    return std::nullopt;
}

} // namespace LongBody
