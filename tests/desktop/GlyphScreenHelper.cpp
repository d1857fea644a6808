// Emoji and 𠮷 in the history, compose and reply windows on a real X display. For each box the
// screen is read back three times: with the character, with a character no font has (what a
// missing glyph looks like in that box) and empty. The character shows when its picture is
// neither; an emoji shows in colour. The windows with whole texts are saved as pictures.
// Prints "ok:" and "FAILED:" lines; the exit status is 1 when anything failed.
#include "app/Forms.h"
#include "send/BackForm.h"
#include "send/WriteForm.h"
#include "viewer/TyakuForm.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTreeView>
#include <QWindow>

#include <cstdio>
#include <functional>

namespace {

const QString kCake = QStringLiteral("🎂");
const QString kRare = QStringLiteral("𠮷");
const QString kNoGlyph = QString::fromUcs4(U"\U0010FFFD", 1); // a private-use character

int g_failed = 0;

void report(bool ok, const QString &what)
{
    std::printf("%s: %s\n", ok ? "ok" : "FAILED", qPrintable(what));
    g_failed += ok ? 0 : 1;
}

QImage grab(QWidget *box)
{
    QWidget *window = box->window();
    const QRect area(box->mapTo(window, QPoint(0, 0)), box->size());
    return window->screen()
        ->grabWindow(window->winId(), area.x(), area.y(), area.width(), area.height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

// What the X server shows of `box` once it has settled (a list lays its rows out later).
QImage onScreen(QWidget *box)
{
    QImage last;
    for (int tries = 0; tries < 100; ++tries) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        box->repaint(); // painted and handed to the X server before it is read back
        QImage now = grab(box);
        if (now == last)
            return now;
        last = std::move(now);
    }
    return last;
}

int differingPixels(const QImage &a, const QImage &b)
{
    if (a.size() != b.size())
        return a.width() * a.height();
    int count = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            count += a.pixel(x, y) != b.pixel(x, y) ? 1 : 0;
    return count;
}

int colouredPixels(const QImage &image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            count += qMax(c.red(), qMax(c.green(), c.blue())) - qMin(c.red(), qMin(c.green(), c.blue())) > 80 ? 1 : 0;
        }
    return count;
}

// A text cursor or a rounding may differ by a few pixels; a glyph differs by many.
constexpr int kSame = 12;

void checkBox(const QString &name, QWidget *box, const std::function<void(const QString &)> &setText)
{
    setText(QString());
    const QImage empty = onScreen(box);
    setText(kNoGlyph);
    const QImage missing = onScreen(box);
    report(differingPixels(missing, empty) > kSame, name + QStringLiteral(": a missing glyph is seen"));
    for (const QString &character : {kCake, kRare}) {
        setText(character);
        const QImage shown = onScreen(box);
        const bool drawn = differingPixels(shown, empty) > kSame && differingPixels(shown, missing) > kSame;
        report(drawn, name + QStringLiteral(": ") + character + QStringLiteral(" shows as a glyph"));
        if (character == kCake)
            report(colouredPixels(shown) > 20, name + QStringLiteral(": ") + character + QStringLiteral(" in colour"));
    }
}

void save(QWidget *window, const QString &file)
{
    report(onScreen(window).save(file), QStringLiteral("picture ") + file);
}

void lineEdit(const QString &name, QLineEdit *box)
{
    checkBox(name, box, [box](const QString &text) { box->setText(text); });
}

void plainText(const QString &name, QPlainTextEdit *box)
{
    box->setCursorWidth(0);
    checkBox(name, box, [box](const QString &text) { box->setPlainText(text); });
}

void waitUntilExposed(QWidget *window)
{
    window->show();
    for (int i = 0; i < 500 && !(window->windowHandle() && window->windowHandle()->isExposed()); ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QCoreApplication::processEvents();
}

// The subject and the body of the compose or the reply window, then the window with whole texts.
void mailWindow(const QString &name, QWidget *window, QWidget *button, QLineEdit *subjectBox, QPlainTextEdit *bodyBox,
                const QString &subject, const QString &body, const QString &file)
{
    waitUntilExposed(window);
    button->setFocus();
    lineEdit(name + QStringLiteral(" subject"), subjectBox);
    plainText(name + QStringLiteral(" body"), bodyBox);
    subjectBox->setText(subject);
    bodyBox->setPlainText(body);
    save(window, file);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setCursorFlashTime(0); // a text cursor that blinks would change the pictures
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
    QDir().mkpath(out);
    const QString subject = QStringLiteral("誕生日") + kCake + QStringLiteral("おめでとう");
    const QString body = QStringLiteral("お誕生日おめでとう🎉") + kCake + QStringLiteral("\n") + kRare
                         + QStringLiteral("野家で会いましょう。");

    TyakuForm *history = Forms::tyakuForm();
    waitUntilExposed(history);
    history->clearList();
    history->Command1->setFocus();
    checkBox(QStringLiteral("history list"), history->MailListView->viewport(), [history](const QString &text) {
        history->clearList();
        history->addStoredRow(text, QString(), QString(), 1, 1);
    });
    lineEdit(QStringLiteral("history subject box"), history->Text7);
    plainText(QStringLiteral("history body"), history->rtfEd);
    history->clearList();
    history->addStoredRow(subject, QStringLiteral("山田") + kRare + QStringLiteral("子 <yoshiko@example.jp>"),
                          QStringLiteral("Tue, 08 Dec 2026 10:00:00 +0900"), 1, 1);
    history->Text7->setText(subject);
    history->setBodyText(body);
    save(history, out + QStringLiteral("/glyphs-history.png"));
    history->hide();

    WriteForm *compose = Forms::writeForm();
    mailWindow(QStringLiteral("compose"), compose, compose->Command1, compose->SubjectText, compose->BodyText, subject,
               body, out + QStringLiteral("/glyphs-compose.png"));
    compose->hide();
    BackForm *reply = Forms::backForm();
    mailWindow(QStringLiteral("reply"), reply, reply->Command2, reply->SubjectText, reply->BodyText,
               QStringLiteral("Re:  ") + subject, body, out + QStringLiteral("/glyphs-reply.png"));

    std::fflush(stdout);
    Forms::destroyAll();
    return g_failed == 0 ? 0 : 1;
}
