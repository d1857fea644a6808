// Draws the main window's picture (a dog house whose doorway is black) and the window icon in
// every size the desktop uses.
// Usage: draw_doghouse ASSETS_FOLDER

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cstdio>

namespace {

constexpr int W = 510;
constexpr int H = 347;
// Where the see-through doorway of the window lies, in picture coordinates.
const QRect kDoorway(118, 164, 279, 183);

void drawPlanks(QPainter &p, const QRect &area, const QColor &base, int plankWidth)
{
    p.save();
    p.setClipRect(area);
    for (int x = area.left(), i = 0; x < area.right(); x += plankWidth, ++i) {
        QColor c = base;
        c = (i % 3 == 0) ? c.lighter(106) : (i % 3 == 1 ? c : c.darker(106));
        QLinearGradient g(x, 0, x + plankWidth, 0);
        g.setColorAt(0, c.lighter(110));
        g.setColorAt(1, c.darker(112));
        p.fillRect(QRect(x, area.top(), plankWidth, area.height()), g);
        p.setPen(QPen(base.darker(170), 1.5));
        p.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom() + 1));
        // Wood grain.
        p.setPen(QPen(base.darker(125), 0.8));
        for (int k = 0; k < 3; ++k) {
            int gx = x + 6 + (k * 9 + i * 5) % (plankWidth - 8);
            QPainterPath grain;
            grain.moveTo(gx, area.top());
            grain.cubicTo(gx + 3, area.top() + area.height() / 3, gx - 3, area.top() + 2 * area.height() / 3,
                          gx + 1, area.bottom());
            p.drawPath(grain);
        }
    }
    p.restore();
}

void drawPaw(QPainter &p, QPointF at, qreal size, const QColor &colour)
{
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawEllipse(at, size * 0.55, size * 0.45);
    const QPointF toes[] = {{-0.55, -0.65}, {-0.2, -0.95}, {0.2, -0.95}, {0.55, -0.65}};
    for (const QPointF &t : toes)
        p.drawEllipse(at + t * size, size * 0.2, size * 0.24);
    p.restore();
}

QImage drawHouse()
{
    QImage image(W, H, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    // Sky behind the roof.
    QLinearGradient sky(0, 0, 0, 160);
    sky.setColorAt(0, QColor(120, 180, 235));
    sky.setColorAt(1, QColor(200, 228, 250));
    p.fillRect(image.rect(), sky);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 210));
    for (QPointF c : {QPointF(30, 40), QPointF(52, 34), QPointF(470, 52), QPointF(490, 44)})
        p.drawEllipse(c, 22, 11);

    // Walls.
    drawPlanks(p, QRect(0, 140, W, H - 140), QColor(140, 88, 44), 26);

    // Roof with shingles, dark enough for the yellow help line and white captions.
    QPolygonF roof({{-10, 152}, {100, 6}, {410, 6}, {520, 152}});
    QLinearGradient roofShade(0, 0, 0, 152);
    roofShade.setColorAt(0, QColor(128, 36, 28));
    roofShade.setColorAt(1, QColor(88, 22, 18));
    p.setBrush(roofShade);
    p.setPen(QPen(QColor(60, 14, 10), 3));
    p.drawPolygon(roof);
    p.save();
    QPainterPath roofPath;
    roofPath.addPolygon(roof);
    p.setClipPath(roofPath);
    p.setPen(QPen(QColor(70, 16, 12, 160), 1.2));
    for (int y = 20, row = 0; y < 152; y += 14, ++row)
        for (int x = (row % 2) * 14; x < W; x += 28) {
            p.drawLine(0, y, W, y);
            p.drawLine(x, y, x, y + 14);
        }
    p.restore();
    // Eaves board.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(70, 40, 18));
    p.drawRect(QRectF(0, 150, W, 10));

    // A cream sign for the walk and kennel commands (blue captions).
    QRectF sign(296, 62, 98, 60);
    p.setPen(QPen(QColor(90, 60, 30), 2));
    p.setBrush(QColor(250, 238, 200));
    p.drawRoundedRect(sign, 6, 6);
    p.setPen(QPen(QColor(200, 180, 130), 1));
    p.drawLine(QPointF(sign.left() + 6, sign.center().y()), QPointF(sign.right() - 6, sign.center().y()));
    p.setBrush(QColor(180, 160, 110));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(sign.left() + 6, sign.top() + 6), 2, 2);
    p.drawEllipse(QPointF(sign.right() - 6, sign.top() + 6), 2, 2);

    // Side panels behind the white captions: darker boards with a frame.
    for (QRectF panel : {QRectF(8, 152, 98, 114), QRectF(402, 152, 104, 172)}) {
        p.setPen(QPen(QColor(60, 34, 14), 2));
        p.setBrush(QColor(74, 44, 20, 215));
        p.drawRoundedRect(panel, 6, 6);
    }
    p.setPen(QPen(QColor(60, 34, 14), 2));
    p.setBrush(QColor(74, 44, 20, 215));
    p.drawRoundedRect(QRectF(24, 282, 72, 44), 6, 6);

    // Doorway: an arched black opening with a wooden frame.
    QPainterPath door;
    door.moveTo(kDoorway.left(), kDoorway.bottom() + 1);
    door.lineTo(kDoorway.left(), kDoorway.top() + 22);
    door.quadTo(kDoorway.left(), kDoorway.top(), kDoorway.left() + 40, kDoorway.top());
    door.lineTo(kDoorway.right() - 40, kDoorway.top());
    door.quadTo(kDoorway.right() + 1, kDoorway.top(), kDoorway.right() + 1, kDoorway.top() + 22);
    door.lineTo(kDoorway.right() + 1, kDoorway.bottom() + 1);
    door.closeSubpath();
    p.setPen(QPen(QColor(96, 58, 26), 10));
    p.setBrush(Qt::NoBrush);
    p.drawPath(door);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawPath(door);

    // A name board above the doorway for the program's name.
    p.setPen(QPen(QColor(50, 28, 10), 2));
    p.setBrush(QColor(66, 38, 16));
    p.drawRoundedRect(QRectF(124, 131, 150, 22), 4, 4);

    // Paw prints and a bone as decoration, away from the captions.
    drawPaw(p, {64, 136}, 7, QColor(250, 238, 200, 170));
    drawPaw(p, {448, 136}, 7, QColor(250, 238, 200, 170));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(250, 244, 228));
    QPointF bone(60, 336);
    p.drawRoundedRect(QRectF(bone.x() - 22, bone.y() - 3, 44, 6), 3, 3);
    for (QPointF e : {QPointF(-22, -3), QPointF(-22, 3), QPointF(22, -3), QPointF(22, 3)})
        p.drawEllipse(bone + e, 4, 4);
    return image;
}

// Drawn on a 64-pixel grid and scaled to `size`.
QImage drawIcon(int size = 64)
{
    QImage icon(size, size, QImage::Format_ARGB32);
    icon.fill(Qt::transparent);
    QPainter p(&icon);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    p.setPen(QPen(QColor(60, 14, 10), 2));
    p.setBrush(QColor(128, 36, 28));
    p.drawPolygon(QPolygonF({{4, 30}, {32, 6}, {60, 30}}));
    p.setBrush(QColor(140, 88, 44));
    p.drawRect(QRectF(10, 30, 44, 30));
    p.setBrush(Qt::black);
    p.drawRoundedRect(QRectF(22, 38, 20, 22), 8, 8);
    drawPaw(p, {32, 52}, 5, QColor(250, 238, 200));
    return icon;
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s ASSETS_FOLDER\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    if (!drawHouse().save(folder + QStringLiteral("/doghouse.png")) || !drawIcon().save(folder + QStringLiteral("/icon.png"))) {
        std::fprintf(stderr, "cannot write the pictures\n");
        return 1;
    }
    // The desktop's icon sizes, for the menu entry and the window icon.
    QDir().mkpath(folder + QStringLiteral("/icons"));
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        if (!drawIcon(size).save(folder + QStringLiteral("/icons/%1.png").arg(size))) {
            std::fprintf(stderr, "cannot write the icons\n");
            return 1;
        }
    }
    return 0;
}
