#include "TextDocument.h"

#include "platform/Cp932.h"
#include "platform/ProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <utility>

namespace Editor {

QString CurrentDocPath;
bool Modified = false;
qint16 BoldToggles = 0, ItalicToggles = 0, UnderlineToggles = 0;

qsizetype findText(const QString &text, const QString &what, qsizetype start)
{
    if (start < 1 || text.isEmpty() || start > text.size())
        return 0;
    if (what.isEmpty())
        return start;
    return text.indexOf(what, start - 1, Qt::CaseSensitive) + 1;
}

qsizetype nextSearchStart(qsizetype foundAt, qsizetype whatLength)
{
    return qMax<qsizetype>(1, foundAt + whatLength);
}

QString resolveDocumentPath(const QString &path)
{
    if (path.isEmpty())
        return QString();
    if (QDir::isAbsolutePath(path))
        return path;
    return ProgramFolder::resolve(path);
}

QString siblingPath(const QString &path, const QString &name)
{
    const qsizetype cut = qMax(path.lastIndexOf(u'\\'), path.lastIndexOf(u'/'));
    return path.left(cut + 1) + name;
}

namespace {

TextFile readDecoded(const QString &path)
{
    TextFile result;
    QFile file(path);
    if (path.isEmpty() || QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly)) {
        result.error = QStringLiteral("ファイルを開けませんでした。\n%1").arg(QDir::toNativeSeparators(path));
        return result;
    }
    // A device has no size to ask: read one byte past the limit, so that one without an end stops.
    const bool tooBig = file.isSequential() ? false : file.size() > MaxFileSize;
    const QByteArray bytes = tooBig ? QByteArray() : file.isSequential() ? file.read(MaxFileSize + 1) : file.readAll();
    if (tooBig || bytes.size() > MaxFileSize) {
        result.error = QStringLiteral("ファイルが大きすぎるため開けません（%1 MB まで）。\n%2")
                           .arg(MaxFileSize / (1024 * 1024))
                           .arg(QDir::toNativeSeparators(path));
        return result;
    }
    if (file.error() != QFileDevice::NoError) {
        result.error = QStringLiteral("ファイルを読み込めませんでした。\n%1").arg(QDir::toNativeSeparators(path));
        return result;
    }
    result.text = Cp932::toUnicode(bytes);
    result.unreadableBytes = result.text.contains(QChar(QChar::ReplacementCharacter));
    result.ok = true;
    return result;
}

} // namespace

TextFile readPlainText(const QString &path)
{
    return readDecoded(path);
}

QString textLines(QString text)
{
    // In place: a line end never grows (CR LF becomes LF), only a missing last one is added.
    QChar *const begin = text.data();
    const QChar *in = begin;
    const QChar *const end = begin + text.size();
    QChar *out = begin;
    while (in < end) {
        const QChar c = *in++;
        if (c == u'\r') {
            *out++ = u'\n';
            if (in < end && *in == u'\n')
                ++in;
        } else {
            *out++ = c;
        }
    }
    text.truncate(out - begin);
    if (!text.isEmpty() && !text.endsWith(u'\n'))
        text.append(u'\n');
    return text;
}

QString groupLines(QString text)
{
    if (text.count(u'\n') < GroupLinesFrom)
        return text;
    int line = 0;
    for (QChar &c : text) {
        if (c == u'\n' && ++line % LinesPerParagraph != 0)
            c = QChar(QChar::LineSeparator);
    }
    return text;
}

TextFile readTextLines(const QString &path)
{
    TextFile result = readDecoded(path);
    if (result.ok)
        result.text = textLines(std::move(result.text));
    return result;
}

QByteArray fileBytes(const QString &text)
{
    QByteArray bytes = Cp932::fromUnicode(text);
    bytes.replace('\n', "\r\n");
    return bytes;
}

QByteArray savedTextBytes(const QString &text)
{
    QByteArray bytes = fileBytes(text);
    if (!bytes.isEmpty() && !bytes.endsWith('\n'))
        bytes.append("\r\n");
    return bytes;
}

FileResult writeFileAtomically(const QString &path, const QByteArray &bytes)
{
    FileResult result;
    const QString shown = QDir::toNativeSeparators(path);
    const QFileInfo info(path);
    if (path.isEmpty() || info.isDir()) {
        result.error = QStringLiteral("ファイルに保存できませんでした。\n%1").arg(shown);
        return result;
    }
    // A read-only file would be replaced by the rename; its owner protected it (this holds for
    // an administrator too, who may write anything).
    if (info.exists() && (!info.isWritable() || !(info.permissions() & QFileDevice::WriteOwner))) {
        result.error = QStringLiteral("読み取り専用のファイルには保存できません。\n%1").arg(shown);
        return result;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        result.error = QStringLiteral("ファイルに保存できませんでした。\n%1\n%2").arg(shown, file.errorString());
        return result;
    }
    result.ok = true;
    return result;
}

bool SaveCurrentDocument(const QString &text)
{
    if (CurrentDocPath.isEmpty())
        return false;
    if (!writeFileAtomically(resolveDocumentPath(CurrentDocPath), fileBytes(text)).ok)
        return false;
    Modified = false;
    return true;
}

} // namespace Editor
