#include "Autostart.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

// An argument as the Exec key wants it: in double quotes, with the characters that are special
// inside them escaped; then the key's own escapes for a backslash.
QString quoted(const QString &argument)
{
    QString inner;
    for (const QChar c : argument) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            inner += u'\\';
        inner += c;
    }
    inner.replace(u'%', QStringLiteral("%%"));
    inner.replace(u'\\', QStringLiteral("\\\\"));
    return u'"' + inner + u'"';
}

QString thisProgram()
{
    return QCoreApplication::applicationFilePath();
}

QString thisHome()
{
    const QString home = qEnvironmentVariable("WANDERPUP_HOME");
    return home.isEmpty() ? QString() : QDir(home).absolutePath();
}

} // namespace

namespace Autostart {

QString entryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
           + QStringLiteral("/autostart/example.wanderpup.wanderpup.desktop");
}

QByteArray entryText(const QString &program, const QString &home)
{
    QString exec = quoted(program);
    if (!home.isEmpty())
        exec = QStringLiteral("env ") + quoted(QStringLiteral("WANDERPUP_HOME=") + home) + u' ' + exec;
    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Name=Wanderpup\n"
                                        "Name[ja]=ワンダーパップ\n"
                                        "Comment=Fetch and send mail; dogs run over the desktop when new mail arrives\n"
                                        "Comment[ja]=メールの受信と送信。新着メールは犬たちがデスクトップを走って知らせます\n"
                                        "Exec=%1\n"
                                        "Icon=wanderpup\n"
                                        "Terminal=false\n"
                                        "X-GNOME-Autostart-enabled=true\n")
                             .arg(exec);
    return text.toUtf8();
}

bool isOn()
{
    QFile file(entryPath());
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return file.readAll() == entryText(thisProgram(), thisHome());
}

bool set(bool on)
{
    const QString path = entryPath();
    if (!on) {
        if (!isOn())
            return true;
        return QFile::remove(path);
    }
    if (isOn())
        return true;
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(entryText(thisProgram(), thisHome()));
    return file.commit();
}

} // namespace Autostart
