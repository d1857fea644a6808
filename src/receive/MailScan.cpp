#include "MailScan.h"

#include <array>

namespace {

const QString kPrefix = QStringLiteral("Wanderpup（");
const QString kSuffix = QStringLiteral("の選択");
const QString kClose = QStringLiteral("）");

QString circled(int number)
{
    return QString(QChar(char16_t(0x2460 + number - 1)));
}

} // namespace

namespace MailScan {

bool hasAttachmentWord(const QString &body)
{
    return body.contains(QLatin1String("attachment"), Qt::CaseSensitive);
}

QString markerText(int number)
{
    if (number < 1 || number > 10)
        return QString();
    return kPrefix + circled(number) + kSuffix + kClose;
}

int markerNumber(const QString &body)
{
    // A cheap pre-check: most mails carry no marker at all.
    if (!body.contains(kPrefix))
        return 0;
    for (int number = 1; number <= 10; ++number) {
        QString wanted = markerText(number);
        if (number == 1)
            wanted.chop(kClose.size());
        if (body.contains(wanted))
            return number;
    }
    return 0;
}

int formForMarker(int number)
{
    // Dogs 1 to 5 live in windows that were numbered in another order.
    static constexpr std::array<int, 11> kForms = {0, 4, 1, 5, 3, 2, 6, 7, 8, 9, 10};
    return number >= 1 && number <= 10 ? kForms[size_t(number)] : 0;
}

const QString &attachmentNote()
{
    static const QString note =
        QStringLiteral("\r\n♪♪♪　添付ファイルがありましので、添付フォルダに展開しました。♪♪♪");
    return note;
}

} // namespace MailScan
