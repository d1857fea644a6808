#include "app/Forms.h"
#include "app/MainForm.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Wanderpup"));
    app.setQuitOnLastWindowClosed(false);

    MainForm *main = Forms::mainForm();
    main->startUp();
    main->show();

    const int code = app.exec();
    Forms::destroyAll();
    return code;
}
