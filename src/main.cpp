#include "app/Forms.h"
#include "app/MainForm.h"
#include "app/ProgramStart.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Wanderpup"));
    app.setDesktopFileName(QStringLiteral("wanderpup"));
    app.setWindowIcon(ProgramStart::icon());
    app.setQuitOnLastWindowClosed(false);

    ProgramStart start;
    if (!start.proceed())
        return start.exitCode();

    MainForm *main = Forms::mainForm();
    start.raiseOnRequest(main);
    main->startUp();
    main->show();

    const int code = app.exec();
    Forms::destroyAll();
    return code;
}
