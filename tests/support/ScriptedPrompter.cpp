#include "ScriptedPrompter.h"

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

QString ScriptedPrompter::openFileName(const QString &, const QString &)
{
    if (fileNames.empty())
        return QString();
    const QString name = fileNames.front();
    fileNames.erase(fileNames.begin());
    return name;
}

QString ScriptedPrompter::saveFileName(const QString &title, const QString &filter)
{
    return openFileName(title, filter);
}
