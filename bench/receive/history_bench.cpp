// Opening the received history in the history window; driven by run.sh.
//
//   history_bench make FOLDER N   a program folder whose received history holds N records
//   history_bench open FOLDER     OpenHistory(1) until the list is painted; prints
//                                 "open <seconds> rows <n> rss_growth_mb <x> peak_rss_mb <y>"
#include "../common/BenchSupport.h"
#include "app/Forms.h"
#include "viewer/TyakuForm.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>

#include <cstdio>

namespace {

int make(const QString &folder, int count)
{
    QString paragraph;
    for (int i = 0; i < 20; ++i)
        paragraph += QStringLiteral("こんにちは。お元気ですか？表計算のソフトの件でご連絡します。①〜⑩\r\n");
    return bench::writeReceivedHistory(folder, count, [&](int n) { return paragraph.repeated(1 + n % 8); });
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: history_bench make FOLDER N | open FOLDER\n");
        return 2;
    }
    const QString mode = QString::fromLocal8Bit(argv[1]);
    const QString folder = QString::fromLocal8Bit(argv[2]);
    if (mode == QStringLiteral("make"))
        return make(folder, argc > 3 ? atoi(argv[3]) : 32767);

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("WANDERPUP_HOME", QFile::encodeName(folder));
    QApplication app(argc, argv);
    TyakuForm *window = Forms::tyakuForm();
    window->show();
    QApplication::processEvents();
    const double rssBefore = bench::statusMb("VmRSS:");

    QElapsedTimer clock;
    clock.start();
    window->OpenHistory(1);
    QApplication::processEvents(); // the list laid out and painted
    const double seconds = double(clock.nsecsElapsed()) / 1e9;

    std::printf("open %.3f rows %d rss_growth_mb %.1f peak_rss_mb %.1f\n", seconds, window->rowCount(),
                bench::statusMb("VmRSS:") - rssBefore, bench::statusMb("VmHWM:"));
    Forms::destroyAll();
    return 0;
}
