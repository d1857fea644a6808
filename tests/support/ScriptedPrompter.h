#pragma once

#include "TestSupport.h"
#include "platform/Prompter.h"

class QPrinter;

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
    bool printDialog(QPrinter &printer, bool selection) override;

    std::vector<Message> messages;
    // Answers given in order; when they run out, the default button: OK, Yes, or No where "いいえ" is the
    // default.
    std::vector<int> answers;
    std::vector<QString> fileNames;
    struct FileDialog
    {
        bool save;
        QString title;
        QString filter;
    };
    std::vector<FileDialog> fileDialogs;
    // Whether each print dialog offered the selection.
    std::vector<bool> printDialogs;
    // Answers a print dialog: sets the printer up as the user would and says whether OK was
    // pressed. Without it the dialog is cancelled.
    std::function<bool(QPrinter &)> onPrintDialog;
    // Called at each message box, for tests that need to look at the program while it waits.
    std::function<void(const Message &)> onMessage;
};
