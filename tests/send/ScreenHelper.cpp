// Shows the compose window (normal, wide or tall) or the reply window with sample text on a real
// display, for screenshots. Prints the window's frame as "x y width height" (for the reply window
// followed by the width of its attachment field and the height of its body) once it is drawn and
// runs until it is ended.
#include "addressbook/AddressBookFile.h"
#include "app/Forms.h"
#include "send/BackForm.h"
#include "send/WriteForm.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("normal");

    QWidget *window = nullptr;
    if (mode == QLatin1String("reply")) {
        BackForm *reply = Forms::backForm();
        reply->SubjectText->setText(QStringLiteral("Re:  会議のお知らせ"));
        reply->ToText->setText(QStringLiteral("山田太郎 <yamada@example.jp>"));
        reply->AttachText->setText(QStringLiteral("/home/taro/議事録.txt"));
        reply->setBodyText(
            QStringLiteral("了解しました。\r\n\r\n> 明日の会議は十時からです。\r\n> よろしくお願いします。"));
        window = reply;
    } else {
        const char *names[][2] = {
            {"山田太郎", "yamada@example.jp"}, {"佐藤花子", "hanako@example.jp"}, {"Bob", "bob@example.org"}};
        for (int n = 1; n <= 3; ++n)
            AddressBook::WriteAddressRecord(AddressBook::BookFile(), n, QString::fromUtf8(names[n - 1][0]),
                                            QString::fromUtf8(names[n - 1][1]));
        WriteForm *compose = Forms::writeForm();
        compose->ToText->setPlainText(QStringLiteral("yamada@example.jp"));
        compose->SubjectText->setText(QStringLiteral("写真を送ります"));
        compose->BodyText->setPlainText(QStringLiteral("こんにちは。\n先日の旅行の写真です。"));
        compose->Option[5]->click();
        if (mode == QLatin1String("wide"))
            compose->Command4->click();
        window = compose;
    }
    window->show();
    if (mode == QLatin1String("tall")) {
        auto *compose = static_cast<WriteForm *>(window);
        const QString to = compose->ToText->toPlainText();
        compose->ToText->setPlainText(QStringLiteral("zemi"));
        QTest::mouseDClick(compose->Label7, Qt::LeftButton);
        compose->ToText->setPlainText(to);
    }
    // Once the window manager has framed the window (and the window has taken its outer size
    // from that frame), say where it is.
    auto *poll = new QTimer(&app);
    int waited = 0, framedAt = -1;
    QObject::connect(poll, &QTimer::timeout, [window, poll, &waited, &framedAt] {
        waited += 100;
        const QMargins m = window->windowHandle() ? window->windowHandle()->frameMargins() : QMargins();
        if (!m.isNull() && framedAt < 0)
            framedAt = waited;
        const bool settled = framedAt >= 0 && waited >= qMax(framedAt + 700, 1500);
        if (!settled && waited < 8000)
            return;
        poll->stop();
        const QRect frame = window->frameGeometry();
        // The reply window also tells how it laid itself out for that outer size.
        const auto *reply = qobject_cast<BackForm *>(window);
        std::printf("%d %d %d %d %d %d\n", frame.x(), frame.y(), frame.width(), frame.height(),
                    reply ? reply->AttachText->width() : 0, reply ? reply->BodyText->height() : 0);
        std::fflush(stdout);
    });
    poll->start(100);
    const int code = QApplication::exec();
    Forms::destroyAll();
    return code;
}
