// Draws the ten dogs: two walking drawings each, 64 x 64 pixels, facing left, on the uniform
// background RGB (235, 235, 235) that the dog windows cut away.
// Usage: draw_dogs ASSETS_FOLDER [PREVIEW.png]
//
// Each dog is drawn at four times the size with smooth shapes, scaled down, and then cut hard
// at half coverage and ringed with a one-pixel dark outline: no pixel of the dog blends into the
// background, so the window shape follows a clean edge.

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr int kSize = 64;
constexpr int kZoom = 4;
const QRgb kBackground = qRgb(235, 235, 235);

enum class Ears { Pointy, Floppy, Long, Folded, Puff };
enum class Tail { Curl, Up, Long, Stub, Plume, Pom };
enum class Pattern { None, Spots, Saddle, Mask, Husky, Socks };

struct Dog
{
    const char *name;
    QColor coat;
    QColor second; // spots, saddle, mask, upper coat
    QColor light;  // muzzle, chest, tail tip
    QColor ear;
    double bodyLen, bodyH, legLen, legW, headR, snoutLen, snoutH, earLen;
    Ears ears;
    Tail tail;
    Pattern pattern;
    QColor collar; // invalid: no collar
    bool fluffy;
};

// Dog number order: the first entry is dog 1.
const std::vector<Dog> &dogs()
{
    static const std::vector<Dog> list = {
        {"shiba", QColor(214, 128, 52), QColor(214, 128, 52), QColor(250, 232, 200), QColor(214, 128, 52), 30,
         15, 11, 3.6, 8.5, 5.5, 5.5, 8, Ears::Pointy, Tail::Curl, Pattern::Socks, QColor(200, 30, 40), false},
        {"dalmatian", QColor(250, 250, 248), QColor(30, 30, 34), QColor(250, 250, 248), QColor(40, 40, 44),
         36, 15, 17, 3.6, 8.5, 7.0, 5.5, 10, Ears::Floppy, Tail::Long, Pattern::Spots, QColor(40, 110, 220),
         false},
        {"dachshund", QColor(150, 72, 30), QColor(150, 72, 30), QColor(196, 120, 70), QColor(112, 50, 20), 35,
         13, 6, 3.8, 8.0, 6.5, 5.0, 13, Ears::Long, Tail::Long, Pattern::None, QColor(40, 170, 80), false},
        {"pug", QColor(226, 196, 142), QColor(60, 48, 44), QColor(226, 196, 142), QColor(60, 48, 44), 22, 13,
         8, 3.6, 8.5, 2.5, 6.0, 5, Ears::Folded, Tail::Curl, Pattern::Mask, QColor(230, 60, 150), false},
        {"beagle", QColor(250, 248, 240), QColor(40, 34, 30), QColor(210, 130, 60), QColor(160, 90, 40), 30,
         14, 12, 3.6, 8.0, 6.0, 5.5, 11, Ears::Long, Tail::Up, Pattern::Saddle, QColor(), false},
        {"labrador", QColor(36, 34, 36), QColor(36, 34, 36), QColor(70, 66, 70), QColor(24, 22, 24), 34, 17,
         15, 4.2, 9.5, 7.0, 6.5, 10, Ears::Floppy, Tail::Long, Pattern::None, QColor(240, 200, 30), false},
        {"poodle", QColor(240, 180, 150), QColor(240, 180, 150), QColor(248, 206, 184), QColor(226, 160, 130),
         26, 13, 15, 3.0, 8.0, 6.5, 4.5, 10, Ears::Puff, Tail::Pom, Pattern::None, QColor(130, 60, 200),
         true},
        {"husky", QColor(248, 248, 250), QColor(110, 118, 132), QColor(248, 248, 250), QColor(110, 118, 132),
         34, 16, 14, 4.0, 9.0, 6.5, 5.5, 9, Ears::Pointy, Tail::Plume, Pattern::Husky, QColor(), false},
        {"corgi", QColor(226, 140, 60), QColor(226, 140, 60), QColor(252, 246, 236), QColor(226, 140, 60), 34,
         15, 6, 4.2, 8.5, 6.0, 5.5, 12, Ears::Pointy, Tail::Stub, Pattern::Socks, QColor(30, 150, 160),
         false},
        {"terrier", QColor(246, 244, 236), QColor(246, 244, 236), QColor(255, 255, 252),
         QColor(236, 232, 222), 22, 12, 9, 3.4, 7.5, 4.5, 5.0, 7, Ears::Pointy, Tail::Up, Pattern::None,
         QColor(220, 30, 30), true},
    };
    return list;
}

QColor outlineOf(const Dog &dog)
{
    // Dark dogs get a slightly lighter rim than their coat so the edge still reads.
    if (dog.coat.lightness() < 60)
        return QColor(14, 12, 14);
    return QColor(48, 34, 28);
}

void legAt(QPainter &p, QPointF hip, double length, double width, double angle, const QColor &colour,
           const QColor &foot, bool fluffy)
{
    p.save();
    p.translate(hip);
    p.rotate(angle);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawRoundedRect(QRectF(-width / 2, -2, width, length + 2), width / 2.2, width / 2.2);
    p.setBrush(foot);
    if (fluffy)
        p.drawEllipse(QPointF(0, length - 1.2), width * 0.85, 2.4);
    else
        p.drawRoundedRect(QRectF(-width / 2 - 1.0, length - 2.2, width + 1.0, 2.6), 1.2, 1.2);
    p.restore();
}

struct Layout
{
    QPointF body; // body centre
    QPointF head; // head centre
    QPointF eye, nose, mouth;
    double headR;
};

Layout drawDog(QPainter &p, const Dog &d, int phase)
{
    const double ground = 60.5;
    const double bob = phase == 1 ? -0.8 : 0.0;
    const double bodyTop = ground - d.legLen - d.bodyH + 3 + bob;
    const double bodyCy = bodyTop + d.bodyH / 2;
    // Horizontal extent: snout tip to tail end, centred in the picture.
    const double left = -d.bodyLen / 2 - d.headR * 0.9 - d.snoutLen - d.headR * 0.35;
    const double tailReach[] = {6, 8, 13, 3, 8, 7}; // by Tail
    const double right = d.bodyLen / 2 + tailReach[int(d.tail)];
    const double bodyCx = 32 - (left + right) / 2;
    Layout lay;
    lay.body = QPointF(bodyCx, bodyCy);
    lay.headR = d.headR;
    const QRectF body(bodyCx - d.bodyLen / 2, bodyTop, d.bodyLen, d.bodyH);

    const QColor far = d.coat.lightness() < 60 ? d.coat.lighter(150) : d.coat.darker(125);
    const QColor foot = d.pattern == Pattern::Socks ? d.light : d.coat;
    const QColor farFoot = d.pattern == Pattern::Socks ? d.light.darker(118) : far;
    const double hipY = bodyCy + d.bodyH * 0.1;
    const double legLen = ground - hipY - bob;
    const double frontX = body.left() + d.bodyH * 0.45 + 1;
    const double backX = body.right() - d.bodyH * 0.45 - 1;
    const double swing = d.legLen < 8 ? 16 : 22;
    const double s = phase == 0 ? 1 : -1;

    // Far legs, then the tail, then near legs: all behind the body.
    legAt(p, {frontX + 2.0, hipY}, legLen, d.legW, -swing * 0.6 * s, far, farFoot, d.fluffy);
    legAt(p, {backX + 2.0, hipY}, legLen, d.legW, swing * 0.6 * s, far, farFoot, d.fluffy);

    const QPointF tailBase(body.right() - 2, bodyTop + d.bodyH * 0.3);
    const double wag = phase == 0 ? 0 : 1;
    p.setBrush(Qt::NoBrush);
    QPen tailPen(d.coat, 3.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    switch (d.tail) {
    case Tail::Curl: {
        QPainterPath path(tailBase);
        path.cubicTo(tailBase + QPointF(6, -2 - wag), tailBase + QPointF(7, -10 + wag),
                     tailBase + QPointF(1, -9));
        path.cubicTo(tailBase + QPointF(-3, -8), tailBase + QPointF(-1, -4), tailBase + QPointF(2, -5));
        tailPen.setWidthF(d.pattern == Pattern::Mask ? 3.2 : 4.2);
        p.setPen(tailPen);
        p.drawPath(path);
        break;
    }
    case Tail::Up: {
        const QPointF tip = tailBase + QPointF(5 + 2 * wag, -11 + wag);
        QPainterPath path(tailBase);
        path.quadTo(tailBase + QPointF(5, -3), tip);
        tailPen.setWidthF(2.8);
        p.setPen(tailPen);
        p.drawPath(path);
        p.setPen(QPen(d.light == d.coat ? d.coat : QColor(252, 250, 244), 3.0, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(tip + QPointF(-0.6, 1.8), tip);
        break;
    }
    case Tail::Long: {
        const QPointF tip = tailBase + QPointF(10, 5 - 6 * wag);
        QPainterPath path(tailBase);
        path.quadTo(tailBase + QPointF(7, -2 - wag), tip);
        tailPen.setWidthF(2.6);
        p.setPen(tailPen);
        p.drawPath(path);
        break;
    }
    case Tail::Stub:
        p.setPen(Qt::NoPen);
        p.setBrush(d.coat);
        p.drawEllipse(tailBase + QPointF(2, -1 - wag * 0.8), 3.0, 2.4);
        break;
    case Tail::Plume: {
        QPainterPath path(tailBase);
        path.cubicTo(tailBase + QPointF(8, -1), tailBase + QPointF(9, -11 + wag),
                     tailBase + QPointF(2, -11 + wag));
        tailPen.setColor(d.second);
        tailPen.setWidthF(5.5);
        p.setPen(tailPen);
        p.drawPath(path);
        p.setPen(QPen(d.light, 2.4, Qt::SolidLine, Qt::RoundCap));
        p.drawPoint(tailBase + QPointF(2.6, -11 + wag));
        break;
    }
    case Tail::Pom: {
        const QPointF tip = tailBase + QPointF(4 + wag, -9);
        tailPen.setWidthF(2.0);
        p.setPen(tailPen);
        p.drawLine(tailBase, tip);
        p.setPen(Qt::NoPen);
        p.setBrush(d.light);
        p.drawEllipse(tip, 3.6, 3.6);
        break;
    }
    }

    legAt(p, {frontX, hipY + 0.5}, legLen - 0.5, d.legW, swing * s, d.coat, foot, d.fluffy);
    legAt(p, {backX, hipY + 0.5}, legLen - 0.5, d.legW, -swing * s, d.coat, foot, d.fluffy);

    // Body and its pattern.
    QPainterPath bodyPath;
    bodyPath.setFillRule(Qt::WindingFill);
    if (d.fluffy) {
        for (int i = 0; i < 4; ++i) {
            const double cx = body.left() + d.bodyH * 0.45 + i * (d.bodyLen - d.bodyH * 0.9) / 3;
            bodyPath.addEllipse(QPointF(cx, bodyCy + ((i % 2) ? 0.6 : -0.4)), d.bodyH * 0.52, d.bodyH * 0.52);
        }
        bodyPath = bodyPath.simplified();
    } else {
        bodyPath.addRoundedRect(body, d.bodyH * 0.5, d.bodyH * 0.5);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(d.coat);
    p.drawPath(bodyPath);
    p.save();
    p.setClipPath(bodyPath);
    switch (d.pattern) {
    case Pattern::Spots:
        p.setBrush(d.second);
        for (const QPointF &c : {QPointF(0.15, 0.25), QPointF(0.42, 0.6), QPointF(0.7, 0.3),
                                 QPointF(0.85, 0.75), QPointF(0.3, 0.85), QPointF(0.55, 0.15)})
            p.drawEllipse(QPointF(body.left() + c.x() * body.width(), body.top() + c.y() * body.height()),
                          1.9, 1.6);
        break;
    case Pattern::Saddle:
        p.setBrush(d.second);
        p.drawEllipse(QRectF(body.left() + body.width() * 0.22, body.top() - body.height() * 0.6,
                             body.width() * 0.68, body.height() * 1.1));
        break;
    case Pattern::Husky:
        p.setBrush(d.second);
        p.drawEllipse(
            QRectF(body.left() - 2, body.top() - body.height() * 0.7, body.width() + 4, body.height() * 1.2));
        break;
    case Pattern::Socks:
    case Pattern::Mask:
        p.setBrush(d.light);
        p.drawEllipse(
            QRectF(body.left() - 2, body.top() + body.height() * 0.5, body.width() * 0.55, body.height()));
        break;
    case Pattern::None:
        if (d.light != d.coat) {
            p.setBrush(d.light);
            p.drawEllipse(
                QRectF(body.left() + 2, body.top() + body.height() * 0.62, body.width() - 4, body.height()));
        }
        break;
    }
    p.restore();

    // Neck and head.
    const QPointF head(body.left() - d.headR * 0.35, bodyTop - d.headR * 0.55 + (phase == 1 ? 0.3 : 0));
    lay.head = head;
    p.setBrush(d.pattern == Pattern::Husky ? d.second : d.coat);
    QPainterPath neck;
    neck.moveTo(head + QPointF(-d.headR * 0.2, d.headR * 0.6));
    neck.lineTo(head + QPointF(d.headR * 0.7, -d.headR * 0.3));
    neck.lineTo(QPointF(body.left() + d.bodyH * 0.9, bodyTop + 1));
    neck.lineTo(QPointF(body.left() + d.bodyH * 0.4, bodyCy + d.bodyH * 0.2));
    neck.closeSubpath();
    p.drawPath(neck);
    if (d.pattern == Pattern::Husky || d.pattern == Pattern::Socks) {
        p.setBrush(d.light);
        p.drawEllipse(
            QRectF(head.x() - d.headR * 0.4, head.y() + d.headR * 0.3, d.headR * 1.2, d.headR * 1.5));
    }

    const QColor earColour = d.ear;
    if (d.ears == Ears::Pointy) {
        for (int i = 0; i < 2; ++i) {
            const double off = i == 0 ? 1.6 : 0.0;
            QPolygonF ear({head + QPointF(-d.headR * 0.35 + off, -d.headR * 0.55),
                           head + QPointF(d.headR * 0.5 + off, -d.headR * 0.55),
                           head + QPointF(d.headR * 0.15 + off, -d.headR * 0.55 - d.earLen)});
            p.setBrush(i == 0 ? (d.pattern == Pattern::Husky ? d.second.darker(115) : far)
                              : (d.pattern == Pattern::Husky ? d.second : earColour));
            p.drawPolygon(ear);
            if (i == 1) {
                QPolygonF inner({head + QPointF(-d.headR * 0.12, -d.headR * 0.6),
                                 head + QPointF(d.headR * 0.3, -d.headR * 0.6),
                                 head + QPointF(d.headR * 0.12, -d.headR * 0.55 - d.earLen * 0.62)});
                p.setBrush(QColor(240, 160, 160));
                p.drawPolygon(inner);
            }
        }
    }

    // Head with snout.
    QPainterPath headPath;
    headPath.setFillRule(Qt::WindingFill);
    headPath.addEllipse(head, d.headR, d.headR * 0.92);
    if (d.fluffy && d.ears == Ears::Puff)
        headPath.addEllipse(head + QPointF(d.headR * 0.2, -d.headR * 0.75), d.headR * 0.7, d.headR * 0.55);
    const QRectF snout(head.x() - d.headR * 0.55 - d.snoutLen, head.y() - d.snoutH * 0.05,
                       d.snoutLen + d.headR * 0.7, d.snoutH);
    headPath.addRoundedRect(snout, d.snoutH * 0.45, d.snoutH * 0.45);
    headPath = headPath.simplified();
    p.setBrush(d.pattern == Pattern::Husky ? d.second : (d.pattern == Pattern::Saddle ? d.light : d.coat));
    p.drawPath(headPath);
    p.save();
    p.setClipPath(headPath);
    if (d.pattern == Pattern::Husky) {
        p.setBrush(d.light);
        p.drawEllipse(
            QRectF(snout.left() - 2, head.y() - d.headR * 0.25, d.snoutLen + d.headR * 1.3, d.headR * 1.6));
        p.drawEllipse(head + QPointF(-d.headR * 0.2, -d.headR * 0.55), 1.6, 1.1);
    } else if (d.pattern == Pattern::Mask) {
        p.setBrush(d.second);
        p.drawRoundedRect(snout.adjusted(-1, -1.5, 0, 1), 2.5, 2.5);
    } else if (d.pattern == Pattern::Saddle || d.pattern == Pattern::Spots) {
        p.setBrush(d.pattern == Pattern::Saddle ? QColor(252, 250, 244) : d.second);
        if (d.pattern == Pattern::Saddle)
            p.drawRect(QRectF(snout.left() - 1, snout.top() + 0.5, snout.width() * 0.8, snout.height() + 2));
        else
            p.drawEllipse(head + QPointF(d.headR * 0.4, -d.headR * 0.4), 1.8, 1.5);
    } else if (d.light != d.coat && d.pattern != Pattern::Socks) {
        p.setBrush(d.light);
        p.drawRoundedRect(snout.adjusted(0, 1.2, -d.headR * 0.4, 0), 2, 2);
    }
    p.restore();

    if (d.collar.isValid()) {
        p.setPen(QPen(d.collar, 2.2, Qt::SolidLine, Qt::FlatCap));
        p.drawLine(head + QPointF(d.headR * 0.35, d.headR * 1.05),
                   head + QPointF(d.headR * 1.1, d.headR * 0.35));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(250, 210, 40));
        p.drawEllipse(head + QPointF(d.headR * 0.6, d.headR * 1.1), 1.3, 1.3);
    }
    if (d.ears == Ears::Floppy || d.ears == Ears::Long || d.ears == Ears::Puff) {
        const double len = d.ears == Ears::Long ? d.earLen : d.earLen * 0.8;
        p.save();
        p.translate(head + QPointF(d.headR * 0.3, -d.headR * 0.45));
        p.rotate(phase == 0 ? 12 : 4);
        p.setBrush(earColour);
        if (d.ears == Ears::Puff) {
            p.drawEllipse(QPointF(0.5, len * 0.5), d.headR * 0.5, len * 0.5);
            p.drawEllipse(QPointF(0.5, len * 0.85), d.headR * 0.55, d.headR * 0.5);
        } else {
            p.drawRoundedRect(QRectF(-d.headR * 0.38, -1, d.headR * 0.76, len), d.headR * 0.38,
                              d.headR * 0.38);
        }
        p.restore();
    } else if (d.ears == Ears::Folded) {
        p.setBrush(earColour);
        p.drawPolygon(QPolygonF({head + QPointF(-d.headR * 0.1, -d.headR * 0.75),
                                 head + QPointF(d.headR * 0.75, -d.headR * 0.6),
                                 head + QPointF(d.headR * 0.05, -d.headR * 0.15)}));
    }

    lay.eye = head + QPointF(-d.headR * 0.35, -d.headR * 0.22);
    lay.nose = QPointF(snout.left() + 0.9, snout.top() + 0.8);
    lay.mouth = QPointF(snout.left() + d.snoutLen * 0.55, snout.bottom() - 0.6);
    return lay;
}

void putPixel(QImage &img, int x, int y, QRgb colour)
{
    if (x >= 0 && y >= 0 && x < img.width() && y < img.height())
        img.setPixel(x, y, colour);
}

QImage renderDog(const Dog &d, int phase)
{
    QImage big(kSize * kZoom, kSize * kZoom, QImage::Format_ARGB32_Premultiplied);
    big.fill(Qt::transparent);
    Layout lay;
    {
        QPainter p(&big);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(kZoom, kZoom);
        lay = drawDog(p, d, phase);
    }
    const QImage small = big.scaled(kSize, kSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                             .convertToFormat(QImage::Format_ARGB32);

    // Cut hard at half coverage; the coat colour keeps the shading of the big drawing.
    QImage out(kSize, kSize, QImage::Format_RGB32);
    out.fill(kBackground);
    std::vector<bool> solid(kSize * kSize, false);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const QRgb c = small.pixel(x, y);
            if (qAlpha(c) >= 128) {
                solid[size_t(y * kSize + x)] = true;
                out.setPixel(x, y, qRgb(qRed(c), qGreen(c), qBlue(c)));
            }
        }
    // A one-pixel outline around the whole dog.
    const QRgb rim = outlineOf(d).rgb();
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            if (solid[size_t(y * kSize + x)])
                continue;
            auto at = [&](int xx, int yy) {
                return xx >= 0 && yy >= 0 && xx < kSize && yy < kSize && solid[size_t(yy * kSize + xx)];
            };
            if (at(x - 1, y) || at(x + 1, y) || at(x, y - 1) || at(x, y + 1))
                out.setPixel(x, y, rim);
        }

    // Face details, pixel by pixel so they stay crisp.
    const int ex = int(std::lround(lay.eye.x())), ey = int(std::lround(lay.eye.y()));
    const QRgb eyeColour = d.coat.lightness() < 60 ? qRgb(120, 70, 30) : qRgb(20, 16, 16);
    putPixel(out, ex, ey, eyeColour);
    putPixel(out, ex, ey + 1, eyeColour);
    if (lay.headR >= 8.5)
        putPixel(out, ex - 1, ey + 1, eyeColour);
    putPixel(out, ex - 1, ey, qRgb(255, 255, 255));
    const int nx = int(std::lround(lay.nose.x())), ny = int(std::lround(lay.nose.y()));
    const QRgb noseColour = d.coat.lightness() < 60 ? qRgb(90, 80, 84) : qRgb(16, 12, 12);
    for (int dy = 0; dy < 2; ++dy)
        for (int dx = 0; dx < 2; ++dx)
            putPixel(out, nx + dx - 1, ny + dy, noseColour);
    const int mx = int(std::lround(lay.mouth.x())), my = int(std::lround(lay.mouth.y()));
    const QRgb line = d.coat.lightness() < 60 ? qRgb(110, 100, 104) : outlineOf(d).rgb();
    putPixel(out, mx, my, line);
    putPixel(out, mx - 1, my - 1, line);
    if (phase == 1) {
        // Panting: a pink tongue under the mouth.
        putPixel(out, mx, my + 1, qRgb(236, 90, 120));
        putPixel(out, mx - 1, my + 1, qRgb(236, 90, 120));
        putPixel(out, mx - 1, my + 2, qRgb(236, 90, 120));
    }

    for (int i = 0; i < kSize; ++i)
        for (int edge : {0, kSize - 1})
            if (out.pixel(i, edge) != kBackground || out.pixel(edge, i) != kBackground)
                std::fprintf(stderr, "warning: %s touches the edge of the picture\n", d.name);
    // No pixel of the dog may be exactly the background colour, or it would be cut away.
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x)
            if (solid[size_t(y * kSize + x)] && out.pixel(x, y) == kBackground)
                out.setPixel(x, y, qRgb(238, 238, 238));
    return out;
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s ASSETS_FOLDER [PREVIEW.png]\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]) + QStringLiteral("/dogs");
    const auto &list = dogs();
    // Preview: four times the size, two dogs (both drawings each) per row.
    const int cell = (kSize + 2) * kZoom;
    QImage preview(4 * cell, int(list.size() + 1) / 2 * cell, QImage::Format_RGB32);
    preview.fill(QColor(120, 120, 120));
    QPainter pv(&preview);
    for (size_t i = 0; i < list.size(); ++i) {
        for (int phase = 0; phase < 2; ++phase) {
            const QImage img = renderDog(list[i], phase);
            const QString name = QStringLiteral("%1/dog%2_%3.png")
                                     .arg(folder)
                                     .arg(int(i) + 1, 2, 10, QLatin1Char('0'))
                                     .arg(phase + 1);
            if (!img.save(name)) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(name));
                return 1;
            }
            const int col = int(i % 2) * 2 + phase;
            pv.drawImage(QRect(col * cell, int(i / 2) * cell, kSize * kZoom, kSize * kZoom), img);
        }
    }
    pv.end();
    if (argc > 2)
        preview.save(QString::fromLocal8Bit(argv[2]));
    return 0;
}
