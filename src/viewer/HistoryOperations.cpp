// The buttons of the history window that act on the shown history or on the selected mail.
#include "TyakuForm.h"

#include "MailListModel.h"
#include "addressbook/FriendForm.h"
#include "app/Forms.h"
#include "app/MainForm.h"
#include "kit/BackgroundWork.h"
#include "platform/FileError.h"
#include "platform/ProgramFolder.h"
#include "platform/Prompter.h"
#include "platform/TextRules.h"
#include "receive/LongBody.h"
#include "store/HistoryFile.h"
#include "store/Originals.h"
#include "viewer/FullText.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QPlainTextEdit>
#include <QTreeView>

#include <fcntl.h>
#include <unistd.h>

#include <thread>

namespace {

const QString kConfirmTitle = QStringLiteral("確認");

void sayWhy(const QString &why)
{
    MsgBox(why, Prompter::Buttons::Ok, Prompter::Icon::Exclamation);
}

bool confirm(const QString &question)
{
    return MsgBox(question, Prompter::Buttons::YesNo, Prompter::Icon::Question, kConfirmTitle) == Prompter::Yes;
}

// Deleting a mail replaces the history file by a compacted copy, and freeing the blocks of the
// old file (hundreds of megabytes in a long history) takes a good part of the time of the copy.
// While this object lives it holds the old file open; then a worker thread lets it go, so the
// blocks are freed away from the user-interface thread. A crash in between leaves nothing behind:
// the system frees the file when the process ends.
class OldFileRelease
{
public:
    explicit OldFileRelease(const QString &file)
        : m_fd(::open(QFile::encodeName(file).constData(), O_RDONLY | O_CLOEXEC))
    {
    }
    ~OldFileRelease()
    {
        if (m_fd < 0)
            return;
        try {
            std::thread([fd = m_fd] { ::close(fd); }).detach();
        } catch (...) {
            ::close(m_fd); // no thread to be had: the wait is the user's
        }
    }
    OldFileRelease(const OldFileRelease &) = delete;
    OldFileRelease &operator=(const OldFileRelease &) = delete;

private:
    int m_fd;
};

// Creates an empty history file where none is, inside an existing data folder only.
void createIfMissing(const QString &file)
{
    if (file.isEmpty() || QFile::exists(file) || !QDir(ProgramFolder::dataFolder()).exists())
        return;
    const int fd = FileError::openFile(file, O_WRONLY | O_CREAT | O_EXCL);
    if (fd >= 0)
        ::close(fd);
}

// The file that holds the whole text of a received mail too long for its record, if any.
QString longBodyFile(const QString &file, int record)
{
    const std::optional<HistoryRecord> mail = History::ReadRecord(file, record);
    const QString name = mail ? LongBody::namedFile(mail->Body()) : QString();
    return name.isEmpty() ? QString() : QDir(ProgramFolder::attachmentFolder()).filePath(name);
}

} // namespace

void TyakuForm::connectHistoryOperations()
{
    connect(Command1, &QPushButton::clicked, this, &TyakuForm::deleteSelectedMail);
    connect(Command3, &QPushButton::clicked, this, &TyakuForm::registerSender);
    connect(Command5, &QPushButton::clicked, this, &TyakuForm::deleteAllMails);
}

bool TyakuForm::checkSelection()
{
    // A marker without a selected row is left over from a list that has since been refilled
    // ("全件削除", another history, a mail check); one from another row than the selected one
    // names a mail the user did not pick for this.
    if (!Text5->text().isEmpty() && selectedRecordNumber() > 0 && selectedHistory() == m_markedHistory
        && selectedRecordNumber() == m_markedRecord)
        return true;
    Text5->clear();
    MsgBox(QStringLiteral("データが選択されていません"));
    return false;
}

void TyakuForm::deleteSelectedMail()
{
    BackgroundWork::waitUntilDone(); // an automatic check is storing into the history
    if (HistoryMode == 1 || HistoryMode == 2) {
        if (!checkSelection())
            return;
        // The row knows where its mail lives; after a mail check that is not its position.
        const qint16 history = selectedHistory();
        const int record = selectedRecordNumber();
        const QString question =
            history == 1 ? QStringLiteral("選択された（行、青色）データを削除します。よろしいですか?")
                         : QStringLiteral("選択された（行、青色）データを削除します。よろしいですか");
        if (!confirm(question)) {
            Text5->clear();
            return;
        }
        const QString file = historyFile(history);
        const std::optional<HistoryRecord> heading = History::ReadRecord(file, record, History::Fields::Heading);
        // A long received text kept beside the attachments goes with its mail.
        const QString wholeText = history == 1 ? longBodyFile(file, record) : QString();
        if (!History::MarkDeleted(file, record)) {
            sayWhy(History::lastError());
            Text5->clear();
            return;
        }
        // The original goes before the record, so that no crash can bring the mail back.
        Originals originals(history == 2 ? Originals::Kind::Sent : Originals::Kind::Received);
        if (heading)
            originals.removeOriginal(record, heading->bytes());
        Text7->clear();
        Text8->clear();
        Text9->clear();
        rtfEd->clear();
        {
            const OldFileRelease oldFile(file);
            if (!History::CompactHistory(file)) {
                sayWhy(History::lastError()); // the file is as it was; the mail lists on
            } else {
                originals.dropEntry(record, nullptr);
                if (!wholeText.isEmpty())
                    QFile::remove(wholeText);
            }
        }
        RebuildList();
        Text2->setText(QString::number(rowCount()));
        if (HistoryMode == 2) {
            if (MainForm *main = Forms::existingMainForm())
                main->Text1->setText(Text2->text());
        }
    }
    Text5->clear();
}

void TyakuForm::RebuildList()
{
    // The list reads the headings it shows; only the last record is read whole, for the boxes.
    const QString file = historyFile(HistoryMode);
    const int count = file.isEmpty() ? 0 : History::RecordCount(file);
    mailList->showFile(file, HistoryMode, count);
    if (count == 0)
        return;
    const std::optional<HistoryRecord> last = History::ReadRecord(file, count);
    if (!last)
        return;
    // The raw fields: a text box shows them up to their first NUL, fill spaces included, from
    // their start rather than scrolled to the fill at their end.
    // Where a field lost characters its whole text shows, from the mail's original.
    const FullText::Shown whole = FullText::shown(HistoryMode, count, *last);
    const auto field = [](const QString &raw, const QString &shown) {
        return TextRules::trimSpaces(raw) == shown ? raw : shown;
    };
    const std::pair<QLineEdit *, QString> boxes[] = {{Text7, field(last->Subject(), whole.subject)},
                                                     {Text8, field(last->Address(), whole.address)},
                                                     {Text9, field(last->Date(), whole.date)}};
    for (const auto &[box, value] : boxes) {
        box->setText(value);
        box->setCursorPosition(0);
    }
    // The raw body goes through the clipboard and comes back trimmed; the editor is filled once,
    // with what it ends up showing (laying out 32000 characters of fill costs more than the rest).
    QString body = field(last->Body(), whole.body);
    body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    body.replace(u'\r', u'\n');
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(body);
    setBodyText(TextRules::trimSpaces(TextRules::CutAtNul(body)));
}

void TyakuForm::deleteAllMails()
{
    BackgroundWork::waitUntilDone(); // an automatic check is storing into the history
    createIfMissing(historyFile(1));
    if (HistoryMode == 2)
        createIfMissing(historyFile(2));
    if (HistoryMode != 1 && HistoryMode != 2)
        return;
    if (!confirm(QStringLiteral("すべてのデータを削除して良いですか？")))
        return;
    Originals originals(HistoryMode == 2 ? Originals::Kind::Sent : Originals::Kind::Received);
    const QStringList wholeTexts = HistoryMode == 1 ? LongBody::namedFiles(historyFile(1)) : QStringList();
    originals.removeAllOriginals();
    if (!History::DeleteAllRecords(historyFile(HistoryMode))) {
        sayWhy(History::lastError());
        return;
    }
    originals.dropAllEntries(nullptr);
    const QDir attachments(ProgramFolder::attachmentFolder());
    for (const QString &name : wholeTexts)
        QFile::remove(attachments.filePath(name));
    mailList->clear();
    Text2->setText(QStringLiteral("0"));
    Text7->clear();
    Text8->clear();
    Text9->clear();
    rtfEd->clear();
}

void TyakuForm::registerSender()
{
    if (HistoryMode != 1) {
        MsgBox(QStringLiteral("自分宛となっています。"));
        return;
    }
    if (!checkSelection())
        return;
    Text5->clear();
    FriendForm *book = Forms::friendForm();
    book->Text4->setText(Text8->text());
    book->show();
    book->raise();
    book->activateWindow();
}
