#include "DogWalk.h"

#include "platform/RandomSource.h"
#include "platform/TextRules.h"

#include <algorithm>

DogWalk::DogWalk(float twipsPerPixelX, float twipsPerPixelY)
    : m_factorX(twipsPerPixelX)
    , m_factorY(twipsPerPixelY)
{}

void DogWalk::newRun(qint16 &counter, double dxFactor)
{
    const double r1 = RandomSource::next();
    const double r2 = RandomSource::next();
    const double r3 = RandomSource::next();
    counter = TextRules::roundHalfEvenToInt16((r1 * 10 + 3) * 2);
    m_dx = TextRules::roundHalfEvenToInt16((r2 * 10 - 5) * double(m_factorX) * dxFactor);
    m_dy = TextRules::roundHalfEvenToInt16((r3 * 10 - 5) * double(m_factorY));
}

int DogWalk::frameSlot(int counter, int dx, int dy)
{
    const int phase = ((counter % 2) + 2) % 2;
    return phase + 2 * (dx > 0 ? 1 : 0) + 4 * (dy < 0 ? 1 : 0);
}

QPoint DogWalk::walkTick(QPoint current, QSize screen)
{
    if (m_walkCounter < 1)
        newRun(m_walkCounter, 5);
    --m_walkCounter;
    qint64 left = qint64(current.x()) + m_dx;
    qint64 top = qint64(current.y()) + m_dy;
    // Pressed against an edge the dog slides along it until the run ends.
    left = std::max<qint64>(left, 0);
    top = std::max<qint64>(top, 0);
    if (left + FrameBox > screen.width())
        left = screen.width() - FrameBox;
    if (top + FrameBox > screen.height())
        top = screen.height() - FrameBox;
    m_slot = frameSlot(m_walkCounter, m_dx, m_dy);
    return QPoint(int(left), int(top));
}

QPoint DogWalk::kennelTick(QPoint mainTopLeft)
{
    if (m_kennelCounter < 1)
        newRun(m_kennelCounter, 1);
    --m_kennelCounter;
    m_slot = frameSlot(m_kennelCounter, m_dx, m_dy);
    return mainTopLeft + QPoint(KennelOffset, KennelOffset);
}

std::vector<QRect> outlineBands(const quint32 *pixels, int width, int height, qsizetype stride)
{
    std::vector<QRect> bands;
    if (width <= 0 || height <= 0)
        return bands;
    const quint32 transparent = pixels[0];
    std::vector<QRect> previous; // the spans of the band that is still growing downwards
    std::vector<QRect> row;
    auto flush = [&] {
        bands.insert(bands.end(), previous.begin(), previous.end());
        previous.clear();
    };
    for (int y = 0; y < height; ++y) {
        row.clear();
        const quint32 *line = pixels + qsizetype(y) * stride;
        for (int x = 0; x < width;) {
            if (line[x] == transparent) {
                ++x;
                continue;
            }
            const int start = x;
            while (x < width && line[x] != transparent)
                ++x;
            row.emplace_back(start, y, x - start, 1);
        }
        const bool same =
            row.size() == previous.size() &&
            std::equal(row.begin(), row.end(), previous.begin(), [](const QRect &a, const QRect &b) {
                return a.left() == b.left() && a.width() == b.width();
            });
        if (same && !row.empty()) {
            for (QRect &r : previous)
                r.setHeight(r.height() + 1);
        } else {
            flush();
            previous = row;
        }
    }
    flush();
    return bands;
}
