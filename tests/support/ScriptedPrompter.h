#pragma once

#include "TestSupport.h"
#include "platform/Prompter.h"

#include <functional>
#include <vector>

// Records every message box and file dialog and answers them from a script.
class ScriptedPrompter final : public Prompter
{
public:
    struct Message
    {
        QString text;
        QString title;
        Buttons buttons;
        Icon icon;
    };

    ScriptedPrompter();
    ~ScriptedPrompter() override;

    int message(const QString &text, const QString &title, Buttons buttons, Icon icon) override;
    QString openFileName(const QString &title, const QString &filter) override;
    QString saveFileName(const QString &title, const QString &filter) override;

    std::vector<Message> messages;
    // Answers given in order; when they run out, OK (or Yes) is given.
    std::vector<int> answers;
    std::vector<QString> fileNames;
    // Called at each message box, for tests that need to look at the program while it waits.
    std::function<void(const Message &)> onMessage;
};
