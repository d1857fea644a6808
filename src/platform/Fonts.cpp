#include "Fonts.h"

#include <QStringList>

namespace {

QFont withFamilies(const QStringList &families, qreal points, bool bold = false)
{
    QFont font;
    font.setFamilies(families);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

} // namespace

namespace Fonts {

QFont proportionalGothic(qreal points)
{
    return withFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"), QStringLiteral("IPAPGothic"),
                         QStringLiteral("IPAexGothic"), QStringLiteral("Noto Sans CJK JP")},
                        points);
}

QFont gothic(qreal points)
{
    return withFamilies({QStringLiteral("ＭＳ ゴシック"), QStringLiteral("MS Gothic"), QStringLiteral("IPAGothic"),
                         QStringLiteral("Noto Sans Mono CJK JP")},
                        points);
}

QFont antiqua(qreal points)
{
    return withFamilies({QStringLiteral("Book Antiqua"), QStringLiteral("P052"), QStringLiteral("URW Palladio L"),
                         QStringLiteral("TeX Gyre Pagella"), QStringLiteral("DejaVu Serif")},
                        points, true);
}

} // namespace Fonts
