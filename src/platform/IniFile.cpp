#include "IniFile.h"

#include "Cp932.h"
#include "FileError.h"
#include "ProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <vector>

// The file is handled as code page 932 bytes and only the ASCII markers ('[', ']', '=', ';',
// blanks, quotes) are looked for. Of these only ']' can also be the trail byte of a double-byte
// character, so the search for it steps over whole characters.
namespace {

bool isLeadByte(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArray trimBlanks(const QByteArray &bytes)
{
    qsizetype begin = 0;
    qsizetype end = bytes.size();
    while (begin < end && isBlank(bytes[begin]))
        ++begin;
    while (end > begin && isBlank(bytes[end - 1]))
        --end;
    return bytes.mid(begin, end - begin);
}

// Index of the last `c` that starts a character, or -1.
qsizetype lastCharIndex(const QByteArray &bytes, char c)
{
    qsizetype found = -1;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == c)
            found = i;
        else if (isLeadByte(uchar(bytes[i])) && i + 1 < bytes.size())
            ++i;
    }
    return found;
}

// The longest prefix of `bytes` that fits `limit` bytes and ends at a character boundary.
QByteArray cutAtCharBoundary(const QByteArray &bytes, qsizetype limit)
{
    if (bytes.size() <= limit)
        return bytes;
    qsizetype end = 0;
    while (end < bytes.size()) {
        const qsizetype next = end + (isLeadByte(uchar(bytes[end])) ? 2 : 1);
        if (next > limit)
            break;
        end = next;
    }
    return bytes.left(end);
}

bool sameName(const QByteArray &a, const QString &b)
{
    return Cp932::toUnicode(a).compare(b, Qt::CaseInsensitive) == 0;
}

struct Line
{
    QByteArray text;   // without its line end
    QByteArray ending; // "\r\n", "\n", "\r" or empty for a last line without one

    enum Kind { Other, Section, Key } kind = Other;
    QByteArray name;  // section or key name
    QByteArray value; // key value, blanks trimmed
};

void classify(Line &line)
{
    const QByteArray t = trimBlanks(line.text);
    if (t.isEmpty() || t[0] == ';')
        return;
    if (t[0] == '[') {
        const qsizetype close = lastCharIndex(t, ']');
        if (close > 0) {
            line.kind = Line::Section;
            line.name = trimBlanks(t.mid(1, close - 1));
            return;
        }
    }
    const qsizetype eq = t.indexOf('='); // '=' is never a trail byte
    if (eq <= 0)
        return;
    line.kind = Line::Key;
    line.name = trimBlanks(t.left(eq));
    line.value = trimBlanks(t.mid(eq + 1));
    if (line.name.isEmpty())
        line.kind = Line::Other;
}

Line makeLine(const QByteArray &text, const QByteArray &ending)
{
    Line line;
    line.text = text;
    line.ending = ending;
    classify(line);
    return line;
}

std::vector<Line> splitLines(const QByteArray &bytes)
{
    std::vector<Line> lines;
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = start;
        while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n')
            ++end;
        qsizetype next = end;
        if (next < bytes.size() && bytes[next] == '\r')
            ++next;
        if (next < bytes.size() && bytes[next] == '\n' && (next == end || bytes[end] == '\r'))
            ++next;
        lines.push_back(makeLine(bytes.mid(start, end - start), bytes.mid(end, next - end)));
        start = next;
    }
    return lines;
}

// Where a section starts and ends in the lines: [header, end) with end at the next section.
struct SectionRange
{
    qsizetype header = -1;
    qsizetype end = -1;
};

SectionRange findSection(const std::vector<Line> &lines, const QString &section)
{
    SectionRange range;
    for (qsizetype i = 0; i < qsizetype(lines.size()); ++i) {
        if (lines[i].kind != Line::Section)
            continue;
        if (range.header >= 0) {
            range.end = i;
            return range;
        }
        if (sameName(lines[i].name, section))
            range.header = i;
    }
    if (range.header >= 0)
        range.end = qsizetype(lines.size());
    return range;
}

qsizetype findKey(const std::vector<Line> &lines, SectionRange range, const QString &key)
{
    for (qsizetype i = range.header + 1; i < range.end; ++i) {
        if (lines[i].kind == Line::Key && sameName(lines[i].name, key))
            return i;
    }
    return -1;
}

// The existing file (and folders) of that name in any letter case, else the name as given.
QString existingSpelling(const QString &fileName)
{
    if (QFileInfo::exists(fileName))
        return fileName;
    return ProgramFolder::resolveUnder(QStringLiteral("/"), QFileInfo(fileName).absoluteFilePath());
}

} // namespace

namespace IniFile {

int GetPrivateProfileString(const QString &section, const QString &key, const QString &defaultValue,
                            QString &returned, int bufferSize, const QString &fileName)
{
    returned.clear();
    if (bufferSize <= 0)
        return 0;

    QByteArray value;
    bool found = false;
    QFile file(existingSpelling(fileName));
    if (file.open(QIODevice::ReadOnly)) {
        const std::vector<Line> lines = splitLines(file.readAll());
        const SectionRange range = findSection(lines, section);
        if (range.header >= 0) {
            const qsizetype at = findKey(lines, range, key);
            if (at >= 0) {
                value = lines[size_t(at)].value;
                found = true;
            }
        }
    }
    if (found) {
        if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
            value = value.mid(1, value.size() - 2);
    } else {
        value = Cp932::fromUnicode(defaultValue);
        while (!value.isEmpty() && value.back() == ' ')
            value.chop(1);
    }
    value = cutAtCharBoundary(value, bufferSize - 1);
    returned = Cp932::toUnicode(value);
    return int(value.size());
}

bool WritePrivateProfileString(const QString &section, const QString &key, const QString &value,
                               const QString &fileName)
{
    const QString path = existingSpelling(fileName);
    const QFileInfo info(path);
    if (!info.dir().exists())
        return false;

    QByteArray old;
    if (info.exists()) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return false; // never replace a file we could not read
        old = file.readAll();
        if (file.error() != QFile::NoError)
            return false;
    }
    std::vector<Line> lines = splitLines(old);

    // A line break inside a value would end the line early; only what precedes it could ever
    // be read back.
    QString oneLine = value;
    for (qsizetype i = 0; i < oneLine.size(); ++i) {
        if (oneLine[i] == u'\r' || oneLine[i] == u'\n') {
            oneLine.truncate(i);
            break;
        }
    }
    const QByteArray valueBytes = Cp932::fromUnicode(oneLine);
    const QByteArray crlf("\r\n");

    SectionRange range = findSection(lines, section);
    if (range.header < 0) {
        if (!lines.empty() && lines.back().ending.isEmpty())
            lines.back().ending = crlf;
        if (!lines.empty() && !trimBlanks(lines.back().text).isEmpty())
            lines.push_back(makeLine(QByteArray(), crlf));
        lines.push_back(makeLine('[' + Cp932::fromUnicode(section) + ']', crlf));
        range.header = qsizetype(lines.size()) - 1;
        range.end = qsizetype(lines.size());
    }

    const qsizetype at = findKey(lines, range, key);
    if (at >= 0) {
        Line &line = lines[size_t(at)];
        line.text = line.name + '=' + valueBytes;
        if (line.ending.isEmpty())
            line.ending = crlf;
    } else {
        // After the section's last non-blank line, so blank lines before the next section stay.
        qsizetype insertAt = range.header + 1;
        for (qsizetype i = range.header + 1; i < range.end; ++i) {
            if (!trimBlanks(lines[size_t(i)].text).isEmpty())
                insertAt = i + 1;
        }
        if (lines[size_t(insertAt - 1)].ending.isEmpty())
            lines[size_t(insertAt - 1)].ending = crlf;
        lines.insert(lines.begin() + insertAt, makeLine(Cp932::fromUnicode(key) + '=' + valueBytes, crlf));
    }

    QByteArray content;
    content.reserve(old.size() + valueBytes.size() + 64);
    for (const Line &line : lines)
        content += line.text + line.ending;
    // A crash or a full disk leaves the old file as it was.
    return FileError::replaceFile(path, content) == 0;
}

} // namespace IniFile
