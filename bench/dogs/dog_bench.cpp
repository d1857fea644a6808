// Dog benchmarks, run by hand (see run.sh beside this file):
//   dog_bench create [ROUNDS]   creating all ten dog windows, outlines included
//   dog_bench walk SECONDS      ten dogs shown and walking; CPU and memory are read from outside
#include "app/Forms.h"
#include "characters/DogCommands.h"
#include "characters/DogWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

int create(int rounds)
{
    std::vector<double> times;
    std::vector<double> shown;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer clock;
        clock.start();
        for (int form = 1; form <= 10; ++form)
            Forms::dogWindow(form);
        times.push_back(double(clock.nsecsElapsed()) / 1e6);
        // As the sync does it: created, then shown (the native windows are made here).
        for (int form = 1; form <= 10; ++form)
            Forms::dogWindow(form)->show();
        QCoreApplication::processEvents();
        shown.push_back(double(clock.nsecsElapsed()) / 1e6);
        for (int form = 1; form <= 10; ++form)
            Forms::closeDogWindow(form);
        QCoreApplication::processEvents();
    }
    std::vector<double> sorted = times;
    std::sort(sorted.begin(), sorted.end());
    std::printf("create ten dog windows: first %.2f ms, median %.2f ms, max %.2f ms over %d rounds\n",
                times.front(), sorted[sorted.size() / 2], sorted.back(), rounds);
    std::sort(shown.begin(), shown.end());
    std::printf("create and show them:   median %.2f ms, max %.2f ms\n", shown[shown.size() / 2],
                shown.back());
    return 0;
}

int walk(int seconds)
{
    for (int form = 1; form <= 10; ++form)
        Forms::dogWindow(form)->show();
    DogCommands::walkAll();
    QTimer::singleShot(seconds * 1000, qApp, [] { QCoreApplication::exit(0); });
    std::printf("ten dogs walking for %d s\n", seconds);
    std::fflush(stdout);
    const int code = QApplication::exec();
    Forms::destroyAll();
    return code;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    const int number = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 0;
    if (mode == QLatin1String("create"))
        return create(number > 0 ? number : 20);
    if (mode == QLatin1String("walk"))
        return walk(number > 0 ? number : 60);
    std::fprintf(stderr, "usage: %s create [ROUNDS] | walk SECONDS\n", argv[0]);
    return 2;
}
