#include "Outbox.h"

#include "platform/Cp932.h"
#include "platform/TextRules.h"
#include "transport/MailTransport.h"
#include "transport/SmtpFailure.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

namespace {

bool isFile(const QString &path)
{
    if (QFileInfo(path).isFile())
        return true;
    // A path written with backslashes names the same file.
    return path.contains(u'\\') && QFileInfo(QString(path).replace(u'\\', u'/')).isFile();
}

QString fileProblem(SmtpFailure::Kind kind, const QString &path)
{
    return SmtpFailure{kind, path, {}}.text();
}

} // namespace

namespace Outbox {

QString attachmentProblem(const QString &attachments)
{
    const QStringList pieces = attachments.split(u',');
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        const QString path = pieces[i].trimmed();
        if (path.isEmpty())
            continue;
        if (!isFile(path)) {
            // The list cannot carry a comma inside a path: say so rather than name a stray part.
            QString joined = pieces[i];
            for (qsizetype j = i + 1; j < pieces.size(); ++j) {
                joined += u',' + pieces[j];
                if (isFile(joined.trimmed()))
                    return QStringLiteral("添付ファイル「%1」は名前に「,」（カンマ）を含むため添付できません。"
                                          "「,」を含まないフォルダとファイル名にしてから添付して下さい。")
                        .arg(joined.trimmed());
            }
            return fileProblem(SmtpFailure::Kind::FileMissing, path);
        }
        QFile file(QFileInfo(path).isFile() ? path : QString(path).replace(u'\\', u'/'));
        if (!file.open(QIODevice::ReadOnly))
            return fileProblem(SmtpFailure::Kind::FileUnreadable, path);
    }
    return QString();
}

Result send(MailTransport &transport, const Mail &mail, const IdPassFile::Credentials &credentials)
{
    transport.setSmtpCredentials(credentials.id, credentials.password);
    const int result = transport.NMailSmtpSendMail(Cp932::fromUnicode(mail.server), Cp932::fromUnicode(mail.to),
                                                   Cp932::fromUnicode(mail.from), Cp932::fromUnicode(mail.subject),
                                                   Cp932::fromUnicode(mail.body), mail.attachments, 0);
    if (result >= 0)
        return {true, QString()};
    return {false, TextRules::CutAtNul(Cp932::toUnicode(transport.NMailGetMessage()))};
}

} // namespace Outbox
