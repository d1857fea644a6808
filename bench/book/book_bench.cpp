// Deleting one mail in the history window, and opening the address book; driven by run.sh.
//
//   book_bench make-history FOLDER N   a program folder whose received history holds N records
//   book_bench delete FOLDER ROW       OpenHistory(1), click row ROW (from 0), "１件削除" answered
//                                      Yes; prints "delete <seconds> rows <n> rss_growth_mb <x>
//                                      peak_growth_mb <y>", the time from the answer to the
//                                      rebuilt list painted
//   book_bench make-book FOLDER N      an address book of N entries
//   book_bench open-book FOLDER        after the main window's start-up, the address book window
//                                      from its creation to painted; prints "open <seconds> rows
//                                      <n> cpu <seconds of CPU time>"
#include "../common/BenchSupport.h"
#include "addressbook/AddressBookFile.h"
#include "addressbook/FriendForm.h"
#include "app/Forms.h"
#include "app/MainForm.h"
#include "platform/Prompter.h"
#include "viewer/MailListModel.h"
#include "viewer/TyakuForm.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QTreeView>

#include <cstdio>
#include <ctime>

namespace {

// CPU time of this thread: what the work costs, whatever else the machine runs.
double cpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Answers Yes and starts the clock as it does.
class YesPrompter final : public Prompter
{
public:
    QElapsedTimer clock;
    int asked = 0;
    int message(const QString &, const QString &, Buttons, Icon) override
    {
        ++asked;
        clock.start();
        return Yes;
    }
    QString openFileName(const QString &, const QString &) override { return QString(); }
    QString saveFileName(const QString &, const QString &) override { return QString(); }
};

int makeHistory(const QString &folder, int count)
{
    const QString line = QStringLiteral("打ち合わせの資料を添付します。ご確認下さい。①〜⑩\r\n");
    return bench::writeReceivedHistory(folder, count, [&](int n) { return line.repeated(20 + n % 200); });
}

int makeBook(const QString &folder, int count)
{
    QDir().mkpath(folder + QStringLiteral("/★MailData"));
    QFile petpost(folder + QStringLiteral("/petpost.ini"));
    if (!petpost.open(QIODevice::WriteOnly) || petpost.write("POP3=127.0.0.1\r\n") < 0)
        return 1;
    QFile out(folder + QStringLiteral("/★MailData/Ppdata20.data"));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 1;
    for (int n = 1; n <= count; ++n) {
        const AddressRecord r =
            AddressRecord::make(QStringLiteral("山田 太郎%1").arg(n), QStringLiteral("taro%1@example.jp").arg(n));
        if (out.write(r.bytes()) != r.bytes().size())
            return 1;
    }
    return out.flush() ? 0 : 1;
}

int deleteOne(int row)
{
    YesPrompter prompter;
    Prompter::install(&prompter);
    TyakuForm *window = Forms::tyakuForm();
    window->show();
    window->OpenHistory(1);
    QApplication::processEvents();
    const QModelIndex index = window->mailList->index(row, 0);
    window->MailListView->scrollTo(index);
    window->MailListView->setCurrentIndex(index);
    window->ShowSelectedMail();
    QApplication::processEvents();
    const double rssBefore = bench::statusMb("VmRSS:");
    const double peakBefore = bench::statusMb("VmHWM:");

    window->Command1->click();
    QApplication::processEvents(); // the rebuilt list laid out and painted
    const double seconds = double(prompter.clock.nsecsElapsed()) / 1e9;

    std::printf("delete %.3f rows %d rss_growth_mb %.1f peak_growth_mb %.1f\n", seconds, window->rowCount(),
                bench::statusMb("VmRSS:") - rssBefore, bench::statusMb("VmHWM:") - peakBefore);
    Forms::destroyAll();
    Prompter::install(nullptr);
    return prompter.asked == 1 ? 0 : 1;
}

int openBook()
{
    // The program runs already: the main window, started up and painted, has brought up the
    // fonts, the style and the character tables.
    MainForm *main = Forms::mainForm();
    main->startUp();
    main->show();
    QApplication::processEvents();
    QElapsedTimer clock;
    clock.start();
    const double cpuBefore = cpuSeconds();
    FriendForm *book = Forms::friendForm();
    book->show();
    QApplication::processEvents(); // laid out and painted
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    std::printf("open %.4f rows %d cpu %.4f\n", seconds, book->List1->count(), cpuSeconds() - cpuBefore);
    Forms::destroyAll();
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: book_bench make-history|delete|make-book|open-book FOLDER [N|ROW]\n");
        return 2;
    }
    const QString mode = QString::fromLocal8Bit(argv[1]);
    const QString folder = QString::fromLocal8Bit(argv[2]);
    const int number = argc > 3 ? atoi(argv[3]) : 0;
    if (mode == QStringLiteral("make-history"))
        return makeHistory(folder, number > 0 ? number : 10000);
    if (mode == QStringLiteral("make-book"))
        return makeBook(folder, number > 0 ? number : 5000);

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("WANDERPUP_HOME", QFile::encodeName(folder));
    QApplication app(argc, argv);
    if (mode == QStringLiteral("delete"))
        return deleteOne(number);
    if (mode == QStringLiteral("open-book"))
        return openBook();
    return 2;
}
