// Draws the 16 x 16 pictures of the history window's toolbar, one per button key.
// Usage: draw_toolbar ASSETS_FOLDER [PREVIEW.png]

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>
#include <functional>
#include <vector>

namespace {

const QColor kInk(40, 44, 52);
const QColor kPaper(252, 252, 246);
const QColor kPaperShade(214, 218, 226);
const QColor kBlue(52, 101, 164);
const QColor kFolder(233, 185, 84);
const QColor kFolderDark(176, 128, 34);
const QColor kRed(190, 52, 44);

QPen ink(qreal width = 1)
{
    QPen pen(kInk, width);
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setCapStyle(Qt::RoundCap);
    return pen;
}

// A sheet of paper with a folded top-right corner.
void sheet(QPainter &p, const QRectF &r)
{
    const qreal fold = 3.5;
    QPainterPath outline;
    outline.moveTo(r.topLeft());
    outline.lineTo(r.right() - fold, r.top());
    outline.lineTo(r.right(), r.top() + fold);
    outline.lineTo(r.bottomRight());
    outline.lineTo(r.bottomLeft());
    outline.closeSubpath();
    p.setPen(ink());
    p.setBrush(kPaper);
    p.drawPath(outline);
    p.setBrush(kPaperShade);
    p.drawPolygon(
        QPolygonF({{r.right() - fold, r.top()}, {r.right() - fold, r.top() + fold}, {r.right(), r.top() + fold}}));
}

void lines(QPainter &p, qreal left, qreal right, qreal top, int count)
{
    p.setPen(QPen(QColor(120, 130, 150), 1));
    for (int i = 0; i < count; ++i)
        p.drawLine(QPointF(left, top + 2 * i), QPointF(right, top + 2 * i));
}

void drawNew(QPainter &p)
{
    sheet(p, QRectF(2.5, 1.5, 10, 13));
    lines(p, 4.5, 10.5, 6.5, 4);
    // A small spark: something fresh.
    p.setPen(QPen(QColor(230, 170, 20), 1.4, Qt::SolidLine, Qt::RoundCap));
    const QPointF c(12.5, 3.5);
    for (const QPointF d : {QPointF(0, 2.5), QPointF(2.5, 0), QPointF(1.8, 1.8), QPointF(1.8, -1.8)}) {
        p.drawLine(c - d, c + d);
    }
}

void drawOpen(QPainter &p)
{
    p.setPen(ink());
    p.setBrush(kFolderDark);
    p.drawPolygon(QPolygonF({{1.5, 3.5}, {6, 3.5}, {7.5, 5}, {13.5, 5}, {13.5, 13.5}, {1.5, 13.5}}));
    sheet(p, QRectF(4.5, 2.5, 8, 8));
    p.setPen(ink());
    p.setBrush(kFolder);
    p.drawPolygon(QPolygonF({{1.5, 13.5}, {3.5, 7.5}, {15.5, 7.5}, {13.5, 13.5}}));
}

void drawSave(QPainter &p)
{
    p.setPen(ink());
    p.setBrush(kBlue);
    p.drawPolygon(QPolygonF({{1.5, 1.5}, {12.5, 1.5}, {14.5, 3.5}, {14.5, 14.5}, {1.5, 14.5}}));
    p.setBrush(kPaper);
    p.drawRect(QRectF(4.5, 1.5, 7, 5));
    p.fillRect(QRectF(9, 2.5, 1.5, 3), kInk);
    p.setBrush(QColor(226, 230, 236));
    p.drawRect(QRectF(3.5, 9.5, 9, 5));
    lines(p, 5, 11, 11.5, 2);
}

void drawPrint(QPainter &p)
{
    sheet(p, QRectF(4.5, 0.5, 7, 6));
    p.setPen(ink());
    p.setBrush(QColor(170, 176, 186));
    p.drawRoundedRect(QRectF(1.5, 5.5, 13, 6), 1.5, 1.5);
    p.fillRect(QRectF(12, 7, 1.5, 1.5), QColor(80, 200, 80));
    p.setBrush(kPaper);
    p.drawRect(QRectF(4.5, 9.5, 7, 5));
    lines(p, 6, 10, 11.5, 2);
}

void drawCut(QPainter &p)
{
    p.setPen(QPen(QColor(150, 156, 166), 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(5, 1.5), QPointF(10.5, 10));
    p.drawLine(QPointF(11, 1.5), QPointF(5.5, 10));
    p.setPen(ink(1.4));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(4.5, 12.2), 2.4, 2.4);
    p.drawEllipse(QPointF(11.5, 12.2), 2.4, 2.4);
    p.setBrush(kInk);
    p.drawEllipse(QPointF(8, 6.3), 0.8, 0.8);
}

void drawCopy(QPainter &p)
{
    sheet(p, QRectF(1.5, 1.5, 8, 10));
    lines(p, 3.5, 7.5, 5.5, 3);
    sheet(p, QRectF(6.5, 4.5, 8, 10));
    lines(p, 8.5, 12.5, 8.5, 3);
}

void drawPaste(QPainter &p)
{
    p.setPen(ink());
    p.setBrush(QColor(178, 126, 70));
    p.drawRoundedRect(QRectF(1.5, 2.5, 10, 12), 1, 1);
    p.setBrush(QColor(190, 194, 200));
    p.drawRoundedRect(QRectF(4, 1, 5, 3), 1, 1);
    sheet(p, QRectF(6.5, 5.5, 8, 9.5));
    lines(p, 8.5, 12.5, 9.5, 3);
}

void drawBold(QPainter &p)
{
    QPainterPath b;
    b.moveTo(3.5, 2);
    b.lineTo(8.5, 2);
    b.cubicTo(12, 2, 12, 7.5, 8.5, 7.5);
    b.cubicTo(13, 7.5, 13, 14, 8.5, 14);
    b.lineTo(3.5, 14);
    b.closeSubpath();
    p.setPen(ink(2.6));
    p.setBrush(Qt::NoBrush);
    p.drawPath(b);
    p.drawLine(QPointF(4, 7.8), QPointF(8.5, 7.8));
}

void drawItalic(QPainter &p)
{
    p.setPen(ink(1.5));
    p.drawLine(QPointF(9.5, 2), QPointF(6.5, 14));
    p.drawLine(QPointF(7, 2), QPointF(12.5, 2));
    p.drawLine(QPointF(3.5, 14), QPointF(9, 14));
}

void drawUnderline(QPainter &p)
{
    QPainterPath u;
    u.moveTo(4, 1.5);
    u.lineTo(4, 8);
    u.cubicTo(4, 12.5, 12, 12.5, 12, 8);
    u.lineTo(12, 1.5);
    p.setPen(ink(1.6));
    p.setBrush(Qt::NoBrush);
    p.drawPath(u);
    p.setPen(QPen(kRed, 1.6, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(2, 14.5), QPointF(14, 14.5));
}

void drawSearch(QPainter &p)
{
    p.setPen(QPen(QColor(120, 80, 40), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(9.5, 9.5), QPointF(14, 14));
    p.setPen(ink(1.4));
    p.setBrush(QColor(200, 226, 250));
    p.drawEllipse(QPointF(6.5, 6.5), 4.8, 4.8);
    p.setPen(QPen(Qt::white, 1.2, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(3.5, 3.5, 6, 6), 100 * 16, 70 * 16);
}

struct Picture
{
    const char *name;
    std::function<void(QPainter &)> draw;
};

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s ASSETS_FOLDER [PREVIEW.png]\n", argv[0]);
        return 2;
    }
    const std::vector<Picture> pictures = {
        {"new", drawNew},       {"open", drawOpen},           {"save", drawSave},     {"print", drawPrint},
        {"cut", drawCut},       {"copy", drawCopy},           {"paste", drawPaste},   {"bold", drawBold},
        {"italic", drawItalic}, {"underline", drawUnderline}, {"search", drawSearch},
    };
    const QString folder = QString::fromLocal8Bit(argv[1]) + QStringLiteral("/toolbar");
    QImage preview(int(pictures.size()) * 72, 72, QImage::Format_ARGB32);
    preview.fill(QColor(236, 236, 236));
    QPainter previewPainter(&preview);
    int x = 0;
    for (const Picture &picture : pictures) {
        QImage image(16, 16, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        {
            QPainter p(&image);
            p.setRenderHint(QPainter::Antialiasing);
            picture.draw(p);
        }
        const QString name = folder + u'/' + QString::fromLatin1(picture.name) + QStringLiteral(".png");
        if (!image.save(name)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(name));
            return 1;
        }
        previewPainter.drawImage(QRect(x + 4, 4, 64, 64), image);
        x += 72;
    }
    previewPainter.end();
    if (argc > 2)
        preview.save(QString::fromLocal8Bit(argv[2]));
    return 0;
}
