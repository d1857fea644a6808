#include "WriteForm.h"

#include "AttachmentControls.h"
#include "SendRules.h"
#include "WriteFormParts.h"
#include "addressbook/AddressBookFile.h"
#include "characters/DogCommands.h"
#include "kit/HoverHelp.h"
#include "kit/Twips.h"
#include "kit/WindowKit.h"
#include "platform/Fonts.h"
#include "platform/TextRules.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QWindow>

namespace {

// Where the paste strip starts, in twips of the client area.
constexpr double kStripTop = 7995, kStripHeight = 375;

// The frame and title bar a fixed window gets, until the window manager says what it drew.
const QSize kFrameGuess(6, 28);

QString clipboardText()
{
    return TextRules::CutAtNul(QGuiApplication::clipboard()->text());
}

} // namespace

void WriteFormParts::setBase(QWidget *widget, const QColor &colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Base, colour);
    widget->setPalette(palette);
}

void WriteFormParts::setBackground(QWidget *widget, const QColor &colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

void WriteFormParts::deselect(QRadioButton *option)
{
    if (!option->isChecked())
        return;
    option->setAutoExclusive(false);
    option->setChecked(false);
    option->setAutoExclusive(true);
}

using namespace WriteFormParts;

WriteForm::WriteForm(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("WriteForm"));
    setWindowTitle(QStringLiteral("新規作成"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint
                   | Qt::MSWindowsFixedSizeDialogHint);
    setFont(Fonts::proportionalGothic(9));

    // Made in the order the Tab key visits them.
    buildButtons();
    buildDogChoice();
    buildFields();
    buildAddressPanel();
    buildHelp();

    Timer1 = Kit::named(new QTimer(this), "Timer1");
    Timer1->setInterval(500);
    connect(Timer1, &QTimer::timeout, this, &WriteForm::applyExclusivity);
    Timer1->start();

    load();
    Kit::centreOnScreen(this);
}

WriteForm::~WriteForm() = default;

void WriteForm::buildButtons()
{
    const auto button = [this](const char *name, const QString &caption, double left, double top) {
        return Kit::placeInTwips(new QPushButton(caption, this), name, {left, top, 1455, 375});
    };
    Command1 = button("Command1", QStringLiteral("送信"), 240, 120);
    Command4 = button("Command4", QStringLiteral("アドレス帳"), 1800, 120);
    Command6 = button("Command6", QStringLiteral("元のサイズ"), 3360, 120);
    Command11 = button("Command11", QStringLiteral("クリア"), 4920, 120);
    Command3 = button("Command3", QStringLiteral("送信中止"), 240, 600);
    Command5 = button("Command5", QStringLiteral("本文に貼付"), 1800, 600);
    Command7 = button("Command7", QStringLiteral("宛先に貼付"), 3360, 600);
    Command8 = button("Command8", QStringLiteral("愛犬格納"), 4920, 600);

    connect(Command1, &QPushButton::clicked, this, &WriteForm::sendCommand);
    connect(Command4, &QPushButton::clicked, this, &WriteForm::addressBookCommand);
    connect(Command6, &QPushButton::clicked, this, &WriteForm::originalSizeCommand);
    connect(Command11, &QPushButton::clicked, this, &WriteForm::clearCommand);
    connect(Command3, &QPushButton::clicked, this, &QWidget::close);
    connect(Command5, &QPushButton::clicked, this, &WriteForm::pasteIntoBody);
    connect(Command7, &QPushButton::clicked, this, &WriteForm::pasteIntoTo);
    connect(Command8, &QPushButton::clicked, this, [] { DogCommands::ClearDogSelection(); });
}

void WriteForm::buildFields()
{
    const auto caption = [this](const QString &text, double top) {
        return Kit::placeInTwips(new QLabel(text, this), QString(), {240, top, 1020, 300});
    };

    QLabel *toCaption = caption(QStringLiteral("宛先"), 2760);
    ToText = Kit::placeInTwips(new QPlainTextEdit(this), "ToText", {1320, 2760, 5415, 300});
    ToText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    ToText->setTabChangesFocus(true);
    ToText->document()->setDocumentMargin(1);
    toCaption->setBuddy(ToText);
    ToText->setAccessibleName(toCaption->text());
    connect(ToText, &QPlainTextEdit::textChanged, this, &WriteForm::keepToWithinLimit);

    QLabel *subjectCaption = caption(QStringLiteral("件名"), 3120);
    SubjectText = Kit::placeInTwips(new QLineEdit(this), "SubjectText", {1320, 3120, 5415, 300});
    SubjectText->setMaxLength(32767);
    subjectCaption->setBuddy(SubjectText);
    SubjectText->setAccessibleName(subjectCaption->text());

    QLabel *greetingCaption = caption(QStringLiteral("首記例"), 3480);
    Combo1 = Kit::placeInTwips(new QComboBox(this), "Combo1", {1320, 3480, 5415, 300});
    Combo1->setEditable(true);
    Combo1->setInsertPolicy(QComboBox::NoInsert);
    greetingCaption->setBuddy(Combo1);
    Combo1->setAccessibleName(greetingCaption->text());
    Combo1->installEventFilter(this);

    AttachCommand =
        Kit::placeInTwips(new QPushButton(QStringLiteral("添付File"), this), "AttachCommand", {240, 3840, 855, 300});
    AttachCommand->setStyleSheet(QStringLiteral("background-color: rgb(192, 192, 192);"));
    Command9 = Kit::placeInTwips(new QPushButton(QStringLiteral("追加"), this), "Command9", {1080, 3840, 855, 300});
    Command9->setStyleSheet(QStringLiteral("background-color: rgb(224, 224, 224);"));
    Command10 =
        Kit::placeInTwips(new QPushButton(QStringLiteral("取り消し"), this), "Command10", {1920, 3840, 855, 300});
    Command10->setStyleSheet(QStringLiteral("background-color: rgb(255, 0, 0);"));
    AttachText = Kit::placeInTwips(new QLineEdit(this), "AttachText", {2760, 3840, 3975, 300});
    AttachText->setMaxLength(32767);
    AttachText->setAccessibleName(QStringLiteral("添付ファイル"));
    List2 = Kit::placeInTwips(new QListWidget(this), "List2", {2400, 3840, 3975, 1860});
    List2->setAccessibleName(QStringLiteral("添付ファイル一覧"));
    m_attachments = new AttachmentControls(AttachCommand, Command9, Command10, AttachText, List2);

    // "占い添付", the white box that explains it, and the box to tick.
    QLabel *fortuneCaption =
        Kit::placeInTwips(new QLabel(QStringLiteral("占い添付"), this), "Check1Label", {240, 4155, 900, 255});
    QLabel *fortuneNote =
        Kit::placeInTwips(new QLabel(QStringLiteral("★　親しい人に占いを添付する　★ （一括送信では使用不可）"), this),
                          "Check1Note", {1140, 4155, 5160, 255});
    fortuneNote->setFont(Fonts::proportionalGothic(8.25));
    setBackground(fortuneNote, White);
    Check1 = Kit::placeInTwips(new QCheckBox(this), "Check1", {6360, 4155, 255, 255});
    Check1->setAccessibleName(fortuneCaption->text());
    Check1->setAccessibleDescription(fortuneNote->text());
    linkCaption(fortuneCaption, Check1);
    linkCaption(fortuneNote, Check1);

    BodyText = Kit::placeInTwips(new QPlainTextEdit(this), "BodyText", {240, 4440, 6495, 2775});
    BodyText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    BodyText->setTabChangesFocus(true);
    BodyText->setAccessibleName(QStringLiteral("本文"));
    List2->raise(); // the attachment list lies over the body while shown

    // The status line sits in a sunken strip at the bottom.
    auto *strip = Kit::placeInTwips(new QFrame(this), "Label7Strip", {240, 7200, 6495, 375});
    strip->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Label7 = Kit::named(new QLabel(strip), "Label7");
    Label7->setGeometry(strip->contentsRect().adjusted(4, 0, 0, 0));
    Label7->setAccessibleName(QStringLiteral("状態"));
    Label7->installEventFilter(this);

    // The hidden paste strip below the normal height.
    Command2 = Kit::placeInTwips(new QPushButton(QStringLiteral("貼付け"), this), "Command2",
                                 {720, kStripTop, 795, kStripHeight});
    Text4 = Kit::placeInTwips(new QLineEdit(this), "Text4", {1560, kStripTop, 5175, kStripHeight});
    Text4->setMaxLength(32767);
    Text4->setAccessibleName(QStringLiteral("貼付け"));
    connect(Command2, &QPushButton::clicked, this, [this] { Text4->setText(clipboardText()); });
}

void WriteForm::buildHelp()
{
    Text14 = Kit::placeInTwips(new QPlainTextEdit(this), "Text14", {960, 5160, 5175, 1695});
    Text14->setReadOnly(true);
    Text14->setFocusPolicy(Qt::NoFocus);
    Text14->setAccessibleName(QStringLiteral("ヘルプ"));
    setBase(Text14, QColor(192, 255, 255));
    Text14->raise();

    m_help = new HoverHelp(Text14);
    m_help->showOver(
        Command1, QStringLiteral("送信します。電話回線が接続されていない場合は、自動的に接続してメールを送信します。"));
    m_help->showOver(Command3, QStringLiteral("送信を中止します。"));
    m_help->showOver(
        Command4,
        QStringLiteral("このフォーム（新規作成）が拡張され、登録したメールアドレスの名称が一覧（リスト）に現れます。"
                       "送信したい名称をクリックすると、メールアドレスが自動的に入力されます。"));
    m_help->showOver(Command5, QStringLiteral("本ソフト、他のアプリからのテキスト文書を本文中に貼付けます。"));
    m_help->showOver(Command6, QStringLiteral("アドレス帳を含むサイズから、元のサイズに戻します。"));
    m_help->showOver(Command7, QStringLiteral("コピーして来た内容を宛先に貼付ます。"));
    m_help->showOver(Command8, QStringLiteral("文書編集他、愛犬がちょっと邪魔という時にどうぞ。"));
    m_help->showOver(
        Command9,
        QStringLiteral("添付ファイルを複数送信する際に使用します。確認しやすいように、リストボックスが表示されます。"));
    m_help->showOver(Command11, QStringLiteral("宛先、件名、本文他、設定等が初期状態に戻せます。"));
    m_help->showOver(AttachCommand, QStringLiteral("各種ファイルを添付して送信できます。"));
    m_help->showOver(
        Frame1,
        QStringLiteral(
            "相手があなたのメールを受信した時に表示させるキャラを選定します。キャラはあなたの気分を表します。"
            "５が最高、１が最低（ブルー）です。受信する相手もWanderpupを使用している必要があります"
            "（相手からキャラを送信してもらう必要がなければ、相手はWanderpupでなくてもOKです。"
            "新着メール受信時にキャラがデスクトップに出現します）。設定して送信すると、相手が受信した際、"
            "あなたが設定したキャラがPCのデスクトップ上で動きます。\r\n仲の良い人とのシグナルに使用してみては？"));
    m_help->turnOffOver(BodyText, HoverHelp::Off::Hide);
    m_help->turnOffOverBackground(this, HoverHelp::Off::Hide);
}

void WriteForm::load()
{
    // 1. No dog: the option's own text, then the text of a fresh window.
    Option[8]->setChecked(true);
    Text2->setText(QStringLiteral("キャラは送らないが選択されています"));
    // 2. The normal size.
    setOuterSize(NormalWidth, NormalHeight);
    // 3. No bulk send.
    deselect(Option[2]);
    // 4. The paste button and the attachment list are out of the way.
    Command2->hide();
    Command2->setEnabled(false);
    Command9->setEnabled(false);
    List2->hide();
    // 5. No fortune.
    Check1->setChecked(false);
    // 6. The greeting lines.
    m_entryRecords.clear();
    Combo1->addItems({
        QStringLiteral("御社益々ご清祥の事とお慶び申し上げます。"),
        QStringLiteral("平素のご愛顧誠にありがとうございます。"),
        QStringLiteral("平素は格別のご愛顧を賜り深謝申し上げます。"),
        QStringLiteral("いつもお世話になっております。"),
        QStringLiteral("メールありがとうございました。確かに受け取りました。"),
        QStringLiteral("はじめまして、突然のメールで恐縮です。"),
        QStringLiteral("こんにちわ。はじめてメールいたします。"),
        QStringLiteral("こんにちわ。お変わりなく、お元気ですか？"),
    });
    Combo1->setCurrentIndex(-1);
    Combo1->setEditText(QString());
    // 7, 8. The names of the name list, which is only read (created empty when missing).
    fillList(AddressBook::MasterFile());
}

void WriteForm::setOuterSize(double width, double height)
{
    m_outer = QSizeF(width, height);
    applyOuterSize();
}

void WriteForm::applyOuterSize()
{
    const TwipsScale scale = TwipsScale::onScreen();
    const QSize extra = m_frameExtra.isValid() ? m_frameExtra : kFrameGuess;
    const QSize client = scale.toPixels(m_outer) - extra;
    setFixedSize(client);
    // What lies beyond the client area is out of reach of the mouse and of the Tab key alike.
    AddressPanel->setVisible(client.width() > scale.toPixelsX(PanelLeft) + 1);
    Text4->setVisible(client.height() > scale.toPixelsY(kStripTop) + 1);
}

void WriteForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    Text14->raise();
    for (int ms : {50, 200})
        QTimer::singleShot(ms, this, &WriteForm::syncFrame);
}

void WriteForm::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    syncFrame();
}

void WriteForm::syncFrame()
{
    // The window manager's frame becomes known some time after the window first shows, and no
    // event says when: look whenever the window moves, shortly after it shows, and at each tick.
    if (!isVisible() || !windowHandle())
        return;
    const QMargins margins = windowHandle()->frameMargins();
    const QSize extra(margins.left() + margins.right(), margins.top() + margins.bottom());
    if (extra != QSize(0, 0) && extra != m_frameExtra) {
        m_frameExtra = extra;
        applyOuterSize();
    }
}

void WriteForm::closeEvent(QCloseEvent *event)
{
    // A send in progress finishes first; the window closes when it ends.
    if (m_sending) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void WriteForm::clearCommand()
{
    ToText->clear();
    SubjectText->clear();
    BodyText->clear();
    AttachText->clear();
    deselect(Option[2]);
    List2->clear();
    List2->hide();
    Command9->setEnabled(false);
    Command10->setEnabled(false);
    AttachCommand->setEnabled(true);
    Check1->setChecked(false);
    setBase(List1, White);
}

void WriteForm::pasteIntoTo()
{
    ToText->setPlainText(SendRules::withLf(clipboardText()));
}

void WriteForm::pasteIntoBody()
{
    QTextCursor end = BodyText->textCursor();
    end.movePosition(QTextCursor::End);
    end.insertText(SendRules::withLf(clipboardText()));
}

void WriteForm::greetingLeft()
{
    BodyText->setPlainText(SendRules::withLf(Combo1->currentText()));
}

void WriteForm::statusDoubleClicked()
{
    if (ToText->toPlainText() != QLatin1String("zemi"))
        return;
    setOuterSize(m_outer.width(), TallHeight);
    Command2->show();
    Command2->setEnabled(true);
}

void WriteForm::keepToWithinLimit()
{
    const QString text = ToText->toPlainText();
    if (text.size() <= ToLimit)
        return;
    const QSignalBlocker quiet(ToText);
    QTextCursor cursor = ToText->textCursor();
    const int at = qMin(cursor.position(), ToLimit);
    ToText->setPlainText(text.left(ToLimit));
    cursor = ToText->textCursor();
    cursor.setPosition(at);
    ToText->setTextCursor(cursor);
}

void WriteForm::linkCaption(QLabel *caption, QAbstractButton *control)
{
    caption->setBuddy(control);
    caption->setProperty("captionOf", QVariant::fromValue<QObject *>(control));
    caption->installEventFilter(this);
}

void WriteForm::setStatus(const QString &text)
{
    Label7->setText(text);
}

bool WriteForm::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (List1 && watched == List1->viewport() && type == QEvent::MouseButtonPress)
        return pressedOnList(static_cast<QMouseEvent *>(event));
    if (watched == Combo1 && type == QEvent::FocusOut) {
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason)
            greetingLeft();
    }
    if (watched == Label7 && type == QEvent::MouseButtonDblClick)
        statusDoubleClicked();
    if (type == QEvent::MouseButtonRelease) {
        if (auto *control = qobject_cast<QAbstractButton *>(watched->property("captionOf").value<QObject *>())) {
            if (control->isEnabled() && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
                control->click();
        }
    }
    return QWidget::eventFilter(watched, event);
}
