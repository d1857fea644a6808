#include "TyakuForm.h"

#include "EditorCommands.h"
#include "MailListModel.h"
#include "app/Forms.h"
#include "characters/DogCommands.h"
#include "kit/BackgroundWork.h"
#include "kit/HoverHelp.h"
#include "kit/Twips.h"
#include "kit/WindowKit.h"
#include "platform/Fonts.h"
#include "platform/ProgramFolder.h"
#include "platform/Prompter.h"
#include "platform/TextRules.h"
#include "send/BackForm.h"
#include "send/ReplyThread.h"
#include "store/HistoryFile.h"
#include "viewer/FullText.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolBar>
#include <QTreeView>

qint16 HistoryMode = 0;

namespace {

// The client area at creation, and the list's design size, in twips.
constexpr double kClientWidth = 9285, kClientHeight = 7050;
constexpr double kListWidth = 10515, kListHeight = 3495;
constexpr double kListTop = 1080;
constexpr double kStripHeight = 540;
constexpr double kDetailHeight = 285;
constexpr double kEditorLeft = 20;

} // namespace

TyakuForm::TyakuForm(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("TyakuForm"));
    setWindowFlag(Qt::Window);

    const TwipsScale scale = TwipsScale::onScreen();
    menuBar = Kit::named(new QMenuBar(this), "menuBar");
    m_client = Kit::named(new QWidget(this), "client");

    Picture1 = Kit::placeInTwips(new QWidget(m_client), "Picture1", {0, 0, kClientWidth, kStripHeight});
    tbToolBar = Kit::named(new QToolBar(Picture1), "tbToolBar");
    tbToolBar->setIconSize(QSize(16, 16));
    buildMenus();
    buildToolBar();

    const QString help1 = QStringLiteral("メールを１件ずつ削除します。リストでメールを選択（クリック）してから実行して下さい。");
    const QString help3 = QStringLiteral("メールアドレスをアドレス帳に登録します。リストからメールを選択（クリック）してから実行して下さい。");
    const QString help4 = QStringLiteral("受信したメールに返事を出します。リストからメールを選択（クリック）してから実行して下さい。");
    const QString help5 = QStringLiteral("受信したメール全件削除します。");
    const QString help2 = QStringLiteral("文書の編集他、愛犬がちょっと邪魔という時にどうぞ。");
    Command1 = addButton("Command1", QStringLiteral("１件削除"), 120);
    Command3 = addButton("Command3", QStringLiteral("アドレス帳登録"), 1560);
    Command4 = addButton("Command4", QStringLiteral("返事を出す"), 3000);
    Command5 = addButton("Command5", QStringLiteral("全件削除"), 4440);
    Command2 = addButton("Command2", QStringLiteral("犬格納"), 5880);
    Command2->setStyleSheet(QStringLiteral("background-color: rgb(192, 192, 192);"));
    connect(Command2, &QPushButton::clicked, this, [] { DogCommands::ClearDogSelection(); });
    connectHistoryOperations();
    connect(Command4, &QPushButton::clicked, this, &TyakuForm::replyCommand);

    Label1 = Kit::placeInTwips(new QLabel(QStringLiteral("件数"), m_client), "Label1", {7560, 720, 480, 255});
    Text2 = Kit::placeInTwips(new QLineEdit(m_client), "Text2", {8040, 660, 495, 270});
    Kit::captionFor(Text2, Label1);

    mailList = new MailListModel(this);
    MailListView = Kit::named(new QTreeView(m_client), "MailListView");
    MailListView->setModel(mailList);
    MailListView->setRootIsDecorated(false);
    MailListView->setItemsExpandable(false);
    MailListView->setUniformRowHeights(true);
    MailListView->setAllColumnsShowFocus(true);
    MailListView->setSelectionBehavior(QAbstractItemView::SelectRows);
    MailListView->setSelectionMode(QAbstractItemView::SingleSelection);
    MailListView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    MailListView->setTextElideMode(Qt::ElideNone);
    MailListView->setGeometry(scale.toPixels(QRectF(0, kListTop, kListWidth, kListHeight)));
    MailListView->viewport()->installEventFilter(this);
    MailListView->setAccessibleName(QStringLiteral("メール一覧"));

    const QFont detailFont = Fonts::proportionalGothic(9.75);
    Text7 = Kit::named(new QLineEdit(m_client), "Text7");
    Text8 = Kit::named(new QLineEdit(m_client), "Text8");
    Text9 = Kit::named(new QLineEdit(m_client), "Text9");
    for (QLineEdit *box : {Text7, Text8, Text9}) {
        box->setFont(detailFont);
        box->setMaxLength(32767);
        Kit::showFromStart(box);
    }
    // Named as the list's columns that hold the same values.
    Text7->setAccessibleName(QStringLiteral("Subject"));
    Text8->setAccessibleName(QStringLiteral("From"));
    Text9->setAccessibleName(QStringLiteral("Date"));

    rtfEd = Kit::named(new QPlainTextEdit(m_client), "rtfEd");
    rtfEd->setFont(Fonts::gothic(11.25));
    rtfEd->setAccessibleName(QStringLiteral("本文"));

    Text4 = Kit::placeInTwips(new QPlainTextEdit(m_client), "Text4", {1800, 5400, 5535, 1215});
    Text4->setReadOnly(true);
    Text4->setAccessibleName(QStringLiteral("説明"));
    Text4->hide();

    // The buttons explain themselves in the help box; the editor hides it, the bare client area
    // hides and empties it.
    m_help = new HoverHelp(Text4);
    m_help->showOver(Command1, help1);
    m_help->showOver(Command3, help3);
    m_help->showOver(Command4, help4);
    m_help->showOver(Command5, help5);
    m_help->showOver(Command2, help2);
    m_help->turnOffOver(rtfEd, HoverHelp::Off::Hide);
    m_help->turnOffOverBackground(m_client, HoverHelp::Off::HideAndEmpty);

    // The selection marker is a box the user never sees; the keyboard passes it by.
    Text5 = Kit::placeInTwips(new QLineEdit(m_client), "Text5", {-6000, -6000, 1200, 270});
    Text5->setFocusPolicy(Qt::NoFocus);
    Text5->hide();

    // The client area's size at creation; the menu bar comes on top of it.
    const int menuHeight = menuBar->sizeHint().height();
    resize(scale.toPixelsX(kClientWidth), scale.toPixelsY(kClientHeight) + menuHeight);
    menuBar->setGeometry(0, 0, width(), menuHeight);
    m_client->setGeometry(0, menuHeight, width(), height() - menuHeight);

    // Creation steps: the first sizes, then the columns from the list's width now, fitted into
    // what the list shows beside a vertical scroll bar so that none is cut from the start.
    const double outerWidth = scale.toTwipsX(frameGeometry().width());
    rtfEd->setGeometry(scale.toPixels(QRectF(kEditorLeft, 3900, 0.98 * outerWidth, 2900)));
    MailListView->resize(scale.toPixelsX(0.99 * outerWidth), MailListView->height());
    const int shown = MailListView->width() - 2 * MailListView->frameWidth()
                      - MailListView->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, MailListView);
    MailListView->header()->setStretchLastSection(false);
    MailListView->header()->setSectionResizeMode(QHeaderView::Interactive);
    MailListView->setColumnWidth(0, shown / 2);
    MailListView->setColumnWidth(1, shown / 4);
    MailListView->setColumnWidth(2, shown - shown / 2 - shown / 4);
    // Smaller, the buttons and the count box would be cut off and the editor pushed out.
    setMinimumSize(m_client->mapTo(this, Text2->geometry().bottomRight()).x() + 8, height());
    Text4->raise();
    m_editor = new EditorCommands(this);
    documentLoadStep();
}

TyakuForm::~TyakuForm()
{
    // The editor commands watch the toolbar, which outlives this part of the window.
    delete m_editor;
}

void TyakuForm::buildMenus()
{
    struct Item
    {
        const char *name;
        QString caption;
    };
    const auto fill = [this](QMenu *menu, std::initializer_list<Item> items) {
        for (const Item &item : items) {
            if (item.caption == QStringLiteral("-")) {
                menu->addSeparator()->setObjectName(QString::fromLatin1(item.name));
                continue;
            }
            QAction *action = menu->addAction(item.caption);
            action->setObjectName(QString::fromLatin1(item.name));
            const QString key = action->objectName();
            connect(action, &QAction::triggered, this, [this, key] { editorCommand(key); });
        }
    };
    mFile = Kit::named(menuBar->addMenu(QStringLiteral("ファイル(&F)")), "mFile");
    fill(mFile, {{"mnew", QStringLiteral("新規作成")},
                 {"mopen", QStringLiteral("開く")},
                 {"msave", QStringLiteral("名前を付けて保存")},
                 {"mprint", QStringLiteral("印刷")},
                 {"mline", QStringLiteral("-")},
                 {"mend", QStringLiteral("終了")}});
    medit = Kit::named(menuBar->addMenu(QStringLiteral("編集(&E)")), "medit");
    fill(medit, {{"mall", QStringLiteral("全て選択")},
                 {"matamajump", QStringLiteral("文頭へジャンプ")},
                 {"mbunmatujump", QStringLiteral("文末へジャンプ")},
                 {"mline3", QStringLiteral("-")},
                 {"mkensaku", QStringLiteral("検索")},
                 {"mtugikensaku", QStringLiteral("次を検索")},
                 {"mline2", QStringLiteral("-")},
                 {"mcut", QStringLiteral("切り取り")},
                 {"mcopy", QStringLiteral("コピー")},
                 {"mpaste", QStringLiteral("貼り付け")}});
}

void TyakuForm::buildToolBar()
{
    struct Button
    {
        const char *key;
        QString tip;
    };
    const Button buttons[] = {
        {"New", QStringLiteral("新規作成")},  {"Open", QStringLiteral("開く")},
        {"Save", QStringLiteral("名前を付けて保存")}, {"Print", QStringLiteral("印刷")},
        {"Cut", QStringLiteral("切り取り")},  {"Copy", QStringLiteral("ｺﾋﾟｰ")},
        {"Paste", QStringLiteral("貼り付け")}, {"Bold", QStringLiteral("太字")},
        {"Italic", QStringLiteral("斜体")},   {"Underline", QStringLiteral("下線")},
        {"Search", QStringLiteral("検索")},
    };
    for (const Button &button : buttons) {
        const QString key = QString::fromLatin1(button.key);
        QAction *action = tbToolBar->addAction(EditorCommands::toolbarIcon(key), button.tip);
        action->setObjectName(key);
        action->setToolTip(button.tip);
        connect(action, &QAction::triggered, this, [this, key] { editorCommand(key); });
    }
    Label2 = Kit::named(
        new QLabel(QStringLiteral("検索文字（検索文字を右の欄に入力後、検索ボタン、または編集→検索）"), tbToolBar),
        "Label2");
    tbToolBar->addWidget(Label2);
    Text1 = Kit::named(new QLineEdit(tbToolBar), "Text1");
    Text1->setFont(Fonts::proportionalGothic(12));
    Text1->setAccessibleName(QStringLiteral("検索文字"));
    Text1->setFixedWidth(TwipsScale::onScreen().toPixelsX(1500));
    tbToolBar->addWidget(Text1);
    tbToolBar->setGeometry(0, 0, Picture1->width(), Picture1->height());
}

QPushButton *TyakuForm::addButton(const char *name, const QString &caption, int left)
{
    return Kit::placeInTwips(new QPushButton(caption, m_client), name, {double(left), 600, 1335, 375});
}

void TyakuForm::documentLoadStep()
{
    m_editor->documentLoadStep();
}

void TyakuForm::closingStep()
{
    m_editor->closingStep();
}

void TyakuForm::editorCommand(const QString &key)
{
    m_editor->run(key);
}

QString TyakuForm::historyFile(int mode)
{
    if (mode == 1)
        return ProgramFolder::receivedHistory();
    if (mode == 2)
        return ProgramFolder::sentHistory();
    return QString();
}

QString TyakuForm::bodyText() const
{
    QString text = rtfEd->toPlainText();
    text.replace(u'\n', QStringLiteral("\r\n"));
    return text;
}

void TyakuForm::setBodyText(const QString &text)
{
    QString plain = text;
    plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    plain.replace(u'\r', u'\n');
    rtfEd->setPlainText(plain);
}

void TyakuForm::passBodyThroughClipboard()
{
    const QString text = rtfEd->toPlainText();
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(text);
    // What comes back is what we put there; reading it back only makes the clipboard's rules
    // (text ends at a NUL) apply, so apply them here and keep the editor independent of
    // whatever else may own the clipboard a moment later.
    const QString shown = TextRules::trimSpaces(TextRules::CutAtNul(text));
    if (shown != text)
        rtfEd->setPlainText(shown);
}

void TyakuForm::OpenHistory(int mode)
{
    // An automatic check is adding its mails to the list and the history: they come first.
    BackgroundWork::waitUntilDone();
    HistoryMode = qint16(mode);
    if (mode == 2)
        setWindowTitle(QStringLiteral("送信履歴"));
    else if (mode == 1)
        setWindowTitle(QStringLiteral("着信履歴"));
    show();
    raise();
    activateWindow();

    mailList->clear();
    Text9->clear();
    Text8->clear();
    Text7->clear();
    rtfEd->clear();

    // The list reads the headings it shows; the last record is read whole for the boxes.
    const QString file = historyFile(mode);
    const int count = file.isEmpty() ? 0 : qMin(History::RecordCount(file), History::MaxRecords);
    mailList->showFile(file, qint16(mode), count);
    if (count > 0)
        showMail(qint16(mode), count);
    Text2->setText(QString::number(count));
}

void TyakuForm::showMail(qint16 history, int record)
{
    const std::optional<HistoryRecord> mail = History::ReadRecord(historyFile(history), record);
    if (!mail)
        return;
    const FullText::Shown shown = FullText::shown(history, record, *mail);
    Text7->setText(shown.subject);
    Text8->setText(shown.address);
    Text9->setText(shown.date);
    setBodyText(shown.body);
    passBodyThroughClipboard();
}

void TyakuForm::ShowSelectedMail()
{
    if (TextRules::leadingNumber(Text2->text()) == 0) {
        MsgBox(QStringLiteral("選択するデータがありません"));
        return;
    }
    if (HistoryMode != 1 && HistoryMode != 2)
        return;
    const QModelIndexList selected = MailListView->selectionModel()->selectedRows();
    if (selected.isEmpty())
        return; // a click beside the rows selects nothing
    // A row knows its record: after a mail check the list holds only that check's mails, which
    // are not the file's first records.
    const int position = selected.first().row();
    const qint16 history = mailList->history(position);
    const int record = mailList->record(position);
    const std::optional<HistoryRecord> mail = History::ReadRecord(historyFile(history), record);
    if (!mail)
        return;
    const FullText::Shown shown = FullText::shown(history, record, *mail);
    Text7->setText(shown.subject);
    Text8->setText(shown.address);
    Text9->setText(shown.date);
    Text5->setText(TextRules::trimSpaces(mail->Address()));
    m_markedHistory = history;
    m_markedRecord = record;
    setBodyText(shown.body);
    passBodyThroughClipboard();
}

void TyakuForm::followHistory(qint16 history)
{
    if (HistoryMode == history)
        return;
    // A caption the editor gave (the file opened in it) stays.
    const QString caption = windowTitle();
    HistoryMode = history;
    if (caption == QStringLiteral("送信履歴") || caption == QStringLiteral("着信履歴"))
        setWindowTitle(history == 2 ? QStringLiteral("送信履歴") : QStringLiteral("着信履歴"));
}

void TyakuForm::clearList()
{
    // The count box keeps telling how many rows the list has.
    mailList->clear();
    Text2->setText(QStringLiteral("0"));
    followHistory(1);
}

void TyakuForm::addStoredRow(const QString &subject, const QString &address, const QString &date,
                             qint16 history, int record)
{
    followHistory(history);
    mailList->appendRow(subject, address, date, history, record);
    Text2->setText(QString::number(mailList->rowCount()));
}

int TyakuForm::rowCount() const
{
    return mailList->rowCount();
}

int TyakuForm::selectedRecordNumber() const
{
    const QModelIndexList selected = MailListView->selectionModel()->selectedRows();
    return selected.isEmpty() ? 0 : mailList->record(selected.first().row());
}

qint16 TyakuForm::selectedHistory() const
{
    const QModelIndexList selected = MailListView->selectionModel()->selectedRows();
    return selected.isEmpty() ? 0 : mailList->history(selected.first().row());
}

void TyakuForm::replyCommand()
{
    if (HistoryMode == 2) {
        MsgBox(QStringLiteral("自分宛となっています。"));
        return;
    }
    if (HistoryMode != 1)
        return;
    if (!checkSelection())
        return;
    const int record = selectedRecordNumber();
    Text5->clear();
    const std::optional<HistoryRecord> mail = History::ReadRecord(historyFile(selectedHistory()), record);
    BackForm *reply = Forms::backForm();
    reply->SubjectText->setText(QStringLiteral("Re:  ") + TextRules::trimSpaces(Text7->text()));
    reply->ToText->setText(TextRules::trimSpaces(Text8->text()));
    reply->setBodyText(TextRules::trimSpaces(bodyText()));
    reply->setAnsweredBody(mail ? TextRules::CutAtNul(FullText::shown(selectedHistory(), record, *mail).body)
                                : bodyText());
    reply->setThread(mail ? ReplyThread::of(selectedHistory(), record, *mail) : MimeWriter::Thread());
    reply->show();
    reply->raise();
    reply->activateWindow();
}

TyakuForm::Layout TyakuForm::layoutFor(double w, double h, double editorLeft)
{
    Layout l;
    const double listHeight = 0.35 * h;
    l.list = QRectF(0, kListTop, 0.99 * w, listHeight);
    const double detailTop = listHeight + 1040;
    l.strip = QRectF(0, 0, w, kStripHeight);
    const double editorWidth = 0.99 * w;
    l.editor = QRectF(editorLeft, listHeight + 1400, editorWidth, 0.38 * h);
    l.text7 = QRectF(editorLeft, detailTop, 0.5 * w, kDetailHeight);
    l.text8 = QRectF(0.51 * editorWidth, detailTop, 0.3 * w, kDetailHeight);
    l.text9 = QRectF(0.815 * editorWidth, detailTop, 0.2 * w, kDetailHeight);
    return l;
}

void TyakuForm::applyLayout()
{
    const int menuHeight = menuBar->sizeHint().height();
    menuBar->setGeometry(0, 0, width(), menuHeight);
    m_client->setGeometry(0, menuHeight, width(), height() - menuHeight);

    const TwipsScale scale = TwipsScale::onScreen();
    const QSizeF outer = scale.toTwips(frameGeometry().size());
    const Layout l = layoutFor(outer.width(), outer.height(), kEditorLeft);
    MailListView->setGeometry(scale.toPixels(l.list));
    Text7->setGeometry(scale.toPixels(l.text7));
    Text8->setGeometry(scale.toPixels(l.text8));
    Text9->setGeometry(scale.toPixels(l.text9));
    Picture1->resize(scale.toPixels(l.strip).size());
    tbToolBar->resize(Picture1->size());
    rtfEd->setGeometry(scale.toPixels(l.editor));
}

void TyakuForm::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    applyLayout();
}

void TyakuForm::closeEvent(QCloseEvent *event)
{
    closingStep();
    event->accept();
}

bool TyakuForm::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonRelease && watched == MailListView->viewport()) {
        if (static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
            ShowSelectedMail();
    }
    return QWidget::eventFilter(watched, event);
}
