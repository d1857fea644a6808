// Twips, placement and centring of the window kit, on the offscreen platform at 96 dots per inch.
#include "kit/Twips.h"
#include "kit/WindowKit.h"
#include "kit/WrappingLabel.h"
#include "platform/Fonts.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QWidget>

#include <gtest/gtest.h>

TEST(Twips, FifteenPerPixelAtNinetySixDots)
{
    // The offscreen screen reports 96 dots per inch.
    EXPECT_FLOAT_EQ(Twips::perPixelX(), 15.0f);
    EXPECT_FLOAT_EQ(Twips::perPixelY(), 15.0f);
    EXPECT_EQ(Twips::screenWidth() % 15, 0);
}

TEST(TwipsScale, ConvertsBothWaysAndRoundsHalfAwayFromZero)
{
    // 120 dots per inch across, 144 down.
    const TwipsScale scale(12.0f, 10.0f);
    EXPECT_EQ(scale.toPixels(QRectF(7560, 720, 480, 255)), QRect(630, 72, 40, 26)); // 25.5 rounds up
    EXPECT_EQ(scale.toPixels(QPointF(-6000, -6005)), QPoint(-500, -601));           // -600.5 rounds down
    EXPECT_EQ(scale.toPixels(QPointF(6, -5)), QPoint(1, -1));                       // 0.5 and -0.5 alike
    EXPECT_EQ(scale.toPixels(QSizeF(960, 960)), QSize(80, 96));
    EXPECT_EQ(scale.toTwips(QPoint(-3, 7)), QPoint(-36, 70));
    EXPECT_EQ(scale.toTwips(QSize(619, 470)), QSizeF(7428, 4700));

    // A factor with no whole twips per pixel, as at 110 dots per inch.
    const TwipsScale odd(float(1440.0 / 110), float(1440.0 / 110));
    EXPECT_EQ(odd.toTwips(QPoint(1, 3)), QPoint(13, 39)); // 13.09 and 39.27
    EXPECT_EQ(odd.toPixelsX(odd.toTwipsX(77)), 77);
}

TEST(WindowKit, PlacesByPixelsOrTwipsAndCentres)
{
    QWidget window;
    auto *pixels = Kit::place(new QLabel(&window), "Label1", {8, 12, 40, 16});
    auto *twips = Kit::placeInTwips(new QLabel(&window), QStringLiteral("Label%1").arg(2), {7560, 720, 480, 255});
    EXPECT_EQ(window.findChild<QLabel *>(QStringLiteral("Label1")), pixels);
    EXPECT_EQ(pixels->geometry(), QRect(8, 12, 40, 16));
    EXPECT_EQ(window.findChild<QLabel *>(QStringLiteral("Label2")), twips);
    EXPECT_EQ(twips->geometry(), QRect(504, 48, 32, 17));

    window.resize(201, 118);
    Kit::centreOnScreen(&window);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(window.frameGeometry().center(), screen.center());
}

TEST(WindowKit, AWindowPutWhereAnotherStoodOrShownOffTheScreenComesOnIt)
{
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    QWidget main, reply;
    main.resize(513, 368);
    reply.resize(300, 200);
    reply.move(area.right() - 300, area.bottom() - 200); // near the bottom right corner
    reply.show();
    Kit::swapForms(&main, &reply);
    EXPECT_TRUE(area.contains(main.frameGeometry())) << main.frameGeometry().x() << "," << main.frameGeometry().y();
    EXPECT_EQ(main.frameGeometry().bottomRight(), area.bottomRight());
    // Where it fits, exactly where the other one stood.
    reply.move(area.topLeft() + QPoint(20, 30));
    Kit::swapForms(&reply, &main);
    reply.move(area.topLeft() + QPoint(20, 30));
    Kit::swapForms(&main, &reply);
    EXPECT_EQ(main.pos(), area.topLeft() + QPoint(20, 30));

    // Shown where something else put it, again and again.
    QWidget settings;
    settings.resize(600, 384);
    Kit::keepOnScreenWhenShown(&settings);
    for (const QPoint &put : {QPoint(area.right() - 100, area.bottom() - 50), QPoint(area.left() - 300, area.top() - 10)}) {
        settings.move(put);
        settings.show();
        EXPECT_TRUE(area.contains(settings.frameGeometry()));
        settings.hide();
    }
}

TEST(WrappingLabel, BreaksAtSpaceRunsAndAfterPunctuation)
{
    const QFontMetrics metrics(Fonts::proportionalGothic(9));
    const QString ideo(1, QChar(0x3000));
    const QString first = QStringLiteral("新着メールがあった場合の犬の設定。複数選べます。");
    const QString rest = QStringLiteral("メールチェック以外でも確認可能。");
    // Room for the first sentences and a little of the next: the line ends after "。".
    const int width = metrics.horizontalAdvance(first + QStringLiteral("メール"));
    EXPECT_EQ(WrappingLabel::wrap(ideo + first + rest + ideo.repeated(16) + QStringLiteral("次の段落。"), metrics,
                                  width),
              (QStringList{ideo + first, rest, QStringLiteral("次の段落。")}));
    // A leading run goes; a line never starts with closing punctuation nor ends with an opening one.
    const QString note = QStringLiteral("１～５の番号は「犬種」です。");
    const int narrow = metrics.horizontalAdvance(QStringLiteral("１～５の番号は「"));
    EXPECT_EQ(WrappingLabel::wrap(ideo.repeated(18) + note, metrics, narrow),
              (QStringList{QStringLiteral("１～５の番号は"), QStringLiteral("「犬種」です。")}));
    EXPECT_EQ(WrappingLabel::wrap(QStringLiteral("ああ。"), metrics, metrics.horizontalAdvance(QStringLiteral("ああ"))),
              (QStringList{QStringLiteral("あ"), QStringLiteral("あ。")}));
}
