// INI files with the profile-string rules: any file is read without harm, a value written
// reads back, and the other keys keep their values.
#include "FuzzInput.h"
#include "platform/Cp932.h"
#include "platform/IniFile.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

bool roundTrips(const QString &text) { return Cp932::toUnicode(Cp932::fromUnicode(text)) == text; }

bool usableName(const QString &name)
{
    if (name.isEmpty() || !roundTrips(name) || name.trimmed() != name || name.front() == u';' || name.front() == u'[')
        return false;
    for (QChar c : name)
        if (c == u'\r' || c == u'\n' || c == u'=' || c == u']' || c == u'\0' || c == u'\t')
            return false;
    return true;
}

QString get(const QString &section, const QString &key, const QString &file)
{
    QString value;
    IniFile::GetPrivateProfileString(section, key, QStringLiteral("\x01missing"), value, 4096, file);
    return value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir;
    static const QString file = dir.filePath(QStringLiteral("test.ini"));
    FuzzInput in(data, size);
    const QString section = Cp932::toUnicode(in.piece());
    const QString key = Cp932::toUnicode(in.piece());
    const QString value = Cp932::toUnicode(in.piece());
    const QString otherSection = Cp932::toUnicode(in.piece());
    const QString otherKey = Cp932::toUnicode(in.piece());
    const QByteArray content = in.rest();
    {
        QFile f(file);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(content);
    }
    const QString otherBefore = get(otherSection, otherKey, file);
    if (!IniFile::WritePrivateProfileString(section, key, value, file))
        return 0;

    QString expected = Cp932::toUnicode(Cp932::fromUnicode(value));
    if (const qsizetype br = expected.indexOf(QRegularExpression(QStringLiteral("[\r\n]"))); br >= 0)
        expected.truncate(br);
    const bool quoted = expected.size() >= 2 && (expected.front() == u'"' || expected.front() == u'\'')
                        && expected.back() == expected.front();
    if (usableName(section) && usableName(key) && expected.trimmed() == expected && !quoted
        && Cp932::fromUnicode(expected).size() < 4096 && !expected.contains(QChar(0)))
        FUZZ_CHECK(get(section, key, file) == expected);
    const bool same = otherSection.compare(section, Qt::CaseInsensitive) == 0
                      && otherKey.compare(key, Qt::CaseInsensitive) == 0;
    if (!same && usableName(section) && usableName(key))
        FUZZ_CHECK(get(otherSection, otherKey, file) == otherBefore);
    return 0;
}
