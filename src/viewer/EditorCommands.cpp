#include "EditorCommands.h"

#include "TextDocument.h"
#include "TyakuForm.h"
#include "app/Forms.h"
#include "app/MainForm.h"
#include "kit/WindowKit.h"
#include "platform/Fonts.h"
#include "platform/Prompter.h"
#include "platform/TextRules.h"
#include "platform/UserSettings.h"

#include <QAbstractTextDocumentLayout>
#include <QClipboard>
#include <QEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHash>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QToolBar>

namespace {

const QString kDialogTitle = QStringLiteral("ファイルを開く");
const QString kSettingsApplication = QStringLiteral("lumenpad");

// The editor shows its change at once when the operation is done, not step by step.
class UpdatesHeld
{
public:
    explicit UpdatesHeld(QWidget *widget) : m_widget(widget) { m_widget->setUpdatesEnabled(false); }
    ~UpdatesHeld()
    {
        m_widget->setUpdatesEnabled(true);
        m_widget->setFocus();
    }
    UpdatesHeld(const UpdatesHeld &) = delete;
    UpdatesHeld &operator=(const UpdatesHeld &) = delete;

private:
    QWidget *m_widget;
};

void putOnClipboard(const QString &text)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(text);
}

} // namespace

EditorCommands::EditorCommands(TyakuForm *window) : QObject(window), m_window(window), m_editor(window->rtfEd)
{
    // The search caption is long: it wraps beside the box instead of pushing both into the
    // toolbar's overflow menu, where nobody finds them.
    m_window->tbToolBar->setMovable(false);
    m_window->Label2->setWordWrap(true);
    m_window->Label2->setFont(Fonts::proportionalGothic(8));
    // The caption names the box for screen readers as well.
    m_window->Label2->setBuddy(m_window->Text1);
    m_window->Text1->setAccessibleName(m_window->Label2->text());
    m_window->tbToolBar->installEventFilter(this);
    fitSearchCaption();
    // A scroll bar that came and went with the length of the text would change the width of the
    // lines, and every line of a long text would be laid out afresh.
    m_editor->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    connect(m_editor->document(), &QTextDocument::contentsChange, this, [this] {
        m_textValid = false;
        m_hitQueued = false; // the text it was found in has changed
        if (!m_restyling)
            Editor::Modified = true;
    });
}

bool EditorCommands::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window->tbToolBar && event->type() == QEvent::Resize)
        fitSearchCaption();
    return QObject::eventFilter(watched, event);
}

void EditorCommands::fitSearchCaption()
{
    QToolBar *bar = m_window->tbToolBar;
    QLabel *caption = m_window->Label2;
    const int spacing = bar->layout()->spacing();
    int used = bar->layout()->contentsMargins().left() + bar->layout()->contentsMargins().right();
    for (QAction *action : bar->actions()) {
        QWidget *widget = bar->widgetForAction(action);
        if (widget && widget != caption)
            used += widget->sizeHint().width() + spacing;
    }
    const int oneLine = caption->fontMetrics().horizontalAdvance(caption->text()) + 2;
    const int width = qBound(80, bar->width() - used - spacing - 4, oneLine);
    caption->setFixedSize(width, qMin(caption->heightForWidth(width), bar->height()));
}

void EditorCommands::run(const QString &key)
{
    using Command = void (EditorCommands::*)();
    static const QHash<QString, Command> commands = {
        {QStringLiteral("mnew"), &EditorCommands::NewDocument},
        {QStringLiteral("New"), &EditorCommands::NewDocument},
        {QStringLiteral("mopen"), &EditorCommands::OpenTextFile},
        {QStringLiteral("Open"), &EditorCommands::OpenTextFile},
        {QStringLiteral("msave"), &EditorCommands::SaveTextFileAs},
        {QStringLiteral("Save"), &EditorCommands::SaveTextFileAs},
        // The menu's "印刷" has no action of its own; only the toolbar prints.
        {QStringLiteral("Print"), &EditorCommands::PrintText},
        {QStringLiteral("mall"), &EditorCommands::SelectAll},
        {QStringLiteral("matamajump"), &EditorCommands::CaretToStart},
        {QStringLiteral("mbunmatujump"), &EditorCommands::CaretToEnd},
        {QStringLiteral("mkensaku"), &EditorCommands::FindFirst},
        {QStringLiteral("Search"), &EditorCommands::FindFirst},
        {QStringLiteral("mtugikensaku"), &EditorCommands::FindNext},
        {QStringLiteral("mcut"), &EditorCommands::Cut},
        {QStringLiteral("Cut"), &EditorCommands::Cut},
        {QStringLiteral("mcopy"), &EditorCommands::Copy},
        {QStringLiteral("Copy"), &EditorCommands::Copy},
        {QStringLiteral("mpaste"), &EditorCommands::Paste},
        {QStringLiteral("Paste"), &EditorCommands::Paste},
        {QStringLiteral("Bold"), &EditorCommands::ToggleBold},
        {QStringLiteral("Italic"), &EditorCommands::ToggleItalic},
        {QStringLiteral("Underline"), &EditorCommands::ToggleUnderline},
    };
    // A hit not shown yet is the selection the other commands work on; searches in a row only
    // need the last one shown.
    const bool search =
        commands.value(key) == &EditorCommands::FindFirst || commands.value(key) == &EditorCommands::FindNext;
    if (!search)
        showPendingHit();
    if (key == QStringLiteral("mend")) {
        Kit::swapForms(Forms::mainForm(), m_window);
        return;
    }
    if (const auto command = commands.find(key); command != commands.end())
        (this->*command.value())();
}

QIcon EditorCommands::toolbarIcon(const QString &key)
{
    static const QHash<QString, QString> themeNames = {
        {QStringLiteral("New"), QStringLiteral("document-new")},
        {QStringLiteral("Open"), QStringLiteral("document-open")},
        {QStringLiteral("Save"), QStringLiteral("document-save-as")},
        {QStringLiteral("Print"), QStringLiteral("document-print")},
        {QStringLiteral("Cut"), QStringLiteral("edit-cut")},
        {QStringLiteral("Copy"), QStringLiteral("edit-copy")},
        {QStringLiteral("Paste"), QStringLiteral("edit-paste")},
        {QStringLiteral("Bold"), QStringLiteral("format-text-bold")},
        {QStringLiteral("Italic"), QStringLiteral("format-text-italic")},
        {QStringLiteral("Underline"), QStringLiteral("format-text-underline")},
        {QStringLiteral("Search"), QStringLiteral("edit-find")},
    };
    const QIcon own(QStringLiteral(":/toolbar/%1.png").arg(key.toLower()));
    return QIcon::fromTheme(themeNames.value(key), own);
}

QString EditorCommands::fileFilter()
{
    // Text and INI files in any letter case: the program's own document is "新規作成.TXT".
    return QStringLiteral("txtファイル(*.txt,*.ini) (*.txt *.ini *.TXT *.INI)");
}

const QString &EditorCommands::editorText()
{
    if (!m_textValid) {
        m_text = m_editor->toPlainText();
        m_textValid = true;
    }
    return m_text;
}

void EditorCommands::showHit(qsizetype length)
{
    // Selecting lays out the hit's line and scrolls to it. Searches in a row (holding the key
    // down in a file of megabytes) show only where they end, once the window gets to draw.
    m_pendingHit = {m_foundAt - 1, length};
    if (!m_hitQueued) {
        m_hitQueued = true;
        QMetaObject::invokeMethod(this, &EditorCommands::showPendingHit, Qt::QueuedConnection);
    }
}

void EditorCommands::showPendingHit()
{
    if (!m_hitQueued)
        return;
    m_hitQueued = false;
    const int size = m_editor->document()->characterCount() - 1;
    const int start = int(qMin<qsizetype>(m_pendingHit.first, size));
    const int end = int(qMin<qsizetype>(m_pendingHit.first + m_pendingHit.second, size));
    m_editor->setFocus();
    QTextCursor cursor(m_editor->document());
    cursor.setPosition(start);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    m_editor->setTextCursor(cursor);
}

void EditorCommands::find(qsizetype start)
{
    const QString what = m_window->Text1->text();
    // The kept text may hold line separators for line ends (see groupLines); a search text with
    // a line break in it is looked for in the text as the user sees it.
    const bool lineBreak = what.contains(u'\n') || what.contains(QChar(QChar::LineSeparator));
    m_foundAt = Editor::findText(lineBreak ? m_editor->toPlainText() : editorText(), what, start);
    if (m_foundAt > 0)
        showHit(what.size());
}

void EditorCommands::FindFirst()
{
    find(1);
}

void EditorCommands::FindNext()
{
    find(Editor::nextSearchStart(m_foundAt, m_window->Text1->text().size()));
}

void EditorCommands::Cut()
{
    UpdatesHeld held(m_editor);
    QTextCursor cursor = m_editor->textCursor();
    putOnClipboard(cursor.selection().toPlainText());
    cursor.removeSelectedText();
    m_editor->setTextCursor(cursor);
}

void EditorCommands::Copy()
{
    UpdatesHeld held(m_editor);
    QTextCursor cursor = m_editor->textCursor();
    // Without a selection the caret goes to the start.
    const int end = cursor.hasSelection() ? cursor.selectionEnd() : 0;
    putOnClipboard(cursor.selection().toPlainText());
    cursor.setPosition(end);
    m_editor->setTextCursor(cursor);
}

void EditorCommands::Paste()
{
    UpdatesHeld held(m_editor);
    const QString text = TextRules::trimSpaces(TextRules::CutAtNul(QGuiApplication::clipboard()->text()));
    QTextCursor cursor = m_editor->textCursor();
    cursor.insertText(text);
    // What is typed after the pasted text sits on the normal base line again.
    QTextCharFormat normal;
    normal.setVerticalAlignment(QTextCharFormat::AlignNormal);
    cursor.mergeCharFormat(normal);
    m_editor->setTextCursor(cursor);
}

void EditorCommands::SelectAll()
{
    QTextCursor cursor(m_editor->document());
    cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    m_editor->setTextCursor(cursor);
}

void EditorCommands::CaretToStart()
{
    QTextCursor cursor(m_editor->document());
    m_editor->setTextCursor(cursor);
    m_editor->setFocus();
}

void EditorCommands::CaretToEnd()
{
    QTextCursor cursor(m_editor->document());
    cursor.movePosition(QTextCursor::End);
    m_editor->setTextCursor(cursor);
    m_editor->setFocus();
}

namespace {

// Odd counts mean on: the first click turns the style on for the whole editor, the next off.
bool toggle(qint16 &counter)
{
    const bool on = counter % 2 == 0;
    counter = on ? 1 : 2;
    return on;
}

} // namespace

void EditorCommands::restyle(void (QFont::*set)(bool), qint16 &counter)
{
    QFont font = m_editor->font();
    (font.*set)(toggle(counter));
    // The editor reports a new font as a change of its contents; the text stays as it was.
    m_restyling = true;
    m_editor->setFont(font);
    m_restyling = false;
}

void EditorCommands::ToggleBold()
{
    restyle(&QFont::setBold, Editor::BoldToggles);
}

void EditorCommands::ToggleItalic()
{
    restyle(&QFont::setItalic, Editor::ItalicToggles);
}

void EditorCommands::ToggleUnderline()
{
    restyle(&QFont::setUnderline, Editor::UnderlineToggles);
}

void EditorCommands::NewDocument()
{
    const QString &name = Editor::newDocumentName();
    if (Editor::CurrentDocPath.contains(name))
        return;
    if (Editor::Modified)
        Editor::SaveCurrentDocument(m_editor->toPlainText());
    m_editor->clear();
    Editor::CurrentDocPath = Editor::siblingPath(Editor::CurrentDocPath, name);
    // A file of that name that is there already is the user's: it is not emptied.
    if (!QFileInfo::exists(Editor::resolveDocumentPath(Editor::CurrentDocPath)))
        Editor::SaveCurrentDocument(QString());
    Editor::Modified = false;
    m_window->setWindowTitle(name + QStringLiteral("      ") + Editor::CurrentDocPath);
}

void EditorCommands::OpenTextFile()
{
    const QString path = Prompter::current().openFileName(kDialogTitle, fileFilter());
    if (path.isEmpty())
        return;
    const Editor::TextFile file = Editor::readTextLines(path);
    if (!file.ok) {
        MsgBox(file.error, Prompter::Buttons::Ok, Prompter::Icon::Exclamation);
        return;
    }
    m_window->setWindowTitle(path);
    const QString text = Editor::groupLines(file.text);
    m_editor->setPlainText(text);
    // The search need not read megabytes back from the editor: it holds what it was given.
    if (m_editor->document()->characterCount() - 1 == text.size()) {
        m_text = text;
        m_textValid = true;
    }
    if (file.unreadableBytes)
        MsgBox(QStringLiteral(
                   "シフトJISとして読めない文字があります。このまま保存すると、読めなかった文字は「〓」になります。"),
               Prompter::Buttons::Ok, Prompter::Icon::Exclamation);
}

void EditorCommands::SaveTextFileAs()
{
    const QString path = Prompter::current().saveFileName(kDialogTitle, fileFilter());
    if (path.isEmpty())
        return;
    const Editor::FileResult written =
        Editor::writeFileAtomically(path, Editor::savedTextBytes(m_editor->toPlainText()));
    if (!written.ok) {
        MsgBox(written.error, Prompter::Buttons::Ok, Prompter::Icon::Exclamation);
        return;
    }
    m_window->setWindowTitle(path);
}

void EditorCommands::PrintText()
{
    const QTextCursor cursor = m_editor->textCursor();
    const bool selection = cursor.hasSelection();
    QPrinter printer(QPrinter::HighResolution);
    // Room around the text unless the user chooses otherwise in the dialog.
    printer.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Millimeter);
    if (!Prompter::current().printDialog(printer, selection))
        return;
    // The user may have changed the range to the whole text in the dialog.
    const QString text = selection && printer.printRange() == QPrinter::Selection ? cursor.selection().toPlainText()
                                                                                  : m_editor->toPlainText();
    const int copies = qMax(1, printer.copyCount());
    // Every copy is printed here, so the printer must not multiply them again.
    printer.setCopyCount(1);
    if (!printPlainText(printer, text, m_editor->font(), copies))
        MsgBox(QStringLiteral("印刷できませんでした。"), Prompter::Buttons::Ok, Prompter::Icon::Exclamation);
}

bool EditorCommands::printPlainText(QPrinter &printer, const QString &text, const QFont &editorFont, int copies)
{
    QFont font;
    font.setFamilies(editorFont.families());
    font.setPointSizeF(editorFont.pointSizeF());
    font.setBold(editorFont.bold());
    font.setItalic(editorFont.italic());

    QTextDocument document;
    document.documentLayout()->setPaintDevice(&printer);
    document.setDefaultFont(font);
    QTextOption wrap;
    wrap.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    document.setDefaultTextOption(wrap);
    document.setDocumentMargin(0);
    document.setPlainText(text);

    const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
    document.setPageSize(page.size());
    const int pages = document.pageCount();
    int first = 1, last = pages;
    if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
        first = qMax(1, printer.fromPage());
        last = qMin(pages, printer.toPage() > 0 ? printer.toPage() : pages);
    }

    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    bool firstPage = true;
    for (int copy = 0; copy < copies; ++copy) {
        for (int n = first; n <= last; ++n) {
            if (!firstPage && !printer.newPage())
                return false;
            firstPage = false;
            const QRectF area(0, (n - 1) * page.height(), page.width(), page.height());
            painter.save();
            painter.translate(0, -area.top());
            document.drawContents(&painter, area);
            painter.restore();
        }
    }
    return painter.end();
}

void EditorCommands::documentLoadStep()
{
    // A run's first window has no document yet: that is nothing to load, not a failure.
    while (!Editor::CurrentDocPath.isEmpty()) {
        const Editor::TextFile file = Editor::readPlainText(Editor::resolveDocumentPath(Editor::CurrentDocPath));
        if (file.ok) {
            m_window->setBodyText(file.text);
            break;
        }
        // OK tries again, Cancel goes on without the document.
        if (MsgBox(QString(), Prompter::Buttons::OkCancel, Prompter::Icon::Exclamation,
                   applicationTitle() + QStringLiteral("  Form_LoadError")) != Prompter::Ok)
            break;
    }
    Editor::Modified = false;
    m_editor->setVisible(true);
}

void EditorCommands::closingStep()
{
    for (const QString &section : {QStringLiteral("HIST"), QStringLiteral("OKINI")}) {
        UserSettings::SaveSetting(kSettingsApplication, section, QStringLiteral("0"), QStringLiteral("EMPTY"));
        UserSettings::DeleteSection(kSettingsApplication, section);
    }
    UserSettings::SaveSetting(kSettingsApplication, QStringLiteral("FLAG"), QStringLiteral("AUTOSAVE"), QString());
}
