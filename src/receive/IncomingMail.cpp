#include "IncomingMail.h"

#include "LongBody.h"
#include "MailScan.h"
#include "WorkFile.h"
#include "app/Forms.h"
#include "app/MainForm.h"
#include "characters/DogWindow.h"
#include "characters/SetForm.h"
#include "kit/BackgroundWork.h"
#include "platform/Cp932.h"
#include "platform/FileError.h"
#include "platform/ProgramFolder.h"
#include "platform/Prompter.h"
#include "platform/TextRules.h"
#include "store/HistoryFile.h"
#include "transport/MailTransport.h"
#include "viewer/TyakuForm.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QTextEdit>
#include <QTimer>

namespace {

using IncomingMail::CheckFiles;
using IncomingMail::CheckState;

// The last mail stored, as the end of its check left it.
struct LastMail
{
    int marker = 0;
    bool attachment = false;
} g_last;

QString text(const QByteArray &bytes)
{
    return TextRules::CutAtNul(Cp932::toUnicode(bytes));
}

// The attachment folder as the transport wants it: a native path ending in a separator. The
// folder is made when it is missing, as attachments would otherwise have nowhere to go.
QString attachmentFolder(QString *problem)
{
    const QString folder = ProgramFolder::attachmentFolder();
    if (!QDir(folder).exists() && FileError::makeFolder(folder) != 0) {
        *problem = QStringLiteral("添付フォルダ「%1」を作成できません。").arg(QDir::toNativeSeparators(folder));
        return QString();
    }
    return QDir::toNativeSeparators(QDir(folder).absolutePath() + u'/');
}

// The work file shares its folder with the attachments, and an attachment may be called 0.txt
// too: a file of that name found when a check starts is moved to a free name, not replaced.
bool claimWorkFile(const QString &workFile, QString *problem)
{
    if (!QFile::exists(workFile))
        return true;
    const QFileInfo info(workFile);
    for (int k = 2; k < 10000; ++k) {
        const QString aside = info.dir().filePath(
            QStringLiteral("%1 (%2).%3").arg(info.completeBaseName(), QString::number(k), info.suffix()));
        if (QFile::exists(aside))
            continue;
        if (!QFile::rename(workFile, aside))
            break;
        return true;
    }
    *problem = QStringLiteral("添付フォルダの「%1」を作業ファイルに使えません。").arg(info.fileName());
    return false;
}

// The files of the running check, found and claimed at its first mail.
const CheckFiles *checkFiles(CheckState &check, QString *problem)
{
    if (check.files)
        return &*check.files;
    const QString folder = attachmentFolder(problem);
    if (folder.isEmpty())
        return nullptr;
    const QString workFile = QDir::toNativeSeparators(QDir(folder).filePath(QStringLiteral("0.txt")));
    if (!claimWorkFile(workFile, problem))
        return nullptr;
    check.files = CheckFiles{folder, workFile, ProgramFolder::receivedHistory()};
    return &*check.files;
}

} // namespace

namespace IncomingMail {

void ShowLastBody(CheckState &check)
{
    if (check.bodyShown)
        return;
    check.bodyShown = true;
    BackgroundWork::onWindowThread([body = check.body] { Forms::tyakuForm()->setBodyText(body); });
}

void EndCheck(CheckState &check)
{
    if (!check.files)
        return;
    QFile::remove(check.files->workFile);
    check.files.reset();
}

int lastMarker() { return g_last.marker; }
bool lastAttachmentFlag() { return g_last.attachment; }

void reset() { g_last = LastMail(); }

bool HandleMail(CheckState &check, MailTransport &transport, int handle, const RetrievedMail &mail,
                StagedMail &staged, QString *problem)
{
    const QString subject = text(mail.subject);
    const QString date = text(mail.date);
    const QString from = text(mail.from);
    const QString body = text(mail.body);

    // 1. The scan. The clock box served as scratch space for it and is left empty.
    bool attachment = MailScan::hasAttachmentWord(body);
    const int marker = MailScan::markerNumber(body);
    BackgroundWork::onWindowThread([] {
        if (MainForm *main = Forms::existingMainForm())
            main->Text2->clear();
    });

    if (check.clearListFirst) {
        check.clearListFirst = false;
        BackgroundWork::onWindowThread([] { Forms::tyakuForm()->clearList(); });
    }

    // 2. The attachments, through the work file.
    const CheckFiles *files = checkFiles(check, problem);
    if (!files)
        return false;
    const QString &folder = files->folder;
    const QString &workFile = files->workFile;
    QString error;
    if (!WorkFile::write(workFile, mail.header, mail.body, &error)) {
        QFile::remove(workFile);
        *problem = QStringLiteral("作業ファイル「%1」を書き込めません（%2）。").arg(workFile, error);
        return false;
    }
    const QByteArray mailText = WorkFile::readMailText(workFile);
    QByteArray s = mail.subject, d = mail.date, f = mail.from, h = mail.header, b = mail.body;
    const int result = transport.NMailAttachmentFileFirst(handle, s, d, f, h, b, folder, workFile, mailText, 0);
    transport.NMailAttachmentFileClose(handle);
    staged.attachments = transport.writtenAttachments();
    // The work file is replaced by the next mail and removed when the check ends: creating a
    // new file for every mail of a full mailbox costs more than the rest of storing it.
    if (result == -5) {
        MsgBox(QStringLiteral("添付ファイルをオープンできません"));
        // Deleting the mail now would lose the attachment that could not be written.
        *problem = QStringLiteral("添付ファイルを添付フォルダに保存できませんでした。");
        return false;
    }
    if (result == -6)
        MsgBox(QStringLiteral("分割されたメールが全て揃っていません"));
    // A mail that really carried attachments gets the note as well as one that mentions them.
    if (result == 1)
        attachment = true;

    // 3. The history window's boxes. The editor gets the body when the windows repaint and at
    // the end of the check (ShowLastBody): laying out every mail's text in it would cost more
    // than the rest of storing the mail.
    BackgroundWork::onWindowThread([subject, from, date] {
        TyakuForm *window = Forms::tyakuForm();
        window->Text7->setText(subject);
        window->Text8->setText(from);
        window->Text9->setText(date);
    });

    // 4. The record, from the boxes. A body too long for its field is kept whole in a file
    // beside the attachments.
    const QString stored = TextRules::trimSpaces(attachment ? body + MailScan::attachmentNote() : body);
    std::optional<LongBody::Fitted> fitted = LongBody::Fitted{stored, QString()};
    // Code page 932 needs at most two bytes for each UTF-16 unit.
    if (stored.size() * 2 > LongBody::FieldBytes && Cp932::fromUnicode(stored).size() > LongBody::FieldBytes) {
        fitted = LongBody::fit(stored, folder, &error);
        if (!fitted) {
            *problem = QStringLiteral("長いメールの全文を添付フォルダに保存できません（%1）。").arg(error);
            DiscardStaged(staged);
            return false;
        }
    }
    // The boxes hold these texts as they were given.
    staged.record = HistoryRecord::make(TextRules::trimSpaces(subject), TextRules::trimSpaces(date),
                                        TextRules::trimSpaces(from), fitted->body);
    staged.subject = subject;
    staged.from = from;
    staged.date = date;
    staged.body = fitted->body;
    staged.fullTextFile = fitted->fullTextFile;
    staged.marker = marker;
    staged.attachment = attachment;
    return true;
}

int WriteReceivedRecord(CheckState &check, const StagedMail &staged, QString *problem, History::Flush flush)
{
    const QString history = check.files ? check.files->history : ProgramFolder::receivedHistory();
    const int n = History::AppendRecord(history, staged.record, flush);
    if (n <= 0) {
        if (problem)
            *problem = History::lastError();
        return 0;
    }
    BackgroundWork::onWindowThread([subject = staged.subject, from = staged.from, date = staged.date, n] {
        Forms::tyakuForm()->addStoredRow(subject, from, date, 1, n);
    });
    check.body = staged.body;
    check.bodyShown = false;
    check.handledAny = true;
    check.marker = staged.marker;
    check.attachment = staged.attachment;
    return n;
}

void DiscardStaged(const StagedMail &staged)
{
    for (const QString &path : staged.attachments)
        QFile::remove(path);
    if (!staged.fullTextFile.isEmpty())
        QFile::remove(staged.fullTextFile);
}

void FinishCheck(const CheckState &check, int count)
{
    if (check.handledAny)
        g_last = LastMail{check.marker, check.attachment};
    // The main window may have been closed while a message box of the check waited.
    MainForm *main = Forms::existingMainForm();
    if (!main)
        return;
    if (count > 0) {
        main->Text1->show();
        main->Text1->setText(QStringLiteral("新着メール有り。"));
        if (check.marker >= 1 && check.marker <= 10) {
            main->Timer1->start(1000);
            Forms::dogWindow(MailScan::formForMarker(check.marker))->show();
            main->walkCommand();
        } else {
            for (int form = 1; form <= 10; ++form) {
                if (!Forms::setForm()->isTicked(form))
                    continue;
                Forms::dogWindow(form)->show();
                main->Timer1->start(1000);
                main->walkCommand();
            }
        }
    } else if (count == 0) {
        main->Text1->show();
        main->Text1->setText(QStringLiteral("新着メール無し。"));
        main->Timer1->stop();
    }
}

} // namespace IncomingMail
