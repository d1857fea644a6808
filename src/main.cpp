#include "app/DesktopPlatform.h"
#include "app/Forms.h"
#include "app/MainForm.h"
#include "app/ProgramStart.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>

int main(int argc, char *argv[])
{
    DesktopPlatform::chooseBeforeStart();
    QApplication app(argc, argv);
    DesktopPlatform::restoreEnvironment();
    app.setApplicationName(QStringLiteral("Wanderpup"));
    app.setDesktopFileName(QStringLiteral("example.wanderpup.wanderpup"));
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
    QTimer::singleShot(0, main, [] { DesktopPlatform::tellIfDogsCannotWalk(); });

    const int code = app.exec();
    Forms::destroyAll();
    return code;
}
