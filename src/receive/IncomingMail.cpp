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
#include "transport/AttachmentFiles.h"
#include "transport/MailTransport.h"
#include "viewer/TyakuForm.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QTextEdit>
#include <QTimer>

#include <cerrno>

#include <dirent.h>
#include <unistd.h>

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

// Removes every file in `folder` (the waiting files of mails that were not stored).
void emptyFolder(const QString &folder)
{
    const QByteArray native = QFile::encodeName(folder);
    DIR *d = opendir(native.constData());
    if (!d)
        return;
    QList<QByteArray> names;
    while (const dirent *e = readdir(d))
        if (qstrcmp(e->d_name, ".") != 0 && qstrcmp(e->d_name, "..") != 0)
            names.append(QByteArray(e->d_name));
    closedir(d);
    for (const QByteArray &name : std::as_const(names))
        ::unlink((native + '/' + name).constData());
}

// The files of the running check, found and claimed at its first mail. Files that mails of an
// interrupted check left waiting are thrown away: those mails were not stored, and unpack
// again when they are.
CheckFiles *checkFiles(CheckState &check, QString *problem)
{
    if (check.files)
        return &*check.files;
    const QString folder = attachmentFolder(problem);
    if (folder.isEmpty())
        return nullptr;
    const QString workFile = QDir::toNativeSeparators(QDir(folder).filePath(QStringLiteral("0.txt")));
    const QString staging = QDir(folder).filePath(QStringLiteral(".unpacking"));
    // The waiting folder is there only when a check was cut off after it claimed the work file's
    // name: a 0.txt then is that check's work file, not an attachment.
    if (QFileInfo(staging).isDir())
        QFile::remove(workFile);
    if (!claimWorkFile(workFile, problem))
        return nullptr;
    if (const int error = FileError::makeFolder(staging)) {
        *problem = QStringLiteral("添付フォルダに作業用のフォルダ「%1」を作成できません（%2）。")
                       .arg(QDir::toNativeSeparators(staging), FileError::text(error));
        return nullptr;
    }
    emptyFolder(staging);
    check.files = CheckFiles{folder, workFile, ProgramFolder::receivedHistory(),
                             QDir::toNativeSeparators(staging + u'/'),
                             std::make_shared<AttachmentFiles::FolderNames>(folder)};
    return &*check.files;
}

// What the transport has just unpacked into the waiting folder: the names without a dot in front.
QStringList unpackedNames(const QString &folder)
{
    QStringList names;
    if (DIR *d = opendir(QFile::encodeName(folder).constData())) {
        while (const dirent *e = readdir(d))
            if (e->d_name[0] != '.')
                names.append(QFile::decodeName(e->d_name));
        closedir(d);
    }
    names.sort();
    return names;
}

bool isWaiting(const CheckFiles &files, const QString &path)
{
    return path.startsWith(files.staging);
}

// A waiting file's name: a number, so that mails of one batch never clash, then the name it is
// meant to have. The unpacked names never start with a dot.
QString waitingPath(CheckFiles &files, const QString &name)
{
    return files.staging + u'.' + QString::number(++files.sequence) + u'-' + name;
}

QString meantName(const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    const qsizetype dash = name.indexOf(u'-');
    return name.startsWith(u'.') && dash > 0 ? name.mid(dash + 1) : name;
}

// The files of a staged mail into the attachment folder, under free names. A long body's file
// keeps the name its note gives, unless someone has taken that name meanwhile.
bool placeFiles(CheckFiles &files, IncomingMail::StagedMail &staged, QString *problem)
{
    AttachmentFiles::FolderNames &names = *files.names;
    const auto cannot = [&](int error) {
        *problem = QStringLiteral("添付ファイルを添付フォルダに保存できません（%1）。").arg(FileError::text(error));
        return false;
    };
    for (QString &path : staged.attachments) {
        if (!isWaiting(files, path))
            continue;
        const QString placed = names.moveIn(path, meantName(path));
        if (placed.isEmpty())
            return cannot(names.error());
        path = QDir::toNativeSeparators(placed);
        files.unsynced = true;
    }
    if (staged.fullTextFile.isEmpty() || !isWaiting(files, staged.fullTextFile))
        return true;
    QString name = meantName(staged.fullTextFile);
    const QString first = name;
    while (!names.moveInAs(staged.fullTextFile, name)) {
        if (names.error() != EEXIST)
            return cannot(names.error());
        QString head = staged.body;
        if (head.endsWith(LongBody::note(name)))
            head.chop(LongBody::note(name).size());
        name = names.freeName(first, [&first](qint64 n) {
            return first.chopped(4) + QStringLiteral("_%1.txt").arg(n + 1);
        });
        staged.body = LongBody::shortened(head, name);
        staged.record = HistoryRecord::make(TextRules::trimSpaces(staged.subject), TextRules::trimSpaces(staged.date),
                                            TextRules::trimSpaces(staged.from), staged.body);
    }
    staged.fullTextFile = QDir::toNativeSeparators(QDir(files.folder).filePath(name));
    files.unsynced = true;
    return true;
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
    emptyFolder(check.files->staging);
    ::rmdir(QFile::encodeName(check.files->staging).constData());
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
    CheckFiles *files = checkFiles(check, problem);
    if (!files)
        return false;
    const QString workFile = files->workFile;
    QString error;
    if (!WorkFile::write(workFile, mail.header, mail.body, &error)) {
        QFile::remove(workFile);
        *problem = QStringLiteral("作業ファイル「%1」を書き込めません（%2）。").arg(workFile, error);
        return false;
    }
    const QByteArray mailText = WorkFile::readMailText(workFile);
    QByteArray s = mail.subject, d = mail.date, f = mail.from, h = mail.header, b = mail.body;
    // Unpacked where nothing clashes; they move in beside the others when the mail is stored.
    const int result =
        transport.NMailAttachmentFileFirst(handle, s, d, f, h, b, files->staging, workFile, mailText, 0);
    transport.NMailAttachmentFileClose(handle);
    staged.attachments.clear();
    for (const QString &name : unpackedNames(files->staging)) {
        const QString waiting = waitingPath(*files, name);
        staged.attachments.append(QFile::rename(files->staging + name, waiting) ? waiting : files->staging + name);
    }
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
    if (LongBody::needsFile(stored)) {
        // The note names the file now; the file itself waits with the attachments.
        const QString stamp = LongBody::stampNow();
        const QString name = files->names->freeName(LongBody::fileName(stamp, 1),
                                                    [&stamp](qint64 n) { return LongBody::fileName(stamp, n); });
        files->names->reserve(name);
        const QString path = waitingPath(*files, name);
        if (!LongBody::writeText(path, stored, &error)) {
            *problem = QStringLiteral("長いメールの全文を添付フォルダに保存できません（%1）。").arg(error);
            DiscardStaged(staged);
            return false;
        }
        fitted = LongBody::Fitted{LongBody::shortened(stored, name), path};
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

int WriteReceivedRecord(CheckState &check, StagedMail &staged, QString *problem, History::Flush flush)
{
    QString unplaced;
    if (check.files && !placeFiles(*check.files, staged, &unplaced)) {
        if (problem)
            *problem = unplaced;
        DiscardStaged(staged);
        return 0;
    }
    const QString history = check.files ? check.files->history : ProgramFolder::receivedHistory();
    const int n = History::AppendRecord(history, staged.record, flush);
    if (n <= 0) {
        if (problem)
            *problem = History::lastError();
        // Without its record the mail comes again, and unpacks again.
        DiscardStaged(staged);
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

bool FlushStored(CheckState &check, QString *problem)
{
    // The names of the moved files are on the disk before the records that rely on them.
    if (check.files && check.files->unsynced) {
        if (const int error = FileError::syncFolder(check.files->folder)) {
            *problem = QStringLiteral("添付フォルダに書き込めません（%1）。").arg(FileError::text(error));
            return false;
        }
        check.files->unsynced = false;
    }
    if (!History::FlushHistory(check.files ? check.files->history : ProgramFolder::receivedHistory())) {
        *problem = History::lastError();
        return false;
    }
    return true;
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
