#include "Clock.h"

namespace Clock {

QString text(const QDateTime &when, const QLocale &locale)
{
    return locale.toString(when.date(), QLocale::ShortFormat) + QStringLiteral("  ")
           + locale.toString(when.time(), QLocale::LongFormat);
}

QString now() { return text(QDateTime::currentDateTime()); }

} // namespace Clock
