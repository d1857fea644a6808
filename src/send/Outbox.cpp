#include "Outbox.h"

#include "platform/Cp932.h"
#include "platform/ProgramFolder.h"
#include "store/HistoryFile.h"
#include "store/Originals.h"
#include "SendRules.h"
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
    Result result;
    if (transport.sendMail(mail.server, {mail.from, mail.to, mail.subject, mail.body, mail.attachments, mail.thread},
                           &result.mime)
        >= 0) {
        result.sent = true;
        return result;
    }
    result.failure = TextRules::CutAtNul(Cp932::toUnicode(transport.NMailGetMessage()));
    return result;
}

bool keepSent(int record, const QByteArray &mail, QString *problem)
{
    const std::optional<HistoryRecord> sent =
        History::ReadRecord(ProgramFolder::sentHistory(), record, History::Fields::Heading);
    if (!sent || mail.isEmpty())
        return true; // nothing to pair it with
    Originals originals(Originals::Kind::Sent);
    Maildir &maildir = originals.maildir();
    if (!maildir.ensure(problem))
        return false;
    const std::optional<Maildir::Pending> pending = maildir.write(mail, problem);
    if (!pending)
        return false;
    // Named in the index before it is in the folder, so that it can never be left unnamed.
    if (!originals.link(record, {{pending->name, sent->bytes().left(HistoryRecord::HeadingSize)}}, problem)) {
        QFile::remove(pending->temporary);
        return false;
    }
    return maildir.deliver(*pending, problem) && maildir.syncDelivered(problem);
}

void recoverSent()
{
    Originals originals(Originals::Kind::Sent);
    originals.maildir().discardTemporary(); // what a send cut off left half written
    const QString history = ProgramFolder::sentHistory();
    if (originals.entryCount() <= History::RecordCount(history))
        return;
    for (const QString &name : originals.reconcile()) {
        const std::optional<QByteArray> kept = Maildir::read(originals.maildir().find(name));
        if (!kept)
            continue;
        const MailText text = MailTransport::readText(*kept);
        const HistoryRecord record = HistoryRecord::make(text.subject.trimmed(), text.date.trimmed(), text.to.trimmed(),
                                                         TextRules::trimSpaces(SendRules::typedBody(text.body)));
        const int n = History::AppendRecord(history, record);
        if (n <= 0)
            return;
        originals.setHeading(n, record.bytes().left(HistoryRecord::HeadingSize));
    }
}

} // namespace Outbox
