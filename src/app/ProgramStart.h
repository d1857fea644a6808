#pragma once

#include "platform/SingleInstance.h"

#include <QIcon>

#include <memory>

class QWidget;

// What happens before the main window is created: the program folder is made ready (an
// installed program lays out the user's own folder) and claimed, so that a second start on the
// same folder does not write the same files; that start tells the user and brings the first
// one's main window forward instead.
class ProgramStart
{
public:
    // False when the program must end now; exitCode() then says with what.
    bool proceed();
    int exitCode() const { return m_exitCode; }

    // From now on a later start brings `mainWindow` to the front.
    void raiseOnRequest(QWidget *mainWindow);

    // The dog house in every size the desktop asks for; every window carries it.
    static QIcon icon();

    static QString alreadyRunningText(const QString &folder);

private:
    std::unique_ptr<SingleInstance> m_instance; // made once the folder exists
    int m_exitCode = 0;
};
