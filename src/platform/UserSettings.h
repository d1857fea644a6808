#pragma once

#include <QString>

// The per-user settings store: application name, section and key to a text.
namespace UserSettings {

void SaveSetting(const QString &application, const QString &section, const QString &key,
                 const QString &value);
QString GetSetting(const QString &application, const QString &section, const QString &key,
                   const QString &defaultValue = QString());
void DeleteSection(const QString &application, const QString &section);

} // namespace UserSettings
