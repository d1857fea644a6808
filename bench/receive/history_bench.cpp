// Opening the received history in the history window; driven by run.sh.
//
//   history_bench make FOLDER N   a program folder whose received history holds N records
//   history_bench open FOLDER     OpenHistory(1) until the list is painted; prints
//                                 "open <seconds> rows <n> rss_growth_mb <x> peak_rss_mb <y>"
#include "app/Forms.h"
#include "store/HistoryFile.h"
#include "viewer/TyakuForm.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <cstdio>

namespace {

// A field of /proc/self/status, in MB.
double statusMb(const char *key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key))).trimmed().split(' ').first().toDouble() / 1024.0;
    return -1;
}

int make(const QString &folder, int count)
{
    QDir().mkpath(folder + QStringLiteral("/★MailData"));
    QFile out(folder + QStringLiteral("/★MailData/ppdata2.data"));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 1;
    QString paragraph;
    for (int i = 0; i < 20; ++i)
        paragraph += QStringLiteral("こんにちは。お元気ですか？表計算のソフトの件でご連絡します。①〜⑩\r\n");
    for (int n = 1; n <= count; ++n) {
        const HistoryRecord r = HistoryRecord::make(
            QStringLiteral("Re: 打ち合わせの件 %1").arg(n),
            QStringLiteral("Wed, 9 Dec 2026 10:%1:00 +0900").arg(n % 60),
            QStringLiteral("山田 太郎 <taro%1@example.jp>").arg(n), paragraph.repeated(1 + n % 8));
        if (out.write(r.bytes()) != r.bytes().size())
            return 1;
    }
    return out.flush() ? 0 : 1;
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
    const double rssBefore = statusMb("VmRSS:");

    QElapsedTimer clock;
    clock.start();
    window->OpenHistory(1);
    QApplication::processEvents(); // the list laid out and painted
    const double seconds = double(clock.nsecsElapsed()) / 1e9;

    std::printf("open %.3f rows %d rss_growth_mb %.1f peak_rss_mb %.1f\n", seconds, window->rowCount(),
                statusMb("VmRSS:") - rssBefore, statusMb("VmHWM:"));
    Forms::destroyAll();
    return 0;
}
