// Shows dog 5 (Form2) and dog 1 (Form4) standing still at fixed places on a real X display, for
// the on-screen test. Ends when the program is ended (a right click on a dog).
#include "app/Forms.h"
#include "characters/DogWindow.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    const QPoint places[] = {{200, 200}, {420, 200}};
    const int forms[] = {2, 4};
    for (int i = 0; i < 2; ++i) {
        DogWindow *dog = Forms::dogWindow(forms[i]);
        dog->setTimer1Interval(0);
        dog->setTimer2Interval(0);
        dog->move(places[i]);
        dog->show();
    }
    QTimer::singleShot(500, [] {
        std::printf("ready\n");
        std::fflush(stdout);
    });
    const int code = QApplication::exec();
    Forms::destroyAll();
    return code;
}
