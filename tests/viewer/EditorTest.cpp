#include "ScriptedPrompter.h"
#include "app/Forms.h"
#include "app/MainForm.h"
#include "platform/Cp932.h"
#include "platform/UserSettings.h"
#include "viewer/EditorCommands.h"
#include "viewer/TextDocument.h"
#include "viewer/TyakuForm.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>
#include <QTextCursor>
#include <QToolBar>

#include <gtest/gtest.h>

namespace {

class EditorWindow : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { QStandardPaths::setTestModeEnabled(true); }

    void SetUp() override
    {
        ::Editor::CurrentDocPath.clear();
        ::Editor::Modified = false;
        ::Editor::BoldToggles = ::Editor::ItalicToggles = ::Editor::UnderlineToggles = 0;
    }
    void TearDown() override { Forms::destroyAll(); }

    TyakuForm *window() { return Forms::tyakuForm(); }
    QPlainTextEdit *editor() { return window()->rtfEd; }

    // Chooses a menu item or presses a toolbar button, as the user does.
    void press(const char *name)
    {
        QAction *action = window()->findChild<QAction *>(QString::fromLatin1(name));
        ASSERT_TRUE(action) << name;
        action->trigger();
        QCoreApplication::processEvents(); // as after each click
    }

    void select(int start, int length)
    {
        QTextCursor cursor(editor()->document());
        cursor.setPosition(start);
        cursor.setPosition(start + length, QTextCursor::KeepAnchor);
        editor()->setTextCursor(cursor);
    }

    int selectionStart() { return editor()->textCursor().selectionStart(); }
    int selectionLength() { return editor()->textCursor().selectionEnd() - editor()->textCursor().selectionStart(); }

    QStringList captions(QMenu *menu)
    {
        QStringList list;
        for (QAction *action : menu->actions())
            list << (action->isSeparator() ? QStringLiteral("-") : action->text()) + u'=' + action->objectName();
        return list;
    }

    TempProgramFolder folder;
    ScriptedPrompter prompter;
};

TEST_F(EditorWindow, MenusToolbarAndSearchBox)
{
    TyakuForm *w = window();
    EXPECT_EQ(captions(w->mFile), QStringList({"新規作成=mnew", "開く=mopen", "名前を付けて保存=msave", "印刷=mprint",
                                               "-=mline", "終了=mend"}));
    EXPECT_EQ(captions(w->medit),
              QStringList({"全て選択=mall", "文頭へジャンプ=matamajump", "文末へジャンプ=mbunmatujump", "-=mline3",
                           "検索=mkensaku", "次を検索=mtugikensaku", "-=mline2", "切り取り=mcut", "コピー=mcopy",
                           "貼り付け=mpaste"}));
    QStringList keys;
    for (QAction *action : w->tbToolBar->actions()) {
        if (action->objectName().isEmpty())
            continue; // the search caption and box
        keys << action->objectName() + u'=' + action->toolTip();
        EXPECT_FALSE(action->icon().pixmap(16, 16).isNull()) << action->objectName().toStdString();
    }
    EXPECT_EQ(keys, QStringList({"New=新規作成", "Open=開く", "Save=名前を付けて保存", "Print=印刷", "Cut=切り取り",
                                 "Copy=ｺﾋﾟｰ", "Paste=貼り付け", "Bold=太字", "Italic=斜体", "Underline=下線",
                                 "Search=検索"}));

    // At the size of creation the caption and the box sit on the toolbar itself, not in its
    // overflow, and the box can be typed into.
    w->show();
    QApplication::processEvents();
    EXPECT_EQ(w->Label2->text(), QStringLiteral("検索文字（検索文字を右の欄に入力後、検索ボタン、または編集→検索）"));
    for (QWidget *control : {static_cast<QWidget *>(w->Label2), static_cast<QWidget *>(w->Text1)}) {
        EXPECT_TRUE(control->isVisible()) << control->objectName().toStdString();
        EXPECT_EQ(control->parentWidget(), w->tbToolBar);
        EXPECT_TRUE(w->tbToolBar->rect().contains(control->geometry())) << control->objectName().toStdString();
    }
    EXPECT_GE(w->Text1->width(), 80);
    // The whole caption fits into the space it is given.
    EXPECT_GE(w->Label2->height(), w->Label2->heightForWidth(w->Label2->width()));
}

TEST_F(EditorWindow, SearchFromTheBoxAndTheMenus)
{
    TyakuForm *w = window();
    w->setBodyText(QStringLiteral("xabcabc"));
    w->Text1->setText(QStringLiteral("abc"));
    press("Search");
    EXPECT_EQ(w->editor()->FoundAt(), 2);
    EXPECT_EQ(selectionStart(), 1);
    EXPECT_EQ(selectionLength(), 3);
    press("mtugikensaku");
    EXPECT_EQ(selectionStart(), 4);
    press("mtugikensaku"); // nothing more: the selection stays
    EXPECT_EQ(w->editor()->FoundAt(), 0);
    EXPECT_EQ(selectionStart(), 4);
    EXPECT_EQ(selectionLength(), 3);
    select(0, 0);
    press("mtugikensaku"); // starts again at position 3
    EXPECT_EQ(selectionStart(), 4);

    w->Text1->setText(QStringLiteral("ABC"));
    select(0, 0);
    press("mkensaku");
    EXPECT_EQ(w->editor()->FoundAt(), 0);
    EXPECT_EQ(selectionLength(), 0);

    // The search sees edits made after the last search.
    editor()->textCursor().insertText(QStringLiteral("ABC"));
    press("mkensaku");
    EXPECT_EQ(w->editor()->FoundAt(), 1);
}

TEST_F(EditorWindow, ClipboardSteps)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    TyakuForm *w = window();
    w->setBodyText(QStringLiteral("わんわん dog"));

    clipboard->setText(QStringLiteral("old"));
    select(5, 0);
    press("mcopy"); // no selection: the clipboard's text is emptied and the caret goes to the start
    EXPECT_TRUE(clipboard->text().isEmpty());
    EXPECT_EQ(editor()->textCursor().position(), 0);

    select(0, 4);
    press("Copy");
    EXPECT_EQ(clipboard->text(), QStringLiteral("わんわん"));
    EXPECT_EQ(editor()->textCursor().position(), 4);
    EXPECT_FALSE(editor()->textCursor().hasSelection());

    select(4, 4);
    press("Cut");
    EXPECT_EQ(clipboard->text(), QStringLiteral(" dog"));
    EXPECT_EQ(editor()->toPlainText(), QStringLiteral("わんわん"));

    clipboard->setText(QStringLiteral("  \tpasted\n  "));
    select(0, 2);
    press("mpaste");
    EXPECT_EQ(editor()->toPlainText(), QStringLiteral("\tpasted\nわん"));

    press("mall");
    EXPECT_EQ(selectionLength(), editor()->toPlainText().size());
    press("mbunmatujump");
    EXPECT_EQ(editor()->textCursor().position(), editor()->toPlainText().size());
    press("matamajump");
    EXPECT_EQ(editor()->textCursor().position(), 0);
}

TEST_F(EditorWindow, StylesToggleForTheWholeEditorAndTheCountersOutliveTheWindow)
{
    window()->setBodyText(QStringLiteral("text"));
    ::Editor::Modified = false;
    press("Bold");
    EXPECT_TRUE(editor()->font().bold());
    EXPECT_FALSE(::Editor::Modified); // a style is no change of the text
    press("Bold");
    EXPECT_FALSE(editor()->font().bold());
    press("Italic");
    press("Underline");
    EXPECT_TRUE(editor()->font().italic());
    EXPECT_TRUE(editor()->font().underline());
    EXPECT_EQ(::Editor::BoldToggles, 2);

    window()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    press("Italic"); // a new window, whose editor is not italic yet: the counter says off
    EXPECT_FALSE(editor()->font().italic());
    EXPECT_EQ(::Editor::ItalicToggles, 2);
}

TEST_F(EditorWindow, OpenAndSaveThroughTheFileDialogs)
{
    folder.write(QStringLiteral("letter.txt"), QByteArray("\x8C\xA2\x82\xCC\x98\x62\r\nsecond line", 19));
    const QString path = folder.file(QStringLiteral("letter.txt"));
    prompter.fileNames = {path, path};
    TyakuForm *w = window();
    press("mopen");
    ASSERT_EQ(prompter.fileDialogs.size(), 1u);
    EXPECT_EQ(prompter.fileDialogs[0].title, QStringLiteral("ファイルを開く"));
    EXPECT_EQ(prompter.fileDialogs[0].filter, EditorCommands::fileFilter());
    EXPECT_EQ(w->windowTitle(), path);
    EXPECT_EQ(w->bodyText(), QStringLiteral("犬の話\r\nsecond line\r\n"));
    EXPECT_TRUE(::Editor::Modified);
    EXPECT_TRUE(prompter.messages.empty());

    editor()->textCursor().insertText(QStringLiteral("追記 "));
    press("Save");
    EXPECT_TRUE(prompter.fileDialogs[1].save);
    EXPECT_EQ(prompter.fileDialogs[1].title, QStringLiteral("ファイルを開く"));
    EXPECT_EQ(folder.read(QStringLiteral("letter.txt")),
              QByteArray("\x92\xC7\x8B\x4C \x8C\xA2\x82\xCC\x98\x62\r\nsecond line\r\n"));
    EXPECT_TRUE(::Editor::Modified); // saving under a chosen name is not saving the document
    EXPECT_TRUE(::Editor::CurrentDocPath.isEmpty());

    // Cancel in either dialog changes nothing.
    press("msave");
    press("Open");
    EXPECT_EQ(w->windowTitle(), path);
    EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(EditorWindow, LongFileKeepsItsLinesThroughSearchCopyAndSave)
{
    // Enough lines for the editor to take them in paragraphs of many lines.
    QByteArray bytes;
    for (int n = 1; n <= 9000; ++n)
        bytes += "line " + QByteArray::number(n) + (n % 1000 == 0 ? " \x8C\xA2" : "") + "\r\n";
    folder.write(QStringLiteral("long.txt"), bytes);
    prompter.fileNames = {folder.file(QStringLiteral("long.txt")), folder.file(QStringLiteral("copy.txt"))};
    TyakuForm *w = window();
    press("Open");
    const QString text = Cp932::toUnicode(bytes).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    EXPECT_EQ(editor()->toPlainText(), text);

    w->Text1->setText(QStringLiteral("犬"));
    press("Search");
    int hits = 1;
    while (w->editor()->FoundAt() > 0 && hits < 20) {
        press("mtugikensaku");
        hits += w->editor()->FoundAt() > 0;
    }
    EXPECT_EQ(hits, 9);
    w->Text1->setText(QStringLiteral("line 8999"));
    press("Search");
    EXPECT_EQ(editor()->textCursor().selectedText(), QStringLiteral("line 8999"));
    EXPECT_EQ(selectionStart(), text.indexOf(QStringLiteral("line 8999")));

    // A selection over line ends is copied with line ends.
    select(text.indexOf(QStringLiteral("line 2\n")), 14);
    press("Copy");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("line 2\nline 3\n"));

    press("Save");
    EXPECT_EQ(folder.read(QStringLiteral("copy.txt")), bytes);
}

TEST_F(EditorWindow, FilesThatCannotBeReadOrWrittenAreReported)
{
    TyakuForm *w = window();
    w->setBodyText(QStringLiteral("mail body"));
    folder.write(QStringLiteral("latin1.txt"), "caf\xE9\n\xFF");
    folder.write(QStringLiteral("ro.txt"), "keep");
    QFile::setPermissions(folder.file(QStringLiteral("ro.txt")), QFileDevice::ReadOwner | QFileDevice::ReadUser);
    prompter.fileNames = {folder.file(QStringLiteral("missing.txt")), folder.file(QStringLiteral("ro.txt")),
                          folder.file(QStringLiteral("latin1.txt"))};

    press("Open");
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].icon, Prompter::Icon::Exclamation);
    EXPECT_EQ(w->bodyText(), QStringLiteral("mail body")); // the editor keeps its text

    press("Save");
    ASSERT_EQ(prompter.messages.size(), 2u);
    EXPECT_EQ(folder.read(QStringLiteral("ro.txt")), QByteArray("keep"));
    EXPECT_NE(w->windowTitle(), folder.file(QStringLiteral("ro.txt")));

    press("Open"); // not code page 932: shown, with a warning
    ASSERT_EQ(prompter.messages.size(), 3u);
    EXPECT_TRUE(prompter.messages[2].text.contains(QStringLiteral("〓")));
    EXPECT_EQ(w->windowTitle(), folder.file(QStringLiteral("latin1.txt")));
}

TEST_F(EditorWindow, NewDocumentNeverEmptiesAnExistingFile)
{
    folder.write(QStringLiteral("新規作成.TXT"), "the user's notes");
    TyakuForm *w = window();
    w->setBodyText(QStringLiteral("typed"));
    press("mnew");
    EXPECT_TRUE(editor()->toPlainText().isEmpty());
    EXPECT_EQ(::Editor::CurrentDocPath, QStringLiteral("新規作成.TXT"));
    EXPECT_EQ(w->windowTitle(), QStringLiteral("新規作成.TXT      新規作成.TXT"));
    EXPECT_FALSE(::Editor::Modified);
    EXPECT_EQ(folder.read(QStringLiteral("新規作成.TXT")), QByteArray("the user's notes"));

    // Once per run: the next one does nothing.
    w->setBodyText(QStringLiteral("more"));
    press("New");
    EXPECT_EQ(editor()->toPlainText(), QStringLiteral("more"));

    // Without such a file, an empty one is made in the program folder.
    ::Editor::CurrentDocPath.clear();
    QFile::remove(folder.file(QStringLiteral("新規作成.TXT")));
    press("New");
    EXPECT_TRUE(QFile::exists(folder.file(QStringLiteral("新規作成.TXT"))));
    EXPECT_TRUE(folder.read(QStringLiteral("新規作成.TXT")).isEmpty());
}

TEST_F(EditorWindow, DocumentLoadWhenTheWindowIsCreated)
{
    // The run's first window has no document: no box.
    window();
    EXPECT_TRUE(prompter.messages.empty());
    Forms::destroyAll();

    // A document that is there is shown, and counts as unchanged.
    folder.write(QStringLiteral("新規作成.TXT"), "saved\r\ntext");
    ::Editor::CurrentDocPath = QStringLiteral("新規作成.TXT");
    ::Editor::Modified = true;
    EXPECT_EQ(editor()->toPlainText(), QStringLiteral("saved\ntext"));
    EXPECT_FALSE(::Editor::Modified);
    Forms::destroyAll();

    // A document that is gone: OK tries again (and finds it this time), Cancel goes on.
    QFile::remove(folder.file(QStringLiteral("新規作成.TXT")));
    prompter.answers = {Prompter::Ok, Prompter::Cancel};
    prompter.onMessage = [&](const ScriptedPrompter::Message &) {
        if (prompter.messages.size() == 2)
            folder.write(QStringLiteral("新規作成.TXT"), "back");
    };
    editor();
    ASSERT_EQ(prompter.messages.size(), 2u);
    EXPECT_TRUE(prompter.messages[0].text.isEmpty());
    EXPECT_EQ(prompter.messages[0].title, QStringLiteral("Wanderpup  Form_LoadError"));
    EXPECT_EQ(prompter.messages[0].buttons, Prompter::Buttons::OkCancel);
    EXPECT_EQ(prompter.messages[0].icon, Prompter::Icon::Exclamation);
    EXPECT_TRUE(editor()->toPlainText().isEmpty()); // Cancel: the window goes on without it
    EXPECT_TRUE(editor()->isVisibleTo(window()));
}

TEST_F(EditorWindow, ClosingWritesTheUserSettings)
{
    const QString app = QStringLiteral("lumenpad");
    UserSettings::SaveSetting(app, QStringLiteral("HIST"), QStringLiteral("1"), QStringLiteral("old"));
    UserSettings::SaveSetting(app, QStringLiteral("OKINI"), QStringLiteral("0"), QStringLiteral("old"));
    UserSettings::SaveSetting(app, QStringLiteral("FLAG"), QStringLiteral("AUTOSAVE"), QStringLiteral("1"));
    window()->show();
    window()->close();
    const QString none = QStringLiteral("none");
    EXPECT_EQ(UserSettings::GetSetting(app, QStringLiteral("HIST"), QStringLiteral("0"), none), none);
    EXPECT_EQ(UserSettings::GetSetting(app, QStringLiteral("HIST"), QStringLiteral("1"), none), none);
    EXPECT_EQ(UserSettings::GetSetting(app, QStringLiteral("OKINI"), QStringLiteral("0"), none), none);
    EXPECT_EQ(UserSettings::GetSetting(app, QStringLiteral("FLAG"), QStringLiteral("AUTOSAVE"), none), QString());
}

TEST_F(EditorWindow, EndShowsTheMainWindowInThisWindowsPlace)
{
    TyakuForm *w = window();
    w->OpenHistory(1);
    w->move(140, 90);
    press("mend");
    EXPECT_FALSE(w->isVisible());
    EXPECT_TRUE(Forms::mainForm()->isVisible());
    EXPECT_EQ(Forms::mainForm()->pos(), w->pos());
    EXPECT_EQ(Forms::existingTyakuForm(), w); // hidden, not closed
}

// The text of a PDF, as a reader of the paper would see it.
QString pdfText(const QString &pdf)
{
    QProcess process;
    process.start(QStringLiteral("pdftotext"),
                  {QStringLiteral("-enc"), QStringLiteral("UTF-8"), pdf, QStringLiteral("-")});
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return QStringLiteral("(pdftotext failed: %1)").arg(QString::fromLocal8Bit(process.readAllStandardError()));
    return QString::fromUtf8(process.readAllStandardOutput());
}

TEST_F(EditorWindow, PrintsToThePrinterChosenInTheDialog)
{
    const QString pdf = folder.file(QStringLiteral("printed.pdf"));
    int copies = 2;
    prompter.onPrintDialog = [&](QPrinter &printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        printer.setCopyCount(copies);
        return true;
    };
    TyakuForm *w = window();
    const QString letter = QStringLiteral("拝啓、ワンダーパップの犬たちは元気です。①〜⑩\nSecond line, 表示とソフト。");
    w->setBodyText(letter);

    press("mprint"); // the menu's item prints nothing
    EXPECT_TRUE(prompter.printDialogs.empty());

    press("Print");
    ASSERT_EQ(prompter.printDialogs, std::vector<bool>{false});
    const QString printed = pdfText(pdf);
    EXPECT_EQ(printed.count(QStringLiteral("拝啓、ワンダーパップの犬たちは元気です。①〜⑩")), 2)
        << printed.toStdString();
    EXPECT_EQ(printed.count(QStringLiteral("Second line, 表示とソフト。")), 2);
    EXPECT_EQ(printed.count(u'\f'), 2); // each copy on a page of its own

    // With a selection the dialog starts on it and only the selection is printed.
    copies = 1;
    select(3, 7);
    press("Print");
    ASSERT_EQ(prompter.printDialogs.size(), 2u);
    EXPECT_TRUE(prompter.printDialogs[1]);
    EXPECT_EQ(pdfText(pdf).trimmed(), QStringLiteral("ワンダーパップ"));

    // Cancel prints nothing.
    QFile::remove(pdf);
    prompter.onPrintDialog = nullptr;
    press("Print");
    EXPECT_FALSE(QFile::exists(pdf));
    EXPECT_TRUE(prompter.messages.empty());

    // A printer that cannot start is reported.
    prompter.onPrintDialog = [&](QPrinter &printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(folder.file(QStringLiteral("no such folder/printed.pdf")));
        return true;
    };
    press("Print");
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].icon, Prompter::Icon::Exclamation);
}

} // namespace
