#pragma once

#include <QFont>

// The faces the windows ask for, each followed by the free faces that stand in for it here.
namespace Fonts {

// "ＭＳ Ｐゴシック": the proportional Japanese Gothic.
QFont proportionalGothic(qreal points);
// "ＭＳ ゴシック": the fixed-width Japanese Gothic.
QFont gothic(qreal points);
// "Book Antiqua" in bold.
QFont antiqua(qreal points);

} // namespace Fonts
