#include "app/Forms.h"
#include "app/MainForm.h"
#include "app/ProgramStart.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Wanderpup"));
    app.setDesktopFileName(QStringLiteral("wanderpup"));
    app.setWindowIcon(ProgramStart::icon());
    app.setQuitOnLastWindowClosed(false);

    // Every text of the program is Japanese; the toolkit's own dialogs (file, print, the
    // overwrite question) speak it too where the translations are installed.
    QTranslator toolkitTexts;
    if (toolkitTexts.load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(&toolkitTexts);

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
