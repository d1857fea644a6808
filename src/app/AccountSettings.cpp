#include "AccountSettings.h"

#include "platform/Cp932.h"
#include "platform/IniFile.h"
#include "platform/TextRules.h"

#include <QFile>
#include <QSaveFile>


AccountSettings &AccountSettings::instance()
{
    static AccountSettings settings;
    return settings;
}

namespace Petpost {

namespace {

constexpr int kMaxValueLength = 100;

// Lines end at CR or CR LF; a lone LF ends a line too, so that a file edited by hand on this
// system still reads.
QStringList splitLines(const QString &text)
{
    QStringList lines;
    QString current;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\n') {
            lines << current;
            current.clear();
        } else if (text[i] == u'\r') {
            lines << current;
            current.clear();
            if (i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
        } else {
            current += text[i];
        }
    }
    if (!current.isEmpty())
        lines << current;
    return lines;
}

// The dialog offers whole minutes from 1 to 120; a shorter time written into the file by hand
// (or by a test) is taken as it is, down to a second.
double autoCheckMinutes(const QString &value)
{
    const double minutes = TextRules::leadingNumber(value);
    if (!(minutes > 0))
        return 0;
    return qBound(1.0 / 60, minutes, 120.0);
}

QString automaticCheckLines(const AccountSettings &settings)
{
    QString lines;
    if (settings.AutoCheckMinutes > 0)
        lines += QStringLiteral("AUTO=") + QString::number(settings.AutoCheckMinutes) + QStringLiteral("\r\n");
    if (settings.CheckAtStart)
        lines += QStringLiteral("BOOT=1\r\n");
    if (!settings.NotifyNewMail && (settings.AutoCheckMinutes > 0 || settings.CheckAtStart))
        lines += QStringLiteral("NTFY=0\r\n");
    return lines;
}

} // namespace

void load(const QString &path, AccountSettings &settings)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QString text = Cp932::toUnicode(file.readAll());
    for (const QString &line : splitLines(text)) {
        if (line.size() < 5)
            continue;
        const QString key = line.left(5);
        const QString value = line.mid(5, kMaxValueLength);
        if (key == u"SMTP=")
            settings.SmtpServer = value;
        else if (key == u"POP3=")
            settings.Pop3Server = value;
        else if (key == u"MAIL=")
            settings.MailAddress = value;
        else if (key == u"APOP=")
            settings.UseApop = TextRules::roundHalfEvenToInt16(TextRules::leadingNumber(value));
        else if (key == u"KEEP=")
            settings.LeaveOnServer = TextRules::leadingNumber(value) != 0;
        else if (key == u"AUTO=")
            settings.AutoCheckMinutes = autoCheckMinutes(value);
        else if (key == u"BOOT=")
            settings.CheckAtStart = TextRules::leadingNumber(value) != 0;
        else if (key == u"NTFY=")
            settings.NotifyNewMail = TextRules::leadingNumber(value) != 0;
    }
}

bool save(const QString &path, const AccountSettings &settings)
{
    const QString text = QStringLiteral("SMTP=") + settings.SmtpServer + QStringLiteral("\r\nPOP3=")
                         + settings.Pop3Server + QStringLiteral("\r\nMAIL=") + settings.MailAddress
                         + QStringLiteral("\r\nAPOP=") + QString::number(settings.UseApop)
                         + QStringLiteral("\r\n")
                         + (settings.LeaveOnServer ? QStringLiteral("KEEP=1\r\n") : QString())
                         + automaticCheckLines(settings);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(Cp932::fromUnicode(text));
    return file.commit();
}

} // namespace Petpost

namespace IdPassFile {

QString read(const QString &path, const QString &key)
{
    QString value;
    const int length = IniFile::GetPrivateProfileString(QStringLiteral("EXEINI"), key, QString(),
                                                        value, 256, path);
    return length < 1 ? QString() : value;
}

bool write(const QString &path, const QString &key, const QString &value)
{
    // Replaced through a file readable by the user alone, also when the old one was not.
    return IniFile::WritePrivateProfileString(QStringLiteral("EXEINI"), key, value, path);
}

Account account(const QString &path) { return account(AccountSettings::instance(), path); }

Account account(const AccountSettings &settings, const QString &path)
{
    if (settings.AccountConfirmed)
        return {settings.AccountId, settings.AccountPassword};
    return {read(path, QStringLiteral("NAME")), read(path, QStringLiteral("NAME2"))};
}

Credentials smtpCredentials(const QString &path)
{
    const Account current = account(path);
    return {Cp932::fromUnicode(current.id), Cp932::fromUnicode(current.password)};
}

} // namespace IdPassFile
