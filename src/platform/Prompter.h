#pragma once

#include <QString>

class QPrinter;
class QWidget;

// Every message box and file dialog of the program goes through the current Prompter, so that
// tests can record what the user would see and answer for the user.
class Prompter
{
public:
    // YesNoDefaultNo: "いいえ" is the default button, for a question whose "はい" loses something.
    enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel, YesNoDefaultNo };
    enum class Icon { None, Information, Exclamation, Critical, Question };
    enum Answer { Ok = 1, Cancel = 2, Yes = 6, No = 7 };

    virtual ~Prompter() = default;

    virtual int message(const QString &text, const QString &title, Buttons buttons, Icon icon) = 0;
    // An empty result means the user cancelled.
    virtual QString openFileName(const QString &title, const QString &filter) = 0;
    virtual QString saveFileName(const QString &title, const QString &filter) = 0;
    // The print dialog for `printer`. With `selection` it offers printing the selection and starts
    // with that choice; without, the choice is off. False means the user cancelled (a prompter
    // without a print dialog cancels).
    virtual bool printDialog(QPrinter &printer, bool selection);

    static Prompter &current();
    // Installs `prompter` (not owned); nullptr goes back to real dialogs.
    static void install(Prompter *prompter);
};

// The application title that a message box without a title of its own carries.
inline const QString &applicationTitle()
{
    static const QString title = QStringLiteral("Wanderpup");
    return title;
}

// A message box as the program shows them: OK only and the application title unless given.
int MsgBox(const QString &text, Prompter::Buttons buttons = Prompter::Buttons::Ok,
           Prompter::Icon icon = Prompter::Icon::None, const QString &title = applicationTitle());
