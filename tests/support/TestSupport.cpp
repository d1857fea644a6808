#include "TestSupport.h"

#include "app/AccountSettings.h"
#include "platform/IniFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

TempProgramFolder::TempProgramFolder() : m_previousHome(qgetenv("WANDERPUP_HOME"))
{
    QDir root(m_dir.path());
    root.mkdir(QStringLiteral("★MailData"));
    root.mkdir(QStringLiteral("添付フォルダ"));
    root.mkdir(QStringLiteral("Sound"));
    qputenv("WANDERPUP_HOME", QFile::encodeName(m_dir.path()));
}

TempProgramFolder::~TempProgramFolder()
{
    if (m_previousHome.isEmpty())
        qunsetenv("WANDERPUP_HOME");
    else
        qputenv("WANDERPUP_HOME", m_previousHome);
}

QString TempProgramFolder::file(const QString &relative) const
{
    return m_dir.path() + u'/' + relative;
}

void TempProgramFolder::write(const QString &relative, const QByteArray &bytes) const
{
    QFile f(file(relative));
    QDir().mkpath(QFileInfo(f).path());
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}

QByteArray TempProgramFolder::read(const QString &relative) const
{
    QFile f(file(relative));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void TempProgramFolder::usePetpost(const QString &lines) const
{
    write(QStringLiteral("petpost.ini"), lines.toLatin1());
    AccountSettings::instance() = AccountSettings();
    Petpost::load(file(QStringLiteral("petpost.ini")), AccountSettings::instance());
}

void TempProgramFolder::saveAccount(const QString &id, const QString &password) const
{
    const QString ini = file(QStringLiteral("★MailData/iniIdPass.ini"));
    IniFile::WritePrivateProfileString(QStringLiteral("EXEINI"), QStringLiteral("NAME"), id, ini);
    IniFile::WritePrivateProfileString(QStringLiteral("EXEINI"), QStringLiteral("NAME2"), password, ini);
}
