#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPrinter>

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

ScriptedPrompter::ScriptedPrompter()
{
    Prompter::install(this);
}

ScriptedPrompter::~ScriptedPrompter()
{
    Prompter::install(nullptr);
}

int ScriptedPrompter::message(const QString &text, const QString &title, Buttons buttons, Icon icon)
{
    messages.push_back({text, title, buttons, icon});
    if (onMessage)
        onMessage(messages.back());
    if (!answers.empty()) {
        const int answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    }
    return buttons == Buttons::YesNo || buttons == Buttons::YesNoCancel ? Yes : Ok;
}

QString ScriptedPrompter::openFileName(const QString &title, const QString &filter)
{
    fileDialogs.push_back({false, title, filter});
    if (fileNames.empty())
        return QString();
    const QString name = fileNames.front();
    fileNames.erase(fileNames.begin());
    return name;
}

QString ScriptedPrompter::saveFileName(const QString &title, const QString &filter)
{
    const QString name = openFileName(title, filter);
    fileDialogs.back().save = true;
    return name;
}

bool ScriptedPrompter::printDialog(QPrinter &printer, bool selection)
{
    printDialogs.push_back(selection);
    printer.setPrintRange(selection ? QPrinter::Selection : QPrinter::AllPages);
    return onPrintDialog && onPrintDialog(printer);
}
