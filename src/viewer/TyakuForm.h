#pragma once

#include <QRectF>
#include <QString>
#include <QWidget>

class EditorCommands;
class HoverHelp;
class MailListModel;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPlainTextEdit;
class QPushButton;
class QToolBar;
class QTreeView;

// Which history the history window shows: 1 received, 2 sent, 0 before either was opened.
// Kept for the whole run, also while the window does not exist.
extern qint16 HistoryMode;

// The history window: lists the received or the sent history and shows one mail. The mail check
// also uses its list and boxes while it stores new mail, whether the window is shown or not.
class TyakuForm : public QWidget
{
    Q_OBJECT
public:
    explicit TyakuForm(QWidget *parent = nullptr);
    ~TyakuForm() override;

    // mode 1: received history, 2: sent history.
    void OpenHistory(int mode);
    // A click on the list: shows the selected mail in the boxes and the editor.
    void ShowSelectedMail();

    // The editor's text with CR LF line ends (as records store it), and the reverse.
    QString bodyText() const;
    void setBodyText(const QString &text);
    // Puts the editor's text on the clipboard, reads it back, and shows it cut at its first NUL
    // and without surrounding spaces.
    void passBodyThroughClipboard();

    // For the mail check: the list as a staging area of the mails it stored. The window then shows
    // the received history, whichever it showed before.
    void clearList();
    void addStoredRow(const QString &subject, const QString &address, const QString &date,
                      qint16 history, int record);
    // For the history operations: where the selected row's mail lives; 0 when no row is selected.
    int selectedRecordNumber() const;
    qint16 selectedHistory() const;
    int rowCount() const;

    // The history file of a mode (1 or 2); empty for any other mode.
    static QString historyFile(int mode);

    // The operations on the shown history (HistoryOperations.cpp).
    void deleteSelectedMail(); // "１件削除"
    void deleteAllMails();     // "全件削除"
    void registerSender();     // "アドレス帳登録"
    // Refills the list from the file of HistoryMode after a deletion; the boxes, the editor and
    // the clipboard end with the last record.
    void RebuildList();
    // Whether a command may act on the selected mail: the selection marker is set and a row of
    // the list is selected. Otherwise says "データが選択されていません" and empties the marker.
    bool checkSelection();

    // Where the controls go for an outer window size of w × h twips (all values in twips).
    struct Layout
    {
        QRectF list, text7, text8, text9, editor, strip;
    };
    static Layout layoutFor(double w, double h, double editorLeft = 20);

    // Controls, named as the program's other windows know them.
    QMenuBar *menuBar;
    QMenu *mFile, *medit;
    QWidget *Picture1;
    QToolBar *tbToolBar;
    QLabel *Label2;
    QLineEdit *Text1;
    QPushButton *Command1, *Command2, *Command3, *Command4, *Command5;
    QLabel *Label1;
    QLineEdit *Text2;
    QTreeView *MailListView;
    MailListModel *mailList;
    QLineEdit *Text7, *Text8, *Text9;
    // Plain text only: it lays out just the lines on view, so a file of megabytes scrolls at once.
    QPlainTextEdit *rtfEd;
    QPlainTextEdit *Text4;
    QLineEdit *Text5;

    // The area below the menu bar in which the controls are placed.
    QWidget *client() const { return m_client; }
    // The editor's menu and toolbar commands.
    EditorCommands *editor() const { return m_editor; }

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildMenus();
    void buildToolBar();
    QPushButton *addButton(const char *name, const QString &caption, int left);
    void applyLayout();
    void showMail(qint16 history, int record);
    // The list now holds mails of `history`: the commands and the refilling follow it.
    void followHistory(qint16 history);
    void connectHistoryOperations();
    // "返事を出す": the selected received mail into the reply window.
    void replyCommand();

    // Hooks of the editor functions: the document load at creation, the closing step, and the
    // menu and toolbar commands (keyed by the item's name).
    void documentLoadStep();
    void closingStep();
    void editorCommand(const QString &key);

    QWidget *m_client;
    HoverHelp *m_help;
    // The row whose click set the selection marker: the mail the commands may act on.
    qint16 m_markedHistory = 0;
    int m_markedRecord = 0;
    EditorCommands *m_editor = nullptr;
};
