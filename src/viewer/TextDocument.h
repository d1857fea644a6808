#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// The history window's editor as a small text editor: its state for the whole run, its search
// rule and its text files. Nothing here needs a display.
namespace Editor {

// The document that "新規作成" made; empty until then. A relative path lives in the program folder.
extern QString CurrentDocPath;
// Set by every change of the editor's text, cleared when the document is saved or loaded.
extern bool Modified;
// Clicks on the bold, italic and underline buttons: odd turns the style on, even turns it off.
extern qint16 BoldToggles, ItalicToggles, UnderlineToggles;

// The name "新規作成" gives a document.
inline const QString &newDocumentName()
{
    static const QString name = QStringLiteral("新規作成.TXT");
    return name;
}

// The 1-based position of `what` in `text` from the 1-based position `start` on, 0 when it is
// not there. Characters are compared exactly (case and width count). An empty `what` is found at
// `start` in a text that reaches it.
qsizetype findText(const QString &text, const QString &what, qsizetype start = 1);

// Where the next search begins after a hit at `foundAt` (0 for a miss): just past the hit, so
// hits do not overlap. Never below 1.
qsizetype nextSearchStart(qsizetype foundAt, qsizetype whatLength);

// The file path of a document name: absolute as given, relative in the program folder (letter
// case of existing names ignored).
QString resolveDocumentPath(const QString &path);

// The folder part of `path` up to and including its last separator, then `name`.
QString siblingPath(const QString &path, const QString &name);

// The outcome of reading or writing a text file; `error` is a sentence for the user.
struct FileResult
{
    bool ok = false;
    QString error;
};

struct TextFile : FileResult
{
    QString text;
    bool unreadableBytes = false; // some bytes were not code page 932 and show as U+FFFD
};

// Files beyond this size are not read into the editor.
constexpr qint64 MaxFileSize = 64 * 1024 * 1024;

// Texts here are the editor's: a line end is one LF, and the file holds it as CR LF.

// The file decoded from code page 932 as it is (the document load); line ends as in the file.
TextFile readPlainText(const QString &path);

// The file decoded from code page 932, line by line: a line ends at CR, CR LF or LF, and every
// line, the last one too, is followed by a line end.
TextFile readTextLines(const QString &path);
QString textLines(QString decoded);

// An editor's cost is per paragraph: a text of many thousand lines loads in a fraction of the time
// when most of its line ends are line separators (U+2028), which read back as LF. Positions do not
// change. Texts of fewer lines are left as they are.
constexpr int LinesPerParagraph = 64;
constexpr int GroupLinesFrom = 8192;
QString groupLines(QString text);

// The editor's text in code page 932 with CR LF line ends.
QByteArray fileBytes(const QString &text);
// The same for "名前を付けて保存": it ends in CR LF unless the text is empty or ends in a line end
// already, so opening and saving a file again leaves it as it was.
QByteArray savedTextBytes(const QString &text);

// Replaces the file's contents with `bytes`, all or nothing: a failure (read-only file, missing
// folder, full disk) leaves the file as it was.
FileResult writeFileAtomically(const QString &path, const QByteArray &bytes);

// Writes the editor's text to CurrentDocPath and clears Modified. Any failure (an empty path
// too) is silent and leaves Modified as it was.
bool SaveCurrentDocument(const QString &text);

} // namespace Editor
