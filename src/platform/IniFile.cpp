#include "IniFile.h"

// Placeholder until the INI reader and writer land.
namespace IniFile {
int GetPrivateProfileString(const QString &, const QString &, const QString &defaultValue, QString &returned, int, const QString &)
{
    returned = defaultValue;
    return int(returned.size());
}
bool WritePrivateProfileString(const QString &, const QString &, const QString &, const QString &) { return false; }
} // namespace IniFile
