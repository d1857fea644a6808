#include "Clock.h"

namespace Clock {

QString text(const QDateTime &when, const QLocale &locale)
{
    // One format for the whole moment, so that the time's zone is the moment's own.
    return locale.toString(when, locale.dateFormat(QLocale::ShortFormat) + QStringLiteral("  ")
                                     + locale.timeFormat(QLocale::LongFormat));
}

QString now() { return text(QDateTime::currentDateTime()); }

} // namespace Clock
