#pragma once

#include <QFont>
#include <QIcon>
#include <QObject>
#include <QPair>
#include <QString>

class QPrinter;
class QPlainTextEdit;
class TyakuForm;

// The history window's editor as a small text editor: the commands of its two menus and its
// toolbar, the search in the toolbar's box, the document load when the window is created and the
// closing step. The program-wide state lives in TextDocument.h.
class EditorCommands : public QObject
{
    Q_OBJECT
public:
    explicit EditorCommands(TyakuForm *window);

    // The command of a menu item (by its name) or a toolbar button (by its key). A key without a
    // command ("mprint") does nothing.
    void run(const QString &key);

    void NewDocument();
    void OpenTextFile();
    void SaveTextFileAs();
    void PrintText();
    void FindFirst();
    void FindNext();
    void Cut();
    void Copy();
    void Paste();
    void SelectAll();
    void CaretToStart();
    void CaretToEnd();
    void ToggleBold();
    void ToggleItalic();
    void ToggleUnderline();

    // Run when the window is created, and when it is being closed.
    void documentLoadStep();
    void closingStep();

    // The 1-based position of the last search hit, 0 after a miss.
    qsizetype FoundAt() const { return m_foundAt; }

    // The image of a toolbar button: the desktop's icon theme where it has one, else our own.
    static QIcon toolbarIcon(const QString &key);
    // The file dialogs' filter, in the form the dialogs take.
    static QString fileFilter();

    // Prints `text` in `font` (name, size, bold and italic), `copies` times, each copy starting on
    // a new page. False when the printer could not be started.
    static bool printPlainText(QPrinter &printer, const QString &text, const QFont &font, int copies);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void fitSearchCaption();
    const QString &editorText();
    void showHit(qsizetype length);
    void showPendingHit();
    void find(qsizetype start);
    void restyle(void (QFont::*set)(bool), qint16 &counter);

    TyakuForm *m_window;
    QPlainTextEdit *m_editor;
    qsizetype m_foundAt = 0;
    // The editor's plain text, kept between searches until the text changes.
    QString m_text;
    bool m_textValid = false;
    bool m_restyling = false;
    // The last hit (0-based start, length) until the editor shows it.
    QPair<qsizetype, qsizetype> m_pendingHit;
    bool m_hitQueued = false;
};
