#include "MailScan.h"

#include "characters/DogTable.h"

namespace {

const QString kPrefix = QStringLiteral("Wanderpup（");
const QString kSuffix = QStringLiteral("の選択");
const QString kClose = QStringLiteral("）");

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
    return kPrefix + QChar(DogTable::markerDigit(number)) + kSuffix + kClose;
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
    // The marker names the dog by its dog number.
    return DogTable::formOfDog(number);
}

const QString &attachmentNote()
{
    static const QString note =
        QStringLiteral("\r\n♪♪♪　添付ファイルがありましので、添付フォルダに展開しました。♪♪♪");
    return note;
}

} // namespace MailScan
