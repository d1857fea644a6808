#include "WriteForm.h"

#include "AttachmentControls.h"
#include "BulkList.h"
#include "SendCall.h"
#include "SendRules.h"
#include "addressbook/AddressBookFile.h"
#include "app/AccountSettings.h"
#include "app/Forms.h"
#include "app/MainForm.h"
#include "characters/DogCommands.h"
#include "kit/HoverHelp.h"
#include "kit/Twips.h"
#include "kit/WindowKit.h"
#include "platform/Fonts.h"
#include "platform/ProgramFolder.h"
#include "platform/Prompter.h"
#include "platform/TextRules.h"
#include "store/HistoryFile.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
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

const QString kSending = QStringLiteral("メールを送信中です。しばらくお待ち下さい。");
const QString kSent = QStringLiteral("送信完了です。");
const QString kNoSelection = QStringLiteral("データが選択されていません");
constexpr int kToLimit = 60;

// Where the address panel and the paste strip start, in twips of the client area.
constexpr double kPanelLeft = 7080, kPanelTop = 1200, kPanelWidth = 2350, kPanelHeight = 6495;
constexpr double kStripTop = 7995, kStripHeight = 375;

// The frame and title bar a fixed window gets, until the window manager says what it drew.
const QSize kFrameGuess(6, 28);

const QColor kWhite(255, 255, 255);
const QColor kGreen(0, 128, 0);

void setBase(QWidget *widget, const QColor &colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Base, colour);
    widget->setPalette(palette);
}

void setBackground(QWidget *widget, const QColor &colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

// An option button of a group cannot be unchecked by the user; the program still needs to.
void deselect(QRadioButton *option)
{
    if (!option->isChecked())
        return;
    option->setAutoExclusive(false);
    option->setChecked(false);
    option->setAutoExclusive(true);
}

QString clipboardText()
{
    return TextRules::CutAtNul(QGuiApplication::clipboard()->text());
}

int optionNumber(const char *name)
{
    return QByteArray(name).mid(6).toInt(); // "Option12" -> 12
}

} // namespace

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

void WriteForm::buildDogChoice()
{
    Text2 = Kit::placeInTwips(new QLineEdit(this), "Text2", {3360, 1080, 3255, 270});
    Text2->setReadOnly(true);
    Text2->setAccessibleName(QStringLiteral("犬の選択"));

    Frame1 = Kit::placeInTwips(new QGroupBox(QStringLiteral("犬設定（数字は犬種・・・）"), this), "Frame1",
                               {240, 1320, 6495, 1095});
    // Dogs 1 to 5 and "送らない" above, dogs 6 to 10 below; each round mark has its caption
    // in a label of its own.
    int slot = 0;
    for (const SendRules::DogOption &choice : SendRules::DogOptions) {
        const int number = optionNumber(choice.name);
        const bool lowerRow = choice.dog >= 6;
        const int column = lowerRow ? slot - 6 : slot;
        const double left = 240 + column * 1020;
        const double top = lowerRow ? 660 : 300;
        const QString caption = QString::fromUtf16(choice.caption);
        QRadioButton *option = Kit::placeInTwips(new QRadioButton(Frame1), choice.name, {left, top, 255, 255});
        option->setAccessibleName(caption);
        Option[size_t(number)] = option;
        auto *label =
            Kit::placeInTwips(new QLabel(caption, Frame1), QStringLiteral("%1Label").arg(QLatin1String(choice.name)),
                              {left + 270, top, 720, 255});
        linkCaption(label, option);
        const QString chosen = QString::fromUtf16(choice.chosenText);
        connect(option, &QRadioButton::toggled, this, [this, chosen](bool on) {
            if (on)
                Text2->setText(chosen);
        });
        ++slot;
    }

    Label12 = Kit::placeInTwips(
        new QLabel(QStringLiteral("「キャラ送信」、「占い添付」、「一括送信」機能は同時には使用出来ません。一個選択"),
                   this),
        "Label12", {240, 2460, 6495, 300});
    Label12->setFont(Fonts::proportionalGothic(8.25));
    QPalette red = Label12->palette();
    red.setColor(QPalette::WindowText, QColor(255, 0, 0));
    Label12->setPalette(red);
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
    setBackground(fortuneNote, kWhite);
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

void WriteForm::buildAddressPanel()
{
    AddressPanel =
        Kit::placeInTwips(new QFrame(this), "AddressPanel", {kPanelLeft, kPanelTop, kPanelWidth, kPanelHeight});
    AddressPanel->setFrameStyle(QFrame::Box | QFrame::Plain);
    setBackground(AddressPanel, QColor(224, 224, 224));

    QLabel *header = Kit::placeInTwips(new QLabel(QStringLiteral("アドレス帳"), AddressPanel), "AddressHeader",
                                       {120, 150, 1000, 300});
    QLabel *countCaption =
        Kit::placeInTwips(new QLabel(QStringLiteral("件数"), AddressPanel), "Text1Label", {1170, 150, 420, 300});
    Text1 = Kit::placeInTwips(new QLineEdit(AddressPanel), "Text1", {1590, 150, 585, 300});
    Text1->setReadOnly(true);
    countCaption->setBuddy(Text1);
    Text1->setAccessibleName(countCaption->text());

    List1 = Kit::placeInTwips(new QListWidget(AddressPanel), "List1", {120, 600, 2055, 5100});
    List1->setAccessibleName(header->text());
    List1->setUniformItemSizes(true); // every name field is 90 characters: measure one, not thousands
    header->setBuddy(List1);
    List1->setAutoFillBackground(true);
    setBase(List1, kWhite);
    List1->viewport()->installEventFilter(this);
    // Keyboard users pick a name with Enter.
    connect(List1, &QListWidget::itemActivated, this, [this](QListWidgetItem *item) { pressOnList(List1->row(item)); });

    Frame4 = Kit::placeInTwips(new QGroupBox(AddressPanel), "Frame4", {120, 5760, 2055, 600});
    Option[2] =
        Kit::placeInTwips(new QRadioButton(QStringLiteral("一括送信"), Frame4), "Option2", {90, 200, 1035, 300});
    Option[1] = Kit::placeInTwips(new QRadioButton(QStringLiteral("取消"), Frame4), "Option1", {1170, 200, 795, 300});
    connect(Option[2], &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            bulkOn();
    });
    connect(Option[1], &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            bulkOff();
    });
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

void WriteForm::fillList(const QString &file)
{
    const QStringList names = AddressBook::ReadNames(file);
    List1->clear();
    List1->addItems(names);
    m_entryRecords.clear();
    m_entryRecords.reserve(names.size());
    for (int n = 1; n <= names.size(); ++n)
        m_entryRecords.append(n);
    Text1->setText(QString::number(List1->count()));
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
    AddressPanel->setVisible(client.width() > scale.toPixelsX(kPanelLeft) + 1);
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

int WriteForm::chosenDog() const
{
    for (const SendRules::DogOption &choice : SendRules::DogOptions)
        if (Option[size_t(optionNumber(choice.name))]->isChecked())
            return choice.dog;
    return 0;
}

void WriteForm::applyExclusivity()
{
    syncFrame();
    if (Option[2]->isChecked()) {
        Check1->setChecked(false);
        Option[8]->setChecked(true);
    }
    if (!Option[8]->isChecked()) {
        Check1->setChecked(false);
        deselect(Option[2]);
    }
    if (Check1->isChecked()) {
        Option[8]->setChecked(true);
        deselect(Option[2]);
    }
}

void WriteForm::addressBookCommand()
{
    setOuterSize(WideWidth, m_outer.height());
    Kit::centreOnScreen(this);
    fillList(AddressBook::BookFile());
    if (List1->count() == 0 && !AddressBook::lastError().isEmpty()) {
        const bool noFolder = !QFileInfo(ProgramFolder::dataFolder()).isDir();
        MsgBox(noFolder
                   ? QStringLiteral("データフォルダ（★MailData）が見つかりません。アドレス帳を読み込めませんでした。")
                   : QStringLiteral("アドレス帳を読み込めませんでした。\r\n") + AddressBook::lastError(),
               Prompter::Buttons::Ok, Prompter::Icon::Exclamation);
    }
}

void WriteForm::originalSizeCommand()
{
    setOuterSize(NormalWidth, m_outer.height());
    setBase(List1, kWhite);
    Kit::centreOnScreen(this);
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
    setBase(List1, kWhite);
}

void WriteForm::pressOnList(int row)
{
    if (row < 0 || row >= m_entryRecords.size()) {
        MsgBox(kNoSelection, Prompter::Buttons::Ok, Prompter::Icon::Exclamation);
        List1->setFocus();
        return;
    }
    const std::optional<AddressRecord> record = AddressBook::ReadRecord(AddressBook::BookFile(), m_entryRecords[row]);
    if (!record) {
        // A name of the name list beyond the end of the address book has no address.
        MsgBox(QStringLiteral("この名前のメールアドレスはアドレス帳にありません。"), Prompter::Buttons::Ok,
               Prompter::Icon::Exclamation);
        return;
    }
    ToText->setPlainText(TextRules::trimSpaces(record->Address().left(kToLimit)));
}

void WriteForm::bulkOn()
{
    setBase(List1, kGreen);
}

void WriteForm::bulkOff()
{
    ToText->clear();
    setBase(List1, kWhite);
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
    if (text.size() <= kToLimit)
        return;
    const QSignalBlocker quiet(ToText);
    QTextCursor cursor = ToText->textCursor();
    const int at = qMin(cursor.position(), kToLimit);
    ToText->setPlainText(text.left(kToLimit));
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
    if (List1 && watched == List1->viewport() && type == QEvent::MouseButtonPress) {
        // The name under the pointer, else the one selected before.
        const auto *press = static_cast<QMouseEvent *>(event);
        QListWidgetItem *item = List1->itemAt(press->position().toPoint());
        if (!item && !List1->selectedItems().isEmpty())
            item = List1->selectedItems().first();
        if (item)
            List1->setCurrentItem(item);
        pressOnList(item ? List1->row(item) : -1);
        return item == nullptr; // no name there: the list keeps its state
    }
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

void WriteForm::keepFailedEntries(const QList<int> &failedEntries)
{
    QList<int> records;
    QStringList names;
    for (int entry : failedEntries) {
        records.append(m_entryRecords[entry]);
        names.append(List1->item(entry)->text());
    }
    List1->clear();
    List1->addItems(names);
    m_entryRecords = records;
    Text1->setText(QString::number(List1->count()));
}

void WriteForm::sendCommand()
{
    if (m_sending)
        return;
    m_sending = true;
    // At most one extra goes out, also when the choice came faster than the timer.
    applyExclusivity();

    // 1.
    Command9->setEnabled(false);
    List2->hide();
    AttachCommand->setEnabled(true);
    setStatus(kSending);

    const AccountSettings &account = AccountSettings::instance();
    const bool bulk = Option[2]->isChecked();
    const int dog = chosenDog();
    const bool fortune = Check1->isChecked();
    const QString to = SendRules::withCrLf(ToText->toPlainText());
    const QString subject = SubjectText->text();
    const QString body = SendRules::withCrLf(BodyText->toPlainText());
    const QString attachments = AttachText->text();
    const QString date = Forms::mainForm()->Text2->text();
    const QString sentHistory = ProgramFolder::sentHistory();

    // 2. One mail, or one per list entry that has an address in the book.
    BulkList::Plan plan;
    if (bulk)
        plan = BulkList::plan(AddressBook::BookFile(), m_entryRecords);
    else
        plan.mails.append({0, 0, to});
    const int count = int(plan.mails.size());

    QList<int> failedEntries;
    bool stopped = false;
    {
        SendCall call;
        if (count > 0 && !SendCall::attachmentsReady(attachments)) {
            stopped = true;
        }
        bool recordFailureAccepted = false;
        for (int i = 0; i < count && !stopped; ++i) {
            const BulkList::Recipient &recipient = plan.mails[i];
            setStatus(bulk ? kSending + QStringLiteral("（%1/%2）").arg(i + 1).arg(count) : kSending);

            // 3. The record holds the mail as typed, before the extras.
            const HistoryRecord record = SendRules::sentRecord(subject, date, to, body);
            if (History::AppendRecord(sentHistory, record, bulk ? History::Flush::Later : History::Flush::Now) == 0
                && !recordFailureAccepted) {
                const int answer =
                    MsgBox(QStringLiteral("送信履歴に記録できませんでした。\r\n%1\r\nこのまま送信しますか？")
                               .arg(History::lastError()),
                           Prompter::Buttons::YesNo, Prompter::Icon::Exclamation);
                if (answer != Prompter::Yes) {
                    stopped = true;
                    break;
                }
                recordFailureAccepted = true;
            }

            // 4, 5. The fortune or the dog marker goes out, the typed body stays as it is.
            const int k = fortune ? SendRules::drawFortune() : 0;
            const Outbox::Mail mail{account.SmtpServer,
                                    recipient.address,
                                    account.MailAddress,
                                    subject,
                                    SendRules::outgoingBody(body, k, dog),
                                    attachments};
            // 6, 7.
            if (!call.send(mail))
                failedEntries.append(recipient.entry);
        }
        if (bulk && count > 0 && !History::FlushHistory(sentHistory) && !recordFailureAccepted)
            MsgBox(QStringLiteral("送信履歴に記録できませんでした。\r\n") + History::lastError(), Prompter::Buttons::Ok,
                   Prompter::Icon::Exclamation);
        const int skipped = plan.beyondBook + plan.withoutAddress;
        if (skipped > 0 && !stopped)
            MsgBox(QStringLiteral("アドレス帳にメールアドレスのない%1件には送信しませんでした。").arg(skipped),
                   Prompter::Buttons::Ok, Prompter::Icon::Exclamation);
    }
    m_sending = false;

    if (stopped) {
        setStatus(QStringLiteral("送信を中止しました。"));
        return;
    }
    if (failedEntries.isEmpty()) {
        setStatus(kSent);
        close();
        return;
    }
    // What failed stays, so that the user can mend it and send again.
    if (bulk) {
        keepFailedEntries(failedEntries);
        setStatus(QStringLiteral("送信できなかった%1件が一覧に残っています。").arg(failedEntries.size()));
    } else {
        setStatus(QStringLiteral("送信できませんでした。"));
    }
}
