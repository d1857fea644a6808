#include "ScriptedPrompter.h"

#include <QPrinter>

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
    if (buttons == Buttons::YesNoDefaultNo)
        return No; // the default button
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
