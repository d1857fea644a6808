// Shows dog 5 (Form2) and dog 1 (Form4) standing still at fixed places on a real X display, for
// the on-screen test, and dog 6 (Form6) drawn in one colour only. Ends when the program is ended
// (a right click on a dog).
#include "app/Forms.h"
#include "characters/DogWindow.h"

#include <QApplication>
#include <QImage>
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
    // Dog 6 (Form6) with frames of one colour only: nothing of it may show.
    DogWindow *blank = Forms::dogWindow(6);
    blank->setTimer1Interval(0);
    blank->setTimer2Interval(0);
    QImage grey(64, 64, QImage::Format_RGB32);
    grey.fill(qRgb(235, 235, 235));
    for (int slot = 0; slot < 8; ++slot)
        blank->setFramePicture(slot, grey);
    blank->move(200, 400);
    blank->show();
    QTimer::singleShot(500, [] {
        std::printf("ready\n");
        std::fflush(stdout);
    });
    const int code = QApplication::exec();
    Forms::destroyAll();
    return code;
}
