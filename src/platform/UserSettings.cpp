#include "UserSettings.h"

#include <QSettings>

namespace {

QSettings store(const QString &application)
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Wanderpup"), application);
}

} // namespace

namespace UserSettings {

void SaveSetting(const QString &application, const QString &section, const QString &key,
                 const QString &value)
{
    QSettings s = store(application);
    s.setValue(section + u'/' + key, value);
}

QString GetSetting(const QString &application, const QString &section, const QString &key,
                   const QString &defaultValue)
{
    return store(application).value(section + u'/' + key, defaultValue).toString();
}

void DeleteSection(const QString &application, const QString &section)
{
    QSettings s = store(application);
    s.remove(section);
}

} // namespace UserSettings
