#pragma once

#include <QString>

// INI files with the rules of the platform's profile-string calls: section and key names match
// without regard to case, values are code page 932 text, the file and the section are created
// when missing, and everything else in the file (other sections, keys, comments, line order)
// is left as it was.
namespace IniFile {

// Copies the value (or `defaultValue` when the key is missing) into `returned`, cut so that it
// fits `bufferSize` bytes including the terminating NUL, and returns its length in bytes.
// A value is taken without surrounding blanks and without one pair of enclosing quotes.
int GetPrivateProfileString(const QString &section, const QString &key,
                            const QString &defaultValue, QString &returned, int bufferSize,
                            const QString &fileName);

// Writes `key=value` into `section`, replacing an existing value of that key. Returns false when
// the file cannot be written (for example when its folder is missing); nothing is created then.
bool WritePrivateProfileString(const QString &section, const QString &key, const QString &value,
                               const QString &fileName);

} // namespace IniFile
