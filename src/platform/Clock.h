#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace Clock {

// The clock's text of a moment: the date in the platform's short date format, two blanks, the
// time in its long time format. Also the date a sent mail is recorded with.
QString text(const QDateTime &when, const QLocale &locale = QLocale::system());
QString now();

} // namespace Clock
