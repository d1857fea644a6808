// The history window as a text editor, driven by run.sh and screenshot.sh.
//
//   editor_bench make FILE MB       a code page 932 text of about MB megabytes
//   editor_bench open FILE WORD     opens FILE through "開く" and runs "検索" and "次を検索" until
//                                   nothing more is found; prints
//                                   "open <s> find <s> total <s> cpu <s> hits <n> chars <n>"
//   editor_bench show FILE WORD PDF opens FILE, finds WORD, prints the text to PDF and stays open
//                                   for a screenshot
#include "app/Forms.h"
#include "platform/Cp932.h"
#include "platform/Prompter.h"
#include "viewer/EditorCommands.h"
#include "viewer/TextDocument.h"
#include "viewer/TyakuForm.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPrinter>

#include <sys/resource.h>

#include <cstdio>

namespace {

// Processor time of this process so far (user and system), in seconds.
double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Answers the file dialog with one file and the print dialog with a PDF file.
class FixedPrompter final : public Prompter
{
public:
    QString file, pdf;
    int message(const QString &, const QString &, Buttons, Icon) override { return Ok; }
    QString openFileName(const QString &, const QString &) override { return file; }
    QString saveFileName(const QString &, const QString &) override { return QString(); }
    bool printDialog(QPrinter &printer, bool) override
    {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        return !pdf.isEmpty();
    }
};

int make(const QString &path, double megabytes)
{
    const QString lines[] = {
        QStringLiteral("拝啓　新緑の候、皆様にはますますご清祥のこととお喜び申し上げます。"),
        QStringLiteral("先日お送りしたメールの件ですが、表計算のソフトで集計した結果を添付します。"),
        QStringLiteral("The meeting is on Monday; please reply by mail before noon. ①②③"),
        QStringLiteral("犬たちは毎朝散歩に出かけます。ソフトクリームが好きな犬もいます。"),
        QStringLiteral(""),
    };
    QByteArray bytes;
    const qint64 target = qint64(megabytes * 1024 * 1024);
    for (int n = 0; bytes.size() < target; ++n)
        bytes += Cp932::fromUnicode(lines[n % 5]) + "\r\n";
    QFile out(path);
    return out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size() ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (mode == QStringLiteral("make") && argc == 4)
        return make(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]).toDouble());
    if (mode == QStringLiteral("phases") && argc == 3) {
        // Where opening spends its time.
        Cp932::toUnicode(QByteArray("\x82\xA0"));
        QElapsedTimer timer;
        timer.start();
        const Editor::TextFile file = Editor::readPlainText(QString::fromLocal8Bit(argv[2]));
        const double read = timer.nsecsElapsed() / 1e9;
        const QString lines = Editor::groupLines(Editor::textLines(file.text));
        const double split = timer.nsecsElapsed() / 1e9;
        TyakuForm *window = Forms::tyakuForm();
        window->show();
        QApplication::processEvents();
        timer.restart();
        window->rtfEd->setPlainText(lines);
        const double set = timer.nsecsElapsed() / 1e9;
        QApplication::processEvents();
        const double drawn = timer.nsecsElapsed() / 1e9;
        const QString plain = window->rtfEd->toPlainText();
        const double back = timer.nsecsElapsed() / 1e9;
        std::printf("read+decode %.3f lines %.3f setPlainText %.3f drawn %.3f toPlainText %.3f (%lld)\n", read,
                    split - read, set, drawn - set, back - drawn, qint64(plain.size()));
        return 0;
    }
    if ((mode != QStringLiteral("open") || argc != 4) && (mode != QStringLiteral("show") || argc != 5)) {
        std::fprintf(stderr, "usage: editor_bench make FILE MB | open FILE WORD | show FILE WORD PDF\n");
        return 2;
    }
    // The program decodes its settings at start-up, so the code page 932 table is built by the
    // time a user opens a file.
    Cp932::toUnicode(QByteArray("\x82\xA0"));
    FixedPrompter prompter;
    prompter.file = QString::fromLocal8Bit(argv[2]);
    Prompter::install(&prompter);
    const QString word = QString::fromLocal8Bit(argv[3]);

    TyakuForm *window = Forms::tyakuForm();
    window->OpenHistory(1);
    window->Text1->setText(word);
    QApplication::processEvents();

    if (mode == QStringLiteral("show")) {
        window->move(20, 20);
        window->editor()->run(QStringLiteral("mopen"));
        window->editor()->run(QStringLiteral("Search"));
        window->editor()->run(QStringLiteral("mtugikensaku"));
        prompter.pdf = QString::fromLocal8Bit(argv[4]);
        window->editor()->run(QStringLiteral("Print"));
        return app.exec();
    }

    QElapsedTimer timer;
    const double cpuStart = cpuSeconds();
    timer.start();
    window->editor()->run(QStringLiteral("Open"));
    QApplication::processEvents(); // drawn
    const double opened = timer.nsecsElapsed() / 1e9;
    int hits = 0;
    window->editor()->run(QStringLiteral("Search"));
    while (window->editor()->FoundAt() > 0) {
        ++hits;
        window->editor()->run(QStringLiteral("mtugikensaku"));
    }
    QApplication::processEvents(); // the last hit shown
    const double total = timer.nsecsElapsed() / 1e9;
    std::printf("open %.3f find %.3f total %.3f cpu %.3f hits %d chars %lld\n", opened, total - opened, total,
                cpuSeconds() - cpuStart, hits, qint64(window->rtfEd->document()->characterCount()));
    Prompter::install(nullptr);
    Forms::destroyAll();
    return 0;
}
